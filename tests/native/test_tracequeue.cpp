// The programs' trace queue between the threads that trace and the one
// writer thread (the recorder's own ring is tested with the recorder).
#include <gtest/gtest.h>
#include <string>
#include "shell/tracequeue.h"
#include "shell/unitmask.h"

static TraceQueue queue;

static std::string Take(TraceRing *ring, unsigned size = TraceQueueLineSize)
{
    char out[TraceQueueLineSize + 8];
    memset(out, 'x', sizeof(out));
    TraceTaken what = TraceRingTake(ring, out, size);
    if (what == TraceTakenNothing)
        return "(empty)";
    return std::string(what == TraceTakenDropNote ? "note " : "") + out;
}

static std::string Take(unsigned size = TraceQueueLineSize)
{
    return Take(&queue.ring, size);
}

static void Put(const std::string &line)
{
    TraceRingPut(&queue.ring, line.c_str());
}

TEST(TraceQueue, LinesComeOutInOrderAcrossTheRingsEnd)
{
    TraceQueueInit(&queue, "tavlix");
    EXPECT_TRUE(TraceRingEmpty(&queue.ring));
    EXPECT_EQ(Take(), "(empty)");
    // Several rounds of the ring, never full.
    for (int round = 0; round < 3 * TraceQueueLines; round++) {
        Put("a" + std::to_string(round));
        Put("b" + std::to_string(round));
        EXPECT_EQ(Take(), "a" + std::to_string(round));
        EXPECT_EQ(Take(), "b" + std::to_string(round));
    }
    EXPECT_TRUE(TraceRingEmpty(&queue.ring));
}

TEST(TraceQueue, LongLinesAreCutAndSmallBuffersTooNeverOverrun)
{
    TraceQueueInit(&queue, "morvex");
    Put(std::string(3000, 'L'));
    EXPECT_EQ(Take(), std::string(TraceQueueLineSize - 1, 'L'));
    Put("morvex: scan 1 begun");
    char small[8];
    small[7] = '#';
    ASSERT_EQ(TraceRingTake(&queue.ring, small, 7), TraceTakenLine);
    EXPECT_STREQ(small, "morvex");
    EXPECT_EQ(small[7], '#');
}

// A full queue never refuses a line: the oldest go, and the writer says how
// many before it writes the rest, newest last.
TEST(TraceQueue, AFullQueueDropsTheOldestAndSaysHowMany)
{
    TraceQueueInit(&queue, "tavlix");
    const int extra = 1234;
    for (int i = 0; i < TraceQueueLines + extra; i++)
        Put("line " + std::to_string(i));
    EXPECT_EQ(Take(), "note tavlix: " + std::to_string(extra) + " trace lines dropped");
    for (int i = extra; i < TraceQueueLines + extra; i++)
        EXPECT_EQ(Take(), "line " + std::to_string(i));
    EXPECT_TRUE(TraceRingEmpty(&queue.ring));

    // The count starts again after each note.
    for (int i = 0; i < TraceQueueLines + 1; i++)
        Put("x");
    EXPECT_EQ(Take(), "note tavlix: 1 trace lines dropped");
    EXPECT_FALSE(TraceRingEmpty(&queue.ring));
}

// The letters a trace line gives for a broadcast's unit mask: in order,
// bits above Z ignored, all 26 fitting the buffer.
TEST(TraceText, UnitMaskLetters)
{
    char letters[UnitMaskLettersSize + 1];
    letters[UnitMaskLettersSize] = 'x';
    EXPECT_EQ(UnitMaskLetters(0x60u | 0xFC000000u, letters), 2u);
    EXPECT_STREQ(letters, "FG");
    EXPECT_EQ(UnitMaskLetters(0xFC000000u, letters), 0u);
    EXPECT_STREQ(letters, "");
    EXPECT_EQ(UnitMaskLetters(0xFFFFFFFFu, letters), 26u);
    EXPECT_STREQ(letters, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(letters[UnitMaskLettersSize], 'x');
}
