// One morvex runs in a session: the first holds a lock until its process
// ends, and a second one would force the same installations beside it. A
// later copy that may install drivers, where the running one may not (an
// administrator's Run as... on 2000 and XP, Run as administrator on Vista
// and later), takes over: it asks the running one to end as File > Exit
// does, and takes the lock once that process has ended.
#ifndef ONECOPY_H
#define ONECOPY_H

#include <windows.h>

// 0 when this account may write where a driver installation writes;
// otherwise why not.
LONG ProbeDriverRights(void);

enum OneCopyOutcome {
    CopyFirst,         // the lock was free
    CopyTookOver,      // the running copy ended when asked to
    CopyLockFailed,    // the lock cannot be made: error says why
    CopyWithoutRights, // another copy runs, and this one may not install drivers
    CopySameRights,    // another copy runs that may install drivers too
    CopyNoAnswer,      // another copy runs that does not answer now
    CopyOtherStayed    // asked to end, the running copy did not in time
};

struct OneCopyResult {
    OneCopyOutcome outcome;
    DWORD error; // why the lock cannot be made (CopyLockFailed)
};

// Takes the lock, or takes over from the running copy where this one
// (mayInstall nonzero) may install drivers and it may not. Holds the lock
// until the process ends when the outcome is CopyFirst or CopyTookOver.
OneCopyResult TakeOneCopyLock(int mayInstall);

#endif
