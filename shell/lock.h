// The locks of the kit's programs. On Windows 2000 InitializeCriticalSection
// raises an exception on low memory, and EnterCriticalSection raises one when
// it has to make its wait event at the first contention; the programs have no
// exception handling, so either would end them. Made this way, Windows 2000
// makes the event at once and says so when it cannot; later versions need no
// event and always succeed.
#ifndef LOCK_H
#define LOCK_H

#include <windows.h>

// Nonzero when the lock is ready; zero (nothing to release) when Windows had
// no memory for it.
int InitLock(CRITICAL_SECTION *lock);

#endif
