#include "onecopy.h"
#include "takeover.h"

// A driver installation writes the device's key under the device class key,
// which administrators and the system may change and everyone else may only
// read: a limited account, and from Vista on an administrator not raised.
LONG ProbeDriverRights(void)
{
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Class",
                                0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE, &key);
    if (result == ERROR_SUCCESS)
        RegCloseKey(key);
    return result;
}

// Held until the process ends; an unprefixed name is per session.
static HANDLE SessionMutex;

// One try at the lock: 0 taken; ERROR_ALREADY_EXISTS another copy holds
// it, made by this account or by another one whose access list keeps this
// one out (Run as... on 2000 and XP); otherwise why it cannot be made.
static DWORD TryLock(void)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, "MorvexRunning");
    DWORD last = GetLastError();
    if (!mutex)
        return last == ERROR_ACCESS_DENIED ? ERROR_ALREADY_EXISTS : last;
    if (last == ERROR_ALREADY_EXISTS)
        CloseHandle(mutex);
    else
        SessionMutex = mutex;
    return last == ERROR_ALREADY_EXISTS ? last : 0;
}

// The running copy's answer; RightsUnknown when it has no window or does
// not answer in time. One that answers RightsMayNotInstall is ending.
static DWORD_PTR AskRunningCopy(void)
{
    DWORD_PTR answer = RightsUnknown;
    HWND window = FindWindowA("MORVEX", NULL);
    if (window && SendMessageTimeoutA(window, TakeoverMessage, 0, 0, SMTO_ABORTIFHUNG,
                                      RightsQueryMs, &answer))
        return answer;
    return RightsUnknown;
}

// The lock goes with the running copy's process: it is free once that ended.
static int WaitForLock(void)
{
    for (int tries = TakeoverWaitMs / 100; tries > 0; tries--) {
        Sleep(100);
        if (TryLock() == 0)
            return 1;
    }
    return 0;
}

// Asks the running copy, as this one may install drivers, and takes over
// when it may not.
static OneCopyOutcome TakeOver(void)
{
    DWORD_PTR answer = AskRunningCopy();
    if (answer == RightsMayInstall)
        return CopySameRights;
    if (answer != RightsMayNotInstall)
        return CopyNoAnswer;
    return WaitForLock() ? CopyTookOver : CopyOtherStayed;
}

OneCopyResult TakeOneCopyLock(int mayInstall)
{
    OneCopyResult result = {CopyFirst, TryLock()};
    if (result.error == ERROR_ALREADY_EXISTS)
        result.outcome = mayInstall ? TakeOver() : CopyWithoutRights;
    else if (result.error)
        result.outcome = CopyLockFailed;
    return result;
}
