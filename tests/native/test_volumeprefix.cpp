// A volume's parent prefix: its mounted-devices data and value name, and its
// comparison with a disk's ParentIdPrefix. Every input lives in a heap block
// of exactly its size so AddressSanitizer catches an over-read.
#include "iconassign/volumeprefix.h"
#include "exactblock.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// 27 units, checked as the test is built: the prefix is read from unit 27
// on, so every expected prefix below rests on it.
constexpr char RemovableHeadText[] = "\\??\\STORAGE#RemovableMedia#";
static_assert(sizeof(RemovableHeadText) - 1 == 27, "the head is 27 units");
const std::string RemovableHead = RemovableHeadText;
const std::string ClassTail = "#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

// UTF-16LE units of text, each with the given high byte.
std::vector<unsigned char> Utf16(const std::string &text, unsigned char high = 0)
{
    std::vector<unsigned char> bytes;
    for (char c : text) {
        bytes.push_back((unsigned char)c);
        bytes.push_back(high);
    }
    return bytes;
}

// The mounted-devices data of a removable-media volume, cut or padded (with
// units 'z') to exactly size bytes.
std::vector<unsigned char> MountedData(const std::string &fromUnit27, size_t size)
{
    std::vector<unsigned char> bytes = Utf16(RemovableHead + fromUnit27);
    while (bytes.size() < size) {
        bytes.push_back('z');
        bytes.push_back(0);
    }
    bytes.resize(size);
    return bytes;
}

struct Extracted {
    int result;
    std::string prefix;
};

// Runs ExtractParentPrefix on an exact copy, into an exact 13-byte buffer
// primed with '#' so an untouched buffer can be told.
Extracted Extract(const std::vector<unsigned char> &bytes)
{
    std::unique_ptr<unsigned char[]> data =
        ExactCopy<unsigned char>(bytes.data(), bytes.size());
    std::unique_ptr<char[]> prefix(new char[ParentPrefixSize]);
    std::memset(prefix.get(), '#', ParentPrefixSize);
    Extracted out;
    out.result = ExtractParentPrefix(data.get(), bytes.size(), prefix.get());
    if (out.result)
        out.prefix = prefix.get();
    else
        out.prefix.assign(prefix.get(), ParentPrefixSize);
    return out;
}

const std::string Untouched(ParentPrefixSize, '#');

} // namespace

// --- ExtractParentPrefix ----------------------------------------------------

TEST(ExtractParentPrefix, ThirdAmpersandEndsThePrefix)
{
    Extracted e = Extract(MountedData("7&1a2b3c4d&0&RM" + ClassTail, 148));
    EXPECT_EQ(1, e.result);
    EXPECT_EQ("7&1a2b3c4d&0", e.prefix);
}

TEST(ExtractParentPrefix, ShortPrefixEndsAtItsOwnAmpersand)
{
    Extracted e = Extract(MountedData("8&abc&0&RM" + ClassTail, 138));
    EXPECT_EQ(1, e.result);
    EXPECT_EQ("8&abc&0", e.prefix);
}

TEST(ExtractParentPrefix, WithoutThirdAmpersandTakesExactlyTwelve)
{
    Extracted e = Extract(MountedData("7&1a2b3c4d5e6f7&RM", 120));
    EXPECT_EQ(1, e.result);
    EXPECT_EQ("7&1a2b3c4d5e", e.prefix);
    e = Extract(MountedData("abcdefghijklmnop", 100));
    EXPECT_EQ("abcdefghijkl", e.prefix);
}

TEST(ExtractParentPrefix, ThirdAmpersandAtTheStart)
{
    EXPECT_EQ("&&", Extract(MountedData("&&&abc", 80)).prefix);
}

// The data's size decides first: 78 bytes (the 27 skipped units and exactly
// 12 read) to 260; outside, the prefix is left untouched.
TEST(ExtractParentPrefix, SizeLimits)
{
    const struct {
        size_t size;
        std::string fromUnit27;
        int result;
        std::string prefix;
    } cases[] = {
        {77, "7&1a2b3c4d&0&RM", 0, Untouched},
        {78, "7&1a2b3c4d&0&RM", 1, "7&1a2b3c4d&0"},
        {78, "7&1a2b3c4d5e", 1, "7&1a2b3c4d5e"}, // all 12 units, no '&' end
        {260, "7&1a2b3c4d&0&RM" + ClassTail, 1, "7&1a2b3c4d&0"},
        {261, "7&1a2b3c4d&0&RM" + ClassTail, 0, Untouched},
        {1000, "7&1a2b3c4d&0&RM" + ClassTail, 0, Untouched},
    };
    for (const auto &c : cases) {
        Extracted e = Extract(MountedData(c.fromUnit27, c.size));
        EXPECT_EQ(c.result, e.result) << c.size << " bytes";
        EXPECT_EQ(c.prefix, e.prefix) << c.size << " bytes";
    }
}

TEST(ExtractParentPrefix, EmptyAndTinyDataFail)
{
    unsigned char one = 'a';
    char prefix[ParentPrefixSize] = "unchanged";
    EXPECT_EQ(0, ExtractParentPrefix(&one, 0, prefix));
    EXPECT_EQ(0, ExtractParentPrefix(&one, 1, prefix));
    EXPECT_STREQ("unchanged", prefix);
}

TEST(ExtractParentPrefix, NulUnitsAreCopiedAndEndTheText)
{
    std::string units("7&1a");
    units += '\0';
    units += "2b3c&0&RM";
    std::vector<unsigned char> bytes = MountedData(units, 100);
    std::unique_ptr<unsigned char[]> data =
        ExactCopy<unsigned char>(bytes.data(), bytes.size());
    char prefix[ParentPrefixSize];
    std::memset(prefix, '#', sizeof prefix);
    ASSERT_EQ(1, ExtractParentPrefix(data.get(), bytes.size(), prefix));
    EXPECT_STREQ("7&1a", prefix);
    // Copied as is: the NUL does not stop the copy, the third '&' does.
    EXPECT_EQ(std::string("7&1a\0" "2b3c&0", 11), std::string(prefix, 11));
    EXPECT_EQ('\0', prefix[11]);
}

TEST(ExtractParentPrefix, HighBytesAreIgnored)
{
    std::vector<unsigned char> bytes = Utf16(RemovableHead);
    std::vector<unsigned char> units = Utf16("7&1a2b3c4d&0&RM", 0x41);
    bytes.insert(bytes.end(), units.begin(), units.end());
    EXPECT_EQ("7&1a2b3c4d&0", Extract(bytes).prefix);
}

TEST(ExtractParentPrefix, OnlyTheLowByteCanBeAnAmpersandOrNul)
{
    std::vector<unsigned char> bytes = Utf16(RemovableHead);
    // Unit 0x2600: low byte NUL, high byte '&': copied as NUL, not counted.
    const unsigned char units[] = { 'a', 0, 0x00, '&', '&', 0, '&', 0x01,
                                    'b', 0, '&', 0, 'c', 0, 'd', 0 };
    bytes.insert(bytes.end(), units, units + sizeof units);
    bytes.resize(80, 'q');
    char prefix[ParentPrefixSize];
    std::unique_ptr<unsigned char[]> data =
        ExactCopy<unsigned char>(bytes.data(), bytes.size());
    ASSERT_EQ(1, ExtractParentPrefix(data.get(), bytes.size(), prefix));
    EXPECT_EQ(std::string("a\0&&b", 5), std::string(prefix, 5));
    EXPECT_EQ('\0', prefix[5]);
}

// --- FormatVolumeValueName --------------------------------------------------

TEST(FormatVolumeValueName, DosDevicesNameOfTheLetter)
{
    std::unique_ptr<char[]> name(new char[VolumeValueNameSize]);
    FormatVolumeValueName('F', name.get());
    EXPECT_STREQ("\\DosDevices\\F:", name.get());
    FormatVolumeValueName('Z', name.get());
    EXPECT_STREQ("\\DosDevices\\Z:", name.get());
}

// --- ParentPrefixEquals ------------------------------------------------------

namespace {
int PrefixEquals(const char *volume, const std::string &data)
{
    std::unique_ptr<char[]> copy = ExactCopy<char>(data.data(), data.size());
    std::unique_ptr<char[]> prefix =
        ExactCopy<char>(volume, std::strlen(volume) + 1);
    return ParentPrefixEquals(prefix.get(), copy.get(), data.size());
}
std::string WithNul(const std::string &text) { return text + std::string(1, '\0'); }
} // namespace

TEST(ParentPrefixEquals, EqualTextsWithNul)
{
    EXPECT_EQ(1, PrefixEquals("7&1a2b3c4d&0", WithNul("7&1a2b3c4d&0")));
    EXPECT_EQ(1, PrefixEquals("8&abc&0", WithNul("8&abc&0")));
}

TEST(ParentPrefixEquals, DataWithoutNulEndsAtItsSize)
{
    EXPECT_EQ(1, PrefixEquals("7&1a2b3c4d&0", "7&1a2b3c4d&0"));
    EXPECT_EQ(1, PrefixEquals("8&abc&0", "8&abc&0"));
    EXPECT_EQ(0, PrefixEquals("8&abc&0", "8&abc&"));
    EXPECT_EQ(0, PrefixEquals("8&abc&", "8&abc&0"));
}

TEST(ParentPrefixEquals, CaseSensitive)
{
    EXPECT_EQ(0, PrefixEquals("7&1a2b3c4d&0", WithNul("7&1A2b3c4d&0")));
    EXPECT_EQ(0, PrefixEquals("7&1a2b3c4d&0", "7&1a2B3c4d&0"));
}

TEST(ParentPrefixEquals, WholeStringsOnly)
{
    EXPECT_EQ(0, PrefixEquals("7&1a2b", WithNul("7&1a2b3c4d&0")));
    EXPECT_EQ(0, PrefixEquals("7&1a2b3c4d&0", WithNul("7&1a2b")));
    EXPECT_EQ(0, PrefixEquals("7&1a2b3c4d&0", "7&1a2b"));
}

// The program reads at most 20 bytes of ParentIdPrefix: whatever the data
// holds up to there, only a text that ends where the prefix does is equal.
TEST(ParentPrefixEquals, TwentyBytesAtMost)
{
    const struct {
        std::string data;
        int equal;
    } cases[] = {
        {"7&1a2b3c4d&0&RMxxxxx", 0},              // 20 bytes, no NUL
        {"7&1a2b3c4d&0", 1},                      // 12 bytes, no NUL
        {WithNul("7&1a2b3c4d&01"), 0},            // 13 characters
        {WithNul("7&1a2b3c4d&0") + "zzzzzzz", 1}, // 20 bytes, NUL at 12
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.equal, PrefixEquals("7&1a2b3c4d&0", c.data)) << c.data.size() << " bytes";
}

TEST(ParentPrefixEquals, BytesAfterTheDataNulAreIgnored)
{
    EXPECT_EQ(1, PrefixEquals("8&abc&0", std::string("8&abc&0\0zzzz", 12)));
}

TEST(ParentPrefixEquals, EmptyTexts)
{
    EXPECT_EQ(1, PrefixEquals("", WithNul("")));
    EXPECT_EQ(1, PrefixEquals("", ""));
    EXPECT_EQ(0, PrefixEquals("", "a"));
    EXPECT_EQ(0, PrefixEquals("a", ""));
    EXPECT_EQ(0, PrefixEquals("a", WithNul("")));
}
