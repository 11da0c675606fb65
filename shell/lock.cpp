#include "lock.h"

// The high bit asks Windows 2000 for the wait event at once; the rest is
// the spin count, which a single processor ignores.
static const DWORD EventNowAndSpin = 0x80000000u | 1000u;

int InitLock(CRITICAL_SECTION *lock)
{
    return InitializeCriticalSectionAndSpinCount(lock, EventNowAndSpin) != FALSE;
}
