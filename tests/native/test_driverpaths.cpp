// Paths joined whole or not at all, and the driver exchanger's driver
// package paths built that way.
#include <gtest/gtest.h>
#include <string>
#include "drvexchange/driverpaths.h"
#include "shell/asciitext.h"

namespace {

TEST(JoinPath, WholeOrEmpty)
{
    char path[12];
    ASSERT_TRUE(JoinPath(path, sizeof(path), "C:\\WINNT", "\\ab")) << "11 characters and the NUL";
    EXPECT_STREQ(path, "C:\\WINNT\\ab");
    EXPECT_FALSE(JoinPath(path, sizeof(path), "C:\\WINNT", "\\abc")) << "one too many";
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(JoinPath(path, sizeof(path), "C:\\WINNT\\abcd", "")) << "the head alone";
    EXPECT_STREQ(path, "");
    char none[1] = {'x'};
    EXPECT_FALSE(JoinPath(none, 0, "", "")) << "no room, not even written";
    EXPECT_EQ(none[0], 'x');
}

TEST(JoinPath, AppendsToItself)
{
    char path[12] = "C:\\WINNT";
    ASSERT_TRUE(JoinPath(path, sizeof(path), path, "\\ab"));
    EXPECT_STREQ(path, "C:\\WINNT\\ab");
    EXPECT_FALSE(JoinPath(path, sizeof(path), path, "c"));
    EXPECT_STREQ(path, "") << "a failed append leaves no part behind";
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
    std::string dir = "C:\\" + std::string(WindowsDirSize - 4, 'w');
    ASSERT_EQ(dir.size(), 63u);
    char path[InfPathSize];
    ASSERT_TRUE(BuildInfPath(path, sizeof(path), dir.c_str()));
    EXPECT_EQ(std::string(path), dir + "\\ZELMOT\\ZELMOT.INF");
    EXPECT_EQ(sizeof(path), dir.size() + 19) << "the INF path's buffer holds it exactly";

    char installed[DriverPathSize];
    ASSERT_TRUE(BuildInstalledDriverPath(installed, sizeof(installed), dir.c_str()));
    EXPECT_EQ(std::string(installed), dir + "\\system32\\drivers\\zelmot.sys");
}

} // namespace
