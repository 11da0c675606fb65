// The hand-over of lines between the threads that make them and the one
// writer thread that writes them out: the programs' trace to the debug
// output, the recorder's records to its file. The makers never wait for
// the writer, and wake it, at the cost of a call into the system, only
// when it sleeps.
#ifndef TRACEHANDOVER_H
#define TRACEHANDOVER_H

#include <windows.h>
#include "tracequeue.h"

struct TraceHandOver {
    // Set by the owner before StartHandOver:
    TraceRing *ring;
    // Writes out what the writer took (a line, or the drop note), in its
    // buffer of takenSize bytes, which the call may change.
    void (*write)(char *taken, TraceTaken what);
    char *taken;
    unsigned takenSize;
    // Made by StartHandOver:
    CRITICAL_SECTION lock;
    HANDLE wake;     // auto-reset: a line waits
    HANDLE writer;
    int writerWaits; // the writer sleeps on wake: the next line wakes it
    int writerBusy;  // the writer writes what it took
    int stops;       // write what is left, then end
};

// What StartHandOver could not make.
enum HandOverPart { HandOverMade, HandOverNoLock, HandOverNoEvent, HandOverNoThread };

// Makes the lock, the wake event and the writer thread, in that order;
// once for each hand, which starts zero-filled (a static).
// HandOverMade, or the part that could not be made: what was made before
// it is then released again, and GetLastError says why.
HandOverPart StartHandOver(TraceHandOver *hand);
// A maker's side: the line goes into the ring.
void HandOver(TraceHandOver *hand, const char *line);
// Nonzero when nothing waits and the writer has written what it took.
int HandOverDone(TraceHandOver *hand);
// Lets the writer write what is left and waits for its end; then releases
// the thread, the event and the lock.
void StopHandOver(TraceHandOver *hand);

#endif
