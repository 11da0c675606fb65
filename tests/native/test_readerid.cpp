// The driver exchanger's reader table, hardware ID match and service names.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "drvexchange/readerid.h"
#include "drvexchange/servicename.h"

namespace {

// Bytes in a heap block of exactly their size, so that a read past the end
// shows under ASan.
std::vector<char> Bytes(const std::string &text)
{
    return std::vector<char>(text.begin(), text.end());
}

// A hardware ID list: the strings, each with its NUL, and the closing NUL.
std::vector<char> IdList(const std::string &first, const std::string &rest = "")
{
    std::string bytes = first + std::string(1, '\0');
    if (!rest.empty())
        bytes += rest + std::string(1, '\0');
    return Bytes(bytes + std::string(1, '\0'));
}

bool MatchesReader(std::vector<char> ids)
{
    return MatchReaderId(ids.data(), (unsigned)ids.size(), &ReaderIdTable[0]) != 0;
}

BoundService Classify(const std::string &bytes)
{
    std::vector<char> service = Bytes(bytes);
    return ClassifyService(service.data(), (unsigned)service.size());
}

TEST(ReaderIdTable, HoldsTheReaderAndEndsWithANullVendor)
{
    EXPECT_STREQ(ReaderIdTable[0].VendorId, "0e5b");
    EXPECT_STREQ(ReaderIdTable[0].ProductId, "0a17");
    EXPECT_EQ(ReaderIdTable[1].VendorId, nullptr);
}

TEST(ReaderIdMatch, VendorAndProductIgnoreCase)
{
    EXPECT_TRUE(MatchesReader(IdList("USB\\Vid_0e5b&Pid_0a17&Rev_0100")));
    EXPECT_TRUE(MatchesReader(IdList("USB\\VID_0E5B&PID_0A17")));
    EXPECT_TRUE(MatchesReader(IdList("USB\\VID_0e5B&PID_0A17&MI_00")));
    EXPECT_FALSE(MatchesReader(IdList("USB\\VID_0E5B&PID_0A18&REV_0100")));
    EXPECT_FALSE(MatchesReader(IdList("USB\\VID_0E5C&PID_0A17&REV_0100")));
}

TEST(ReaderIdMatch, OnlyPositionsEightAndSeventeenCount)
{
    EXPECT_TRUE(MatchesReader(IdList("usb\\xxx_0e5b&yyy_0a17"))) << "prefix and labels are not read";
    EXPECT_FALSE(MatchesReader(IdList("USB\\VID_00E5B&PID_0A17"))) << "shifted by one";
    EXPECT_FALSE(MatchesReader(IdList("USB\\VID_1111&PID_2222", "USB\\VID_0E5B&PID_0A17")))
        << "a later hardware ID does not count";
}

TEST(ReaderIdMatch, FirstStringShorterThan21NeverMatches)
{
    // What an earlier, longer ID may have left behind the NUL must not
    // complete a short one.
    std::vector<char> stale = Bytes(std::string("USB\\VID_0E5B&PID_0A1") + '\0' + "7&REV_0100" +
                                    '\0' + '\0');
    EXPECT_FALSE(MatchesReader(stale));
    EXPECT_FALSE(MatchesReader(IdList("USB\\VID_0E5B")));
    EXPECT_FALSE(MatchesReader(IdList("")));
}

TEST(ReaderIdMatch, UnterminatedBufferIsNotReadPastItsEnd)
{
    EXPECT_TRUE(MatchesReader(Bytes("USB\\VID_0E5B&PID_0A17"))) << "21 bytes, no NUL";
    EXPECT_FALSE(MatchesReader(Bytes("USB\\VID_0E5B&PID_0A1"))) << "20 bytes, no NUL";
}

TEST(ServiceName, WholeNamesWithoutRegardToCase)
{
    EXPECT_EQ(Classify(std::string("USBSTOR") + '\0'), ServiceGenericStorage);
    EXPECT_EQ(Classify(std::string("UsbStor") + '\0'), ServiceGenericStorage);
    EXPECT_EQ(Classify(std::string("FLASHREADER") + '\0'), ServiceReaderDriver);
    EXPECT_EQ(Classify(std::string("flashReader") + '\0'), ServiceReaderDriver);
    EXPECT_EQ(Classify(std::string("USBSTOR2") + '\0'), ServiceOther);
    EXPECT_EQ(Classify(std::string("USBSTO") + '\0'), ServiceOther);
    EXPECT_EQ(Classify(std::string("FLASHREADERS") + '\0'), ServiceOther);
    EXPECT_EQ(Classify(std::string("disk") + '\0'), ServiceOther);
    EXPECT_EQ(Classify(std::string(1, '\0')), ServiceOther);
}

TEST(ServiceName, UnterminatedBufferIsNotReadPastItsEnd)
{
    EXPECT_EQ(Classify("USBSTOR"), ServiceGenericStorage) << "7 bytes, no NUL";
    EXPECT_EQ(Classify("FLASHREADERFLASHREAD"), ServiceOther) << "20 bytes, no NUL";
}

} // namespace
