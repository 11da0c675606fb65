// The driver exchanger's Windows directory rule and driver package paths.
#include <gtest/gtest.h>
#include <string>
#include "drvexchange/driverpaths.h"

namespace {

TEST(WindowsDirRule, WholePathsOfUpTo63CharactersAreAccepted)
{
    EXPECT_FALSE(WindowsDirAccepted(0)) << "the call failed";
    EXPECT_TRUE(WindowsDirAccepted(10));
    EXPECT_TRUE(WindowsDirAccepted(63));
    EXPECT_FALSE(WindowsDirAccepted(64));
    EXPECT_FALSE(WindowsDirAccepted(65)) << "the size a 64-character path needs";
}

TEST(DriverPaths, BuiltFromTheWindowsDirectory)
{
    char path[DriverPathSize];
    ASSERT_TRUE(BuildInfPath(path, sizeof(path), "C:\\WINNT"));
    EXPECT_STREQ(path, "C:\\WINNT\\ZELMOT\\ZELMOT.INF");
    ASSERT_TRUE(BuildReferenceDriverPath(path, sizeof(path), "C:\\WINNT"));
    EXPECT_STREQ(path, "C:\\WINNT\\zelmot\\zelmot.sys");
    ASSERT_TRUE(BuildInstalledDriverPath(path, sizeof(path), "C:\\WINNT"));
    EXPECT_STREQ(path, "C:\\WINNT\\system32\\drivers\\zelmot.sys");
}

TEST(DriverPaths, InfPathFitsTheLongestAcceptedWindowsDirectory)
{
    std::string dir = "C:\\" + std::string(60, 'w');
    ASSERT_EQ(dir.size(), 63u);
    ASSERT_TRUE(WindowsDirAccepted((unsigned)dir.size()));
    char path[InfPathSize];
    ASSERT_TRUE(BuildInfPath(path, sizeof(path), dir.c_str()));
    EXPECT_EQ(std::string(path), dir + "\\ZELMOT\\ZELMOT.INF");

    char installed[DriverPathSize];
    ASSERT_TRUE(BuildInstalledDriverPath(installed, sizeof(installed), dir.c_str()));
    EXPECT_EQ(std::string(installed), dir + "\\system32\\drivers\\zelmot.sys");
}

TEST(DriverPaths, PathThatDoesNotFitIsRefusedNotCut)
{
    std::string dir = "C:\\" + std::string(60, 'w');
    char small[64];
    EXPECT_FALSE(BuildInfPath(small, sizeof(small), dir.c_str()));
    EXPECT_STREQ(small, "");
    char exact[27];
    EXPECT_TRUE(BuildInfPath(exact, sizeof(exact), "C:\\WINNT")) << "26 characters and the NUL";
    EXPECT_FALSE(BuildInfPath(exact, sizeof(exact) - 1, "C:\\WINNT"));
}

} // namespace
