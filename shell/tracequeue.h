// The trace's queue of lines, between the threads that trace and the one
// thread that writes them out. Bounded, and it never makes a caller wait:
// when it is full, the oldest line makes room for the new one, and the next
// line taken out is a note of how many were dropped. Pure: no Windows
// header; the caller does the locking.
#ifndef TRACEQUEUE_H
#define TRACEQUEUE_H

enum { TraceQueueLines = 64, TraceQueueLineSize = 512 };

struct TraceQueue {
    const char *program;   // starts the drop note's line
    unsigned first;        // slot of the oldest line
    unsigned count;
    unsigned long dropped; // since the last line taken
    char lines[TraceQueueLines][TraceQueueLineSize];
};

void TraceQueueInit(TraceQueue *queue, const char *program);
// Copies line in, cut to TraceQueueLineSize - 1 characters.
void TraceQueuePut(TraceQueue *queue, const char *line);
// Takes the oldest line, or the note "<program>: N trace lines dropped"
// when lines were dropped before it, into out (outSize bytes, cut to fit).
// Returns 0, leaving out untouched, when there is nothing to take.
int TraceQueueTake(TraceQueue *queue, char *out, unsigned outSize);
// Nonzero when neither a line nor a drop note waits.
int TraceQueueEmpty(const TraceQueue *queue);

#endif
