// morvex: stays resident with a hidden window and keeps the card reader on
// its own driver, at start-up and once a burst of volume arrivals is over.
#include "shell.h"
#include <dbt.h>
#include "errortext.h"
#include "exchange.h"
#include "rescan.h"
#include "trace.h"
#include "unitmask.h"

const int ShellDrawsClientText = 1;
const int ShellStaysResident = 1;

// What SetTimer returned for the pending rescan; 0 when none is pending.
static UINT_PTR RescanTimer;

// An installation may show a modal window (an unsigned-driver warning, a
// restart prompt) whose message loop runs this window's messages: a timer
// expiry then arrives while a scan is still running. No scan may start
// inside another, so the expiry is kept and its scan follows the running one.
static int ScanRunning;
static int ScanDue;
// Scans so far: numbers them in the trace.
static unsigned long ScanCount;

// The reference copy's time is read once: a copy replaced while the
// program runs counts from the next start.
static int ReadStartupState(void)
{
    UINT length = GetWindowsDirectoryA(WindowsDir, WindowsDirSize);
    char error[ErrorTextSize];
    if (length == 0) {
        FormatLastError(error);
        Trace("start: ends: the Windows folder cannot be read: %s", error);
        return 0;
    }
    if (!WindowsDirAccepted(length)) {
        Trace("start: ends: the Windows folder has 64 characters or more");
        return 0;
    }
    // Always fits: the Windows folder has at most 63 characters.
    char path[DriverPathSize];
    if (!BuildReferenceDriverPath(path, sizeof(path), WindowsDir)) {
        Trace("start: ends: the reference driver's path does not fit");
        return 0;
    }
    DWORD readError = ReadLastWriteTime(path, &ReferenceDriverTime);
    if (readError) {
        FormatErrorText(readError, error, sizeof(error));
        Trace("start: ends: no reference driver: %s cannot be opened: %s", path, error);
        return 0;
    }
    char time[FileTimeTextSize];
    FormatFileTime(&ReferenceDriverTime, time);
    Trace("start: reference driver %s, written %s", path, time);
    return 1;
}

// The volume header of a volume arrival, or null for any other broadcast.
static const DEV_BROADCAST_VOLUME *ArrivedVolume(WPARAM event, LPARAM header)
{
    if (event != DBT_DEVICEARRIVAL || header == 0 ||
        ((DEV_BROADCAST_HDR *)header)->dbch_devicetype != DBT_DEVTYP_VOLUME)
        return NULL;
    return (const DEV_BROADCAST_VOLUME *)header;
}

// The drive letters of an arrival, "FG", for the trace; "none" when the
// header is too short to hold a unit mask or its mask names no drive.
static void ArrivalLetters(const DEV_BROADCAST_VOLUME *volume, char *letters)
{
    unsigned long mask = 0;
    if (volume->dbcv_size >= sizeof(DEV_BROADCAST_HDR) + sizeof(DWORD))
        mask = volume->dbcv_unitmask;
    if (!UnitMaskLetters(mask, letters))
        lstrcpyA(letters, "none");
}

// Each arrival starts the wait anew, so a burst of card volumes brings one
// scan. The window procedure receives the expiry as WM_TIMER.
static void RestartRescanTimer(HWND window, const DEV_BROADCAST_VOLUME *volume)
{
    char letters[UnitMaskLettersSize];
    ArrivalLetters(volume, letters);
    const char *how = RescanTimer ? "restarted" : "started";
    if (RescanTimer) {
        KillTimer(window, RescanTimer);
        RescanTimer = 0;
    }
    RescanTimer = SetTimer(window, RescanTimerId, RescanDelay,
                           (TIMERPROC)(void (*)(void))MainWindowProc);
    if (RescanTimer) {
        Trace("volume arrival, drives %s: rescan timer %s: a scan in %d s", letters, how,
              RescanDelay / 1000);
        return;
    }
    char error[ErrorTextSize];
    FormatLastError(error);
    Trace("volume arrival, drives %s: no rescan for it: the rescan timer cannot be set: %s",
          letters, error);
}

// Runs a scan, and then the scans that fell due while it ran. A window
// destroyed meanwhile (File > Exit from inside a prompt) wants none.
static void RunScans(HWND window, const char *cause)
{
    if (ScanRunning) {
        ScanDue = 1;
        Trace("timer: a scan is running: the next one is put off until it ends");
        return;
    }
    ScanRunning = 1;
    char putOff[64];
    do {
        ScanDue = 0;
        ExchangeDrivers(++ScanCount, cause);
        wsprintfA(putOff, "timer, put off until scan %lu ended", ScanCount);
        cause = putOff;
    } while (ScanDue && IsWindow(window));
    if (ScanDue)
        Trace("the put-off scan is dropped: the window is gone");
    ScanDue = 0;
    ScanRunning = 0;
}

int ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT *result)
{
    switch (message) {
    case WM_CREATE:
        RunScans(window, "start-up");
        break;
    case WM_DEVICECHANGE: {
        const DEV_BROADCAST_VOLUME *volume = ArrivedVolume(wParam, lParam);
        if (volume)
            RestartRescanTimer(window, volume);
        else
            Trace("device broadcast 0x%04lx: no volume arrival: nothing started",
                  (unsigned long)wParam);
        break;
    }
    case WM_TIMER:
        KillTimer(window, RescanTimer);
        RescanTimer = 0;
        RunScans(window, "timer");
        break;
    default:
        return 0;
    }
    *result = 0;
    return 1;
}

// One resident copy per session: a second one would force the same driver
// installations beside the first. The first copy holds the mutex until its
// process ends; an unprefixed name is per session where Windows has sessions.
static HANDLE SessionMutex;

static int IsFirstCopyInSession(void)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, "MorvexRunning");
    if (!mutex) {
        char error[ErrorTextSize];
        FormatLastError(error);
        Trace("start: ends: the mutex MorvexRunning cannot be made: %s", error);
        return 0;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        SessionMutex = mutex;
        return 1;
    }
    CloseHandle(mutex);
    Trace("start: another morvex runs in this session: ends");
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR argumentText,
                   int showCommand)
{
    (void)previous;
    (void)argumentText;
    StartTrace("morvex", 1);
    if (!IsFirstCopyInSession() || !ReadStartupState()) {
        StopTrace(TraceDrainMs);
        return 0;
    }
    int code = RunShell(instance, showCommand);
    Trace("ends: exit code %d", code);
    StopTrace(TraceDrainMs);
    return code;
}
