// Icon file table entries, the name part of UpdateShellImage and
// the drive icon key path.
#include "iconassign/iconname.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct Loaded {
    int result;
    std::string entry;
};

// Loads data (bytes as given, no NUL added) from an exact heap copy into an
// exact 20-byte entry primed with '#'.
Loaded Load(const std::string &data)
{
    std::unique_ptr<char[]> value(new char[data.size()]);
    if (!data.empty())
        std::memcpy(value.get(), data.data(), data.size());
    std::unique_ptr<char[]> entry(new char[IconEntrySize]);
    std::memset(entry.get(), '#', IconEntrySize);
    Loaded out;
    out.result = LoadIconEntry(entry.get(), value.get(), data.size());
    // The entry must be a text within its 20 bytes in every case.
    const void *nul = std::memchr(entry.get(), '\0', IconEntrySize);
    EXPECT_NE(nullptr, nul) << "entry without NUL";
    out.entry = nul ? std::string(entry.get()) : std::string();
    return out;
}

std::string WithNul(const std::string &text) { return text + std::string(1, '\0'); }

std::string ImageName(const std::string &location, unsigned nameSize = ShellImageNameSize)
{
    std::unique_ptr<char[]> copy(new char[location.size() + 1]);
    std::memcpy(copy.get(), location.c_str(), location.size() + 1);
    std::unique_ptr<char[]> name(new char[nameSize]);
    ShellImageFileName(copy.get(), name.get(), nameSize);
    return name.get();
}

} // namespace

// --- DefaultIconEntries -------------------------------------------------------

TEST(DefaultIconEntries, FiveEntriesWithBackslash)
{
    EXPECT_STREQ("\\cfico.ico", DefaultIconEntries[0]);
    EXPECT_STREQ("\\sdico.ico", DefaultIconEntries[1]);
    EXPECT_STREQ("\\smico.ico", DefaultIconEntries[2]);
    EXPECT_STREQ("\\msico.ico", DefaultIconEntries[3]);
    EXPECT_STREQ("\\comboico.ico", DefaultIconEntries[4]);
}

// --- LoadIconEntry ------------------------------------------------------------

TEST(LoadIconEntry, NameGetsItsBackslash)
{
    Loaded l = Load(WithNul("sdico.ico"));
    EXPECT_EQ(1, l.result);
    EXPECT_EQ("\\sdico.ico", l.entry);
}

// An icon value of up to 19 bytes is read: a name of 18 characters with or
// without its NUL loads; 19 characters without NUL, or more bytes, do not.
TEST(LoadIconEntry, NineteenBytesAtMost)
{
    const std::string name(18, 'n');
    const struct {
        std::string data;
        int result;
        std::string entry;
    } cases[] = {
        {WithNul(name), 1, "\\" + name},
        {name, 1, "\\" + name},
        {std::string(19, 'n'), 0, ""},
        {WithNul(std::string(19, 'n')), 0, ""},
        {WithNul("short.ico") + std::string(15, '\0'), 0, ""},
    };
    for (const auto &c : cases) {
        Loaded l = Load(c.data);
        EXPECT_EQ(c.result, l.result) << c.data.size() << " bytes";
        EXPECT_EQ(c.entry, l.entry) << c.data.size() << " bytes";
    }
}

TEST(LoadIconEntry, DataWithoutNulEndsAtItsSize)
{
    // A value stored without its NUL (or as another type) still loads.
    Loaded l = Load("sdico.ico");
    EXPECT_EQ(1, l.result);
    EXPECT_EQ("\\sdico.ico", l.entry);
}

TEST(LoadIconEntry, FirstNulEndsTheName)
{
    Loaded l = Load(std::string("ab\0cd", 5));
    EXPECT_EQ(1, l.result);
    EXPECT_EQ("\\ab", l.entry);
}

TEST(LoadIconEntry, EmptyNameIsUnusable)
{
    EXPECT_EQ(0, Load("").result);
    EXPECT_EQ(0, Load(WithNul("")).result);
    EXPECT_EQ(0, Load(std::string("\0abc", 4)).result);
}

TEST(LoadIconEntry, InPlaceQueryIntoTheEntry)
{
    // The registry query writes straight into entry + 1.
    char entry[IconEntrySize];
    std::memset(entry, '#', sizeof entry);
    std::memcpy(entry + 1, "myicon.ico", 11);
    ASSERT_EQ(1, LoadIconEntry(entry, entry + 1, 11));
    EXPECT_STREQ("\\myicon.ico", entry);

    std::memset(entry, 'n', sizeof entry);         // 19 bytes without NUL
    EXPECT_EQ(0, LoadIconEntry(entry, entry + 1, IconValueLimit));
    EXPECT_EQ('\0', entry[0]);
}

// --- ShellImageFileName ---------------------------------------------------------

TEST(ShellImageFileName, SpecExamples)
{
    EXPECT_EQ("sdico.ico", ImageName("C:\\WINDOWS\\sdico.ico"));
    EXPECT_EQ("WINDOWS", ImageName("C:\\WINDOWS\\"));
    EXPECT_EQ("abc", ImageName("abc"));
}

TEST(ShellImageFileName, FirstCharacterIsNeverASeparator)
{
    EXPECT_EQ("\\abc", ImageName("\\abc"));
    EXPECT_EQ("\\abc", ImageName("\\abc\\"));
    EXPECT_EQ("\\", ImageName("\\\\"));
    EXPECT_EQ("b", ImageName("\\\\b"));
}

TEST(ShellImageFileName, OnlyOneTrailingBackslashIsRemoved)
{
    EXPECT_EQ("", ImageName("C:\\WINDOWS\\\\"));
    EXPECT_EQ("C:", ImageName("C:\\"));
    EXPECT_EQ("share", ImageName("\\\\server\\share\\"));
}

TEST(ShellImageFileName, EmptyAndSingleCharacter)
{
    EXPECT_EQ("", ImageName(""));
    EXPECT_EQ("", ImageName("\\"));
    EXPECT_EQ("a", ImageName("a"));
    EXPECT_EQ("b", ImageName("a\\b"));
}

TEST(ShellImageFileName, NullLocationGivesEmptyName)
{
    char name[8] = "x";
    ShellImageFileName(nullptr, name, sizeof name);
    EXPECT_STREQ("", name);
}

TEST(ShellImageFileName, WorkingCopyHoldsAtMost259Characters)
{
    // The backslash at 253 is within the copy; the text is cut after 259.
    std::string location = "C:\\" + std::string(250, 'a') + "\\" + std::string(40, 'b');
    EXPECT_EQ(std::string(5, 'b'), ImageName(location));
    // A backslash beyond the first 259 characters is not seen.
    location = std::string(270, 'a') + "\\name.ico";
    EXPECT_EQ(std::string(259, 'a'), ImageName(location));
    // Character 259 is the one cut, so a backslash there is not trailing.
    location = "C:\\" + std::string(256, 'x') + "\\";
    EXPECT_EQ(std::string(256, 'x'), ImageName(location));
}

TEST(ShellImageFileName, NameBufferIsBounded)
{
    EXPECT_EQ("sdico.ico", ImageName("C:\\WINDOWS\\sdico.ico", 10));
    EXPECT_EQ("", ImageName("C:\\WINDOWS\\sdico.ico", 9));   // left empty
    char name = 'n';
    ShellImageFileName("C:\\a.ico", &name, 0);
    EXPECT_EQ('n', name);
}

// --- FormatDriveIconKey ---------------------------------------------------------

TEST(FormatDriveIconKey, KeyOfTheLetter)
{
    char key[DriveIconKeySize];
    FormatDriveIconKey(DrivesKeyPath, 'Z', key, sizeof key);
    EXPECT_STREQ("Software\\Classes\\Applications\\Explorer.exe\\Drives\\Z\\DefaultIcon", key);
    FormatLetterIconKey('D', key, LetterIconKeySize);
    EXPECT_STREQ("D\\DefaultIcon", key);
}

TEST(FormatDriveIconKey, ExactBufferAndTooSmallBuffer)
{
    // The path, a backslash, "D\DefaultIcon" and the NUL.
    const unsigned exact = (unsigned)strlen(DrivesKeyPath) + 1 + LetterIconKeySize;
    std::unique_ptr<char[]> key(new char[exact]);
    FormatDriveIconKey(DrivesKeyPath, 'D', key.get(), exact);
    EXPECT_STREQ("Software\\Classes\\Applications\\Explorer.exe\\Drives\\D\\DefaultIcon", key.get());
    FormatDriveIconKey(DrivesKeyPath, 'D', key.get(), exact - 1);
    EXPECT_STREQ("", key.get());
    FormatLetterIconKey('D', key.get(), LetterIconKeySize - 1);
    EXPECT_STREQ("", key.get());
}

// --- MarkerDriveIndex -----------------------------------------------------------

TEST(MarkerDriveIndex, OnlyASingleUpperCaseLetterMarksADrive)
{
    const struct {
        const char *name;
        int index;
    } cases[] = {{"A", 0}, {"F", 5}, {"Z", 25}, {"0", -1}, {"4", -1}, {"f", -1},
                 {"@", -1}, {"[", -1}, {"FF", -1}, {"", -1}, {nullptr, -1}};
    for (const auto &c : cases)
        EXPECT_EQ(c.index, MarkerDriveIndex(c.name)) << (c.name ? c.name : "(null)");
}

// --- CutLastKey -------------------------------------------------------------------

TEST(CutLastKey, NamesTheParentDownToTheKeyBelowATopKey)
{
    const struct {
        const char *path;
        const char *parent;
        int more;
    } cases[] = {{"Software\\Classes\\Applications", "Software\\Classes", 1},
                 {"Software\\Classes", "Software", 0},
                 {"Software", "Software", 0},
                 {"", "", 0},
                 {"a\\", "a", 0},
                 {"\\a\\b", "\\a", 1}};
    for (const auto &c : cases) {
        std::string path = c.path;
        EXPECT_EQ(c.more, CutLastKey(&path[0])) << c.path;
        EXPECT_STREQ(c.parent, path.c_str()) << c.path;
    }
}
