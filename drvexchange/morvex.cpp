// morvex: stays resident with a hidden window and keeps the card reader on
// its own driver, at start-up and once a burst of volume arrivals is over.
#include "shell.h"
#include <dbt.h>
#include "exchange.h"
#include "rescan.h"

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

// The reference copy's time is read once: a copy replaced while the
// program runs counts from the next start.
static int ReadStartupState(void)
{
    UINT length = GetWindowsDirectoryA(WindowsDir, WindowsDirSize);
    if (!WindowsDirAccepted(length))
        return 0;
    char path[DriverPathSize];
    return BuildReferenceDriverPath(path, sizeof(path), WindowsDir) &&
           ReadLastWriteTime(path, &ReferenceDriverTime);
}

static int IsVolumeArrival(WPARAM event, LPARAM header)
{
    return event == DBT_DEVICEARRIVAL && header != 0 &&
           ((DEV_BROADCAST_HDR *)header)->dbch_devicetype == DBT_DEVTYP_VOLUME;
}

// Each arrival starts the wait anew, so a burst of card volumes brings one
// scan. The window procedure receives the expiry as WM_TIMER.
static void RestartRescanTimer(HWND window)
{
    if (RescanTimer) {
        KillTimer(window, RescanTimer);
        RescanTimer = 0;
    }
    RescanTimer = SetTimer(window, RescanTimerId, RescanDelay,
                           (TIMERPROC)(void (*)(void))MainWindowProc);
}

// Runs a scan, and then the scans that fell due while it ran. A window
// destroyed meanwhile (File > Exit from inside a prompt) wants none.
static void RunScans(HWND window)
{
    if (ScanRunning) {
        ScanDue = 1;
        return;
    }
    ScanRunning = 1;
    do {
        ScanDue = 0;
        ExchangeDrivers();
    } while (ScanDue && IsWindow(window));
    ScanDue = 0;
    ScanRunning = 0;
}

int ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT *result)
{
    switch (message) {
    case WM_CREATE:
        RunScans(window);
        break;
    case WM_DEVICECHANGE:
        if (IsVolumeArrival(wParam, lParam))
            RestartRescanTimer(window);
        break;
    case WM_TIMER:
        KillTimer(window, RescanTimer);
        RescanTimer = 0;
        RunScans(window);
        break;
    default:
        return 0;
    }
    *result = 0;
    return 1;
}

// One resident copy per session: a second one would force the same driver
// installations beside the first. The mutex is held until the process ends;
// an unprefixed name is per session where Windows has sessions.
static int IsFirstCopyInSession(void)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, "MorvexRunning");
    return mutex != NULL && GetLastError() != ERROR_ALREADY_EXISTS;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR argumentText,
                   int showCommand)
{
    (void)previous;
    (void)argumentText;
    if (!IsFirstCopyInSession())
        return 0;
    if (!ReadStartupState())
        return 0;
    return RunShell(instance, showCommand);
}
