#include "tracehandover.h"
#include "lock.h"

// Whether the writer sleeps and must be woken; the caller holds the lock.
static int TakeWake(TraceHandOver *hand)
{
    int wake = hand->writerWaits;
    hand->writerWaits = 0;
    return wake;
}

// The writer: the only thread that waits for what it writes to.
static DWORD WINAPI WriteHandedOver(LPVOID parameter)
{
    TraceHandOver *hand = (TraceHandOver *)parameter;
    for (;;) {
        EnterCriticalSection(&hand->lock);
        TraceTaken what = TraceRingTake(hand->ring, hand->taken, hand->takenSize);
        hand->writerBusy = what != TraceTakenNothing;
        hand->writerWaits = !hand->writerBusy;
        int stops = hand->stops;
        LeaveCriticalSection(&hand->lock);
        if (what != TraceTakenNothing)
            hand->write(hand->taken, what);
        else if (stops)
            return 0;
        else
            WaitForSingleObject(hand->wake, INFINITE);
    }
}

HandOverPart StartHandOver(TraceHandOver *hand)
{
    if (!InitLock(&hand->lock))
        return HandOverNoLock;
    hand->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (hand->wake) {
        DWORD threadId;
        hand->writer = CreateThread(NULL, 0, WriteHandedOver, hand, 0, &threadId);
        if (hand->writer)
            return HandOverMade;
    }
    // Released in reverse; the error of the part that failed is kept.
    DWORD error = GetLastError();
    HandOverPart failed = hand->wake ? HandOverNoThread : HandOverNoEvent;
    if (hand->wake)
        CloseHandle(hand->wake);
    hand->wake = NULL;
    DeleteCriticalSection(&hand->lock);
    SetLastError(error);
    return failed;
}

void HandOver(TraceHandOver *hand, const char *line)
{
    EnterCriticalSection(&hand->lock);
    TraceRingPut(hand->ring, line);
    int wake = TakeWake(hand);
    LeaveCriticalSection(&hand->lock);
    if (wake)
        SetEvent(hand->wake);
}

int HandOverDone(TraceHandOver *hand)
{
    EnterCriticalSection(&hand->lock);
    int done = TraceRingEmpty(hand->ring) && !hand->writerBusy;
    LeaveCriticalSection(&hand->lock);
    return done;
}

void StopHandOver(TraceHandOver *hand)
{
    EnterCriticalSection(&hand->lock);
    hand->stops = 1;
    int wake = TakeWake(hand);
    LeaveCriticalSection(&hand->lock);
    if (wake)
        SetEvent(hand->wake);
    WaitForSingleObject(hand->writer, INFINITE);
    CloseHandle(hand->writer);
    hand->writer = NULL;
    CloseHandle(hand->wake);
    hand->wake = NULL;
    DeleteCriticalSection(&hand->lock);
}
