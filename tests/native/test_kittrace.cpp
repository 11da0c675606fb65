// The recorder's pure parts: which lines it keeps, how each is written,
// its argument and its file's name, and the ring between its threads.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "kittrace/recordline.h"
#include "kittrace/recordpath.h"
#include "shell/tracequeue.h"

static bool Kit(const std::string &text)
{
    return IsKitLine(text.c_str(), (unsigned)text.size() + 1) != 0;
}

TEST(RecordLine, KeepsTheKitsProgramsOnly)
{
    for (const char *line : {"tavlix: pass 1: drive F: given icon", "morvex: scan 1 ended",
                             "vorbind: nothing re-bound", "vorbind-oem: start",
                             "vorbind-bare: start", "kittrace: start: recording", "tavlix:"})
        EXPECT_TRUE(Kit(line)) << line;
    // Other programs, names that only start like the kit's, the name in
    // another case or without its colon, and a name further in.
    for (const char *line : {"", "explorer: tavlix: x", "tavlixx: pass", "tavlix pass 1",
                             "TAVLIX: pass 1", "vorbind-other: x", "kittrace", " morvex: x",
                             "err:module:import_dll tavlix:"})
        EXPECT_FALSE(Kit(line)) << line;
}

// The debug output's buffer need not hold a NUL: the check reads no further
// than the size it is given.
TEST(RecordLine, ReadsNoFurtherThanItsSize)
{
    std::vector<char> bytes = {'m', 'o', 'r', 'v', 'e', 'x', ':'};
    EXPECT_TRUE(IsKitLine(bytes.data(), 7));
    EXPECT_FALSE(IsKitLine(bytes.data(), 6));
    EXPECT_FALSE(IsKitLine(bytes.data(), 0));
}

static std::string Record(const RecordTime &time, unsigned long pid, const std::string &text,
                          unsigned outSize = 2048)
{
    std::vector<char> out(outSize + 1, '#');
    unsigned length = FormatRecordLine(&time, pid, text.c_str(), (unsigned)text.size() + 1,
                                       out.data(), outSize);
    EXPECT_EQ(out[outSize], '#') << "written past the end";
    EXPECT_EQ(length, strlen(out.data()));
    return out.data();
}

TEST(RecordLine, TimeToTheMillisecondAndProcessInFrontCrlfAtTheEnd)
{
    RecordTime time = {2024, 5, 5, 31, 9, 5, 7, 42};
    EXPECT_EQ(Record(time, 1234, "tavlix: start\n"), "09:05:07.042 [1234] tavlix: start\r\n");
    RecordTime late = {2024, 12, 2, 31, 23, 59, 59, 999};
    EXPECT_EQ(Record(late, 4294967295ul, "morvex: x"),
              "23:59:59.999 [4294967295] morvex: x\r\n");
    // Line ends inside become blanks, so a record stays one line; a tab stays.
    EXPECT_EQ(Record(time, 8, "vorbind: a\r\nb\tc\x01\r\n"),
              "09:05:07.042 [8] vorbind: a  b\tc \r\n");
}

TEST(RecordLine, CutToItsBufferWithItsLineEndKept)
{
    RecordTime time = {2024, 5, 5, 31, 9, 5, 7, 42};
    std::string longText = "tavlix: " + std::string(5000, 'x');
    std::string record = Record(time, 77, longText, 100);
    EXPECT_EQ(record.size(), 99u);
    EXPECT_EQ(record.substr(0, 25), "09:05:07.042 [77] tavlix:");
    EXPECT_EQ(record.substr(97), "\r\n");
    // The text's size bounds the reading as well: no NUL needed.
    char bytes[9] = {'k', 'i', 't', 't', 'r', 'a', 'c', 'e', ':'};
    char out[64];
    FormatRecordLine(&time, 1, bytes, sizeof(bytes), out, sizeof(out));
    EXPECT_STREQ(out, "09:05:07.042 [1] kittrace:\r\n");
    // The smallest buffer holds the line end alone.
    FormatRecordLine(&time, 1, "tavlix: x", 10, out, 3);
    EXPECT_STREQ(out, "\r\n");
}

static RecordArgument Parse(const char *text, std::string *path, unsigned size = 260)
{
    std::vector<char> out(size + 1, '#');
    RecordArgument result = ParseRecordArgument(text, out.data(), size);
    EXPECT_EQ(out[size], '#') << "written past the end";
    *path = out.data();
    return result;
}

TEST(RecordPath, ArgumentQuotedOrNot)
{
    const struct {
        const char *text;
        RecordArgument result;
        const char *path;
    } cases[] = {
        {"", RecordArgumentNone, ""},
        {"  \t ", RecordArgumentNone, ""},
        {"\"\"", RecordArgumentNone, ""},
        {"C:\\trace.txt", RecordArgumentPath, "C:\\trace.txt"},
        // A name with blanks: in quotes, or the whole text without the
        // blanks around it.
        {"  \"C:\\My Documents\\a b.txt\"  ", RecordArgumentPath, "C:\\My Documents\\a b.txt"},
        {" C:\\My Documents\\a b.txt \t", RecordArgumentPath, "C:\\My Documents\\a b.txt"},
        {"\"C:\\a b.txt", RecordArgumentOpenQuote, ""},
        {"\"C:\\a.txt\" C:\\b.txt", RecordArgumentMoreWords, ""},
    };
    for (const auto &c : cases) {
        std::string path;
        EXPECT_EQ(Parse(c.text, &path), c.result) << c.text;
        EXPECT_EQ(path, c.path) << c.text;
    }
}

TEST(RecordPath, ArgumentThatDoesNotFit)
{
    std::string path;
    EXPECT_EQ(Parse("abcdefghi", &path, 10), RecordArgumentPath);
    EXPECT_EQ(path, "abcdefghi");
    EXPECT_EQ(Parse("abcdefghij", &path, 10), RecordArgumentTooLong);
    EXPECT_EQ(path, "");
    EXPECT_EQ(Parse("\"abcdefghij\"", &path, 10), RecordArgumentTooLong);
    std::string huge(100000, 'p');
    EXPECT_EQ(Parse(huge.c_str(), &path), RecordArgumentTooLong);
}

static std::string Join(const char *folder, const char *name, unsigned size, int *done)
{
    std::vector<char> out(size + 1, '#');
    *done = JoinRecordPath(folder, name, out.data(), size);
    EXPECT_EQ(out[size], '#') << "written past the end";
    return out.data();
}

// The desktop's file; exactly fitting, one short, and no folder: never a
// cut name.
TEST(RecordPath, TheDesktopsFile)
{
    const struct {
        const char *folder;
        const char *name;
        unsigned size;
        const char *path; // empty when refused
    } cases[] = {
        {"C:\\Documents and Settings\\Anna\\Desktop", RecordDefaultName, 260,
         "C:\\Documents and Settings\\Anna\\Desktop\\cardkit-trace.txt"},
        {"D:\\", RecordDefaultName, 260, "D:\\cardkit-trace.txt"},
        {"C:\\d", "n.txt", 11, "C:\\d\\n.txt"},
        {"C:\\d", "n.txt", 10, ""},
        {"C:\\dd", "n", 6, ""},
        {"", "n.txt", 10, ""},
    };
    for (const auto &c : cases) {
        int done;
        EXPECT_EQ(Join(c.folder, c.name, c.size, &done), c.path) << c.folder << " " << c.size;
        EXPECT_EQ(done != 0, c.path[0] != '\0') << c.folder << " " << c.size;
    }
}

// The recorder's ring: storage of its own size, the oldest lines dropped
// when full, and the note said as what it is.
TEST(TraceRing, OwnStorageDropsTheOldestAndSaysSo)
{
    static char storage[3][64];
    memset(storage, '#', sizeof(storage));
    TraceRing ring;
    TraceRingInit(&ring, "kittrace", &storage[0][0], 3, 64);
    char out[80];
    EXPECT_EQ(TraceRingTake(&ring, out, sizeof(out)), TraceTakenNothing);
    for (int i = 0; i < 5; i++)
        TraceRingPut(&ring, ("line " + std::to_string(i)).c_str());
    TraceRingPut(&ring, std::string(200, 'L').c_str());
    EXPECT_EQ(TraceRingTake(&ring, out, sizeof(out)), TraceTakenDropNote);
    EXPECT_STREQ(out, "kittrace: 3 trace lines dropped");
    EXPECT_EQ(TraceRingTake(&ring, out, sizeof(out)), TraceTakenLine);
    EXPECT_STREQ(out, "line 3");
    EXPECT_EQ(TraceRingTake(&ring, out, sizeof(out)), TraceTakenLine);
    EXPECT_STREQ(out, "line 4");
    EXPECT_EQ(TraceRingTake(&ring, out, sizeof(out)), TraceTakenLine);
    EXPECT_EQ(std::string(out), std::string(63, 'L'));
    EXPECT_TRUE(TraceRingEmpty(&ring));
}
