// The trace's queue of lines, between the threads that trace and the one
// thread that writes them out. Bounded, and it never makes a caller wait:
// when it is full, the oldest line makes room for the new one, and the next
// line taken out is a note of how many were dropped. Pure: no Windows
// header; the caller does the locking.
//
// TraceRing is the queue itself, on storage its owner gives it (any count
// of lines, any line size); TraceQueue is the programs' trace queue, a ring
// with its storage inside.
#ifndef TRACEQUEUE_H
#define TRACEQUEUE_H

enum { TraceQueueLines = 64, TraceQueueLineSize = 512 };

struct TraceRing {
    const char *program;   // starts the drop note's line
    char *storage;         // slots lines of slotSize bytes each
    unsigned slots;
    unsigned slotSize;
    unsigned first;        // slot of the oldest line
    unsigned count;
    unsigned long dropped; // since the last line taken
};

// What a take gave.
enum TraceTaken { TraceTakenNothing, TraceTakenLine, TraceTakenDropNote };

// storage holds slots * slotSize bytes; slots and slotSize are at least 1
// (slotSize at least 48, so that a drop note fits).
void TraceRingInit(TraceRing *ring, const char *program, char *storage, unsigned slots,
                   unsigned slotSize);
// Copies line in, cut to slotSize - 1 characters.
void TraceRingPut(TraceRing *ring, const char *line);
// Takes the oldest line, or the note "<program>: N trace lines dropped"
// when lines were dropped before it, into out (outSize bytes, cut to fit).
// Leaves out untouched when there is nothing to take.
TraceTaken TraceRingTake(TraceRing *ring, char *out, unsigned outSize);
// Nonzero when neither a line nor a drop note waits.
int TraceRingEmpty(const TraceRing *ring);

struct TraceQueue {
    TraceRing ring;
    char lines[TraceQueueLines][TraceQueueLineSize];
};

void TraceQueueInit(TraceQueue *queue, const char *program);

#endif
