// The names the disk list is read under: each disk's value of the disk
// service and its device key. Every buffer is a heap block of exactly its
// size so AddressSanitizer catches an overrun.
#include "iconassign/disknames.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

// --- FormatDiskValueName -----------------------------------------------------

namespace {
std::string DiskValueName(int index)
{
    std::unique_ptr<char[]> name(new char[DiskValueNameSize]);
    FormatDiskValueName(index, name.get());
    return name.get();
}
} // namespace

TEST(FormatDiskValueName, SingleDigitBelowTen)
{
    EXPECT_EQ("0", DiskValueName(0));
    EXPECT_EQ("1", DiskValueName(1));
    EXPECT_EQ("9", DiskValueName(9));
}

TEST(FormatDiskValueName, DecimalFromTenOn)
{
    EXPECT_EQ("10", DiskValueName(10));
    EXPECT_EQ("11", DiskValueName(11));
    EXPECT_EQ("25", DiskValueName(25));
    EXPECT_EQ("99", DiskValueName(99));
    EXPECT_EQ("100", DiskValueName(100));
    EXPECT_EQ("123", DiskValueName(123));
    EXPECT_EQ("2147483647", DiskValueName(INT_MAX));
}

TEST(FormatDiskValueName, NegativeIndexFitsAndNamesNoDisk)
{
    EXPECT_EQ("-1", DiskValueName(-1));
    EXPECT_EQ("-10", DiskValueName(-10));
    EXPECT_EQ("-2147483648", DiskValueName(INT_MIN));
}

// --- FormatDeviceKeyName -----------------------------------------------------

TEST(FormatDeviceKeyName, PrefixesTheEnumKey)
{
    char key[DeviceKeyNameSize];
    ASSERT_EQ(1, FormatDeviceKeyName("USBSTOR\\Disk&Ven_X\\7&1a2b&0", key, sizeof key));
    EXPECT_STREQ("system\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_X\\7&1a2b&0", key);
}

// With the program's 260 bytes, paths up to 229 characters fit; a longer
// one leaves the name empty (a full DiskList entry among them).
TEST(FormatDeviceKeyName, LongestPathThatFits)
{
    const struct {
        size_t length;
        int fits;
    } cases[] = {{229, 1}, {230, 0}, {259, 0}};
    for (const auto &c : cases) {
        std::string path(c.length, 'p');
        std::unique_ptr<char[]> key(new char[DeviceKeyNameSize]);
        std::memset(key.get(), '#', DeviceKeyNameSize);
        EXPECT_EQ(c.fits, FormatDeviceKeyName(path.c_str(), key.get(), DeviceKeyNameSize))
            << c.length << " characters";
        EXPECT_EQ(c.fits ? "system\\CurrentControlSet\\Enum\\" + path : "",
                  std::string(key.get()))
            << c.length << " characters";
    }
}

TEST(FormatDeviceKeyName, ZeroSizedBufferIsNotWritten)
{
    char key = 'k';
    EXPECT_EQ(0, FormatDeviceKeyName("USBSTOR", &key, 0));
    EXPECT_EQ('k', key);
}
