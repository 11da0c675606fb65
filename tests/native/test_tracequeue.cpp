// The trace queue between the tracing threads and the writer thread.
#include <gtest/gtest.h>
#include <string>
#include "shell/tracequeue.h"
#include "shell/unitmask.h"

static TraceQueue queue;

static std::string Take(unsigned size = TraceQueueLineSize)
{
    char out[TraceQueueLineSize + 8];
    memset(out, 'x', sizeof(out));
    if (!TraceQueueTake(&queue, out, size))
        return "(empty)";
    return out;
}

TEST(TraceQueue, LinesComeOutInOrderAcrossTheRingsEnd)
{
    TraceQueueInit(&queue, "tavlix");
    EXPECT_TRUE(TraceQueueEmpty(&queue));
    EXPECT_EQ(Take(), "(empty)");
    // Several rounds of the ring, never full.
    for (int round = 0; round < 3 * TraceQueueLines; round++) {
        TraceQueuePut(&queue, ("a" + std::to_string(round)).c_str());
        TraceQueuePut(&queue, ("b" + std::to_string(round)).c_str());
        EXPECT_EQ(Take(), "a" + std::to_string(round));
        EXPECT_EQ(Take(), "b" + std::to_string(round));
    }
    EXPECT_TRUE(TraceQueueEmpty(&queue));
}

TEST(TraceQueue, LongLinesAreCutAndSmallBuffersTooNeverOverrun)
{
    TraceQueueInit(&queue, "morvex");
    std::string longLine(3000, 'L');
    TraceQueuePut(&queue, longLine.c_str());
    EXPECT_EQ(Take(), std::string(TraceQueueLineSize - 1, 'L'));
    TraceQueuePut(&queue, "morvex: scan 1 begun");
    char small[8];
    small[7] = '#';
    ASSERT_TRUE(TraceQueueTake(&queue, small, 7));
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
        TraceQueuePut(&queue, ("line " + std::to_string(i)).c_str());
    EXPECT_EQ(Take(), "tavlix: " + std::to_string(extra) + " trace lines dropped");
    for (int i = extra; i < TraceQueueLines + extra; i++)
        EXPECT_EQ(Take(), "line " + std::to_string(i));
    EXPECT_TRUE(TraceQueueEmpty(&queue));

    // The count starts again after each note.
    for (int i = 0; i < TraceQueueLines + 1; i++)
        TraceQueuePut(&queue, "x");
    EXPECT_EQ(Take(), "tavlix: 1 trace lines dropped");
    EXPECT_FALSE(TraceQueueEmpty(&queue));
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
