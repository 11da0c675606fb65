#include <windows.h>
#include "passgate.h"
#include "lock.h"

static CRITICAL_SECTION GateLock;
static LONG ActivePasses;
static int Closing;
static void (*ReleaseSharedState)(void);

int InitPassGate(void (*release)(void))
{
    ReleaseSharedState = release;
    ActivePasses = 0;
    Closing = 0;
    return InitLock(&GateLock);
}

int EnterPass(void)
{
    EnterCriticalSection(&GateLock);
    int admitted = !Closing;
    if (admitted)
        ActivePasses++;
    LeaveCriticalSection(&GateLock);
    return admitted;
}

void LeavePass(void)
{
    EnterCriticalSection(&GateLock);
    int last = --ActivePasses == 0 && Closing;
    LeaveCriticalSection(&GateLock);
    if (last)
        ReleaseSharedState();
}

int BeginExit(void)
{
    EnterCriticalSection(&GateLock);
    int first = !Closing;
    if (first) {
        Closing = 1;
        ActivePasses++;
    }
    LeaveCriticalSection(&GateLock);
    return first;
}

int ExitBegun(void)
{
    // Closing is written on this same thread only.
    return Closing;
}

int BeginIconWrite(void)
{
    EnterCriticalSection(&GateLock);
    if (!Closing)
        return 1;
    LeaveCriticalSection(&GateLock);
    return 0;
}

void EndIconWrite(void)
{
    LeaveCriticalSection(&GateLock);
}
