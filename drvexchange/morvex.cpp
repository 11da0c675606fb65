// morvex: stays resident with a hidden window and keeps the card reader on
// its own driver, at start-up and once a burst of volume arrivals is over.
#include "shell.h"
#include <dbt.h>
#include "drivertime.h"
#include "errortext.h"
#include "exchange.h"
#include "morvexstate.h"
#include "onecopy.h"
#include "rescan.h"
#include "takeover.h"
#include "trace.h"
#include "unitmask.h"
#include "windowsfolder.h"

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

// What the start-up checks found, before any of it is traced.
struct StartupState {
    WindowsFolderResult folder;
    char referencePath[DriverPathSize];
    DWORD referenceError; // why the reference copy cannot be opened; 0 when it was read
    LONG rightsError;     // why this account may not install drivers; 0 when it may
};

static void ReadStartupState(StartupState *state)
{
    state->folder = ReadWindowsFolder(WindowsDir, WindowsDirSize);
    // Always fits: the Windows folder has at most 63 characters.
    BuildReferenceDriverPath(state->referencePath, sizeof(state->referencePath), WindowsDir);
    state->referenceError = ERROR_PATH_NOT_FOUND;
    if (state->folder.outcome == WindowsFolderRead)
        state->referenceError = ReadLastWriteTime(state->referencePath, &ReferenceDriverTime);
    state->rightsError = ProbeDriverRights();
    MayInstallDrivers = state->rightsError == ERROR_SUCCESS;
}

// Traces what the checks found; nonzero when the program can run.
static int ReportStartupState(const StartupState *state)
{
    char text[WindowsFolderRefusalSize];
    if (state->folder.outcome != WindowsFolderRead) {
        FormatWindowsFolderRefusal(&state->folder, WindowsDirSize, text);
        Trace("start: ends: %s", text);
        return 0;
    }
    if (state->referenceError) {
        FormatErrorText(state->referenceError, text, sizeof(text));
        Trace("start: ends: no reference driver: %s cannot be opened: %s", state->referencePath,
              text);
        return 0;
    }
    char time[FileTimeTextSize];
    FormatFileTime(&ReferenceDriverTime, time);
    const char *rights = "install drivers";
    text[0] = '\0';
    if (!MayInstallDrivers) {
        rights = "not install drivers: the device class key cannot be written: ";
        FormatErrorText((DWORD)state->rightsError, text, sizeof(text));
    }
    Trace("start: reference driver %s, written %s; this account may %s%s", state->referencePath,
          time, rights, text);
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

// The drive letters of an arrival for the trace: "FG" written to letters,
// or "none" when the header is too short to hold a unit mask or its mask
// names no drive.
static const char *ArrivalLetters(const DEV_BROADCAST_VOLUME *volume, char *letters)
{
    unsigned long mask = 0;
    if (volume->dbcv_size >= sizeof(DEV_BROADCAST_HDR) + sizeof(DWORD))
        mask = volume->dbcv_unitmask;
    return UnitMaskLetters(mask, letters) ? letters : "none";
}

// Each arrival starts the wait anew, so a burst of card volumes brings one
// scan. The window procedure receives the expiry as WM_TIMER.
static void RestartRescanTimer(HWND window, const DEV_BROADCAST_VOLUME *volume)
{
    char buffer[UnitMaskLettersSize];
    const char *letters = ArrivalLetters(volume, buffer);
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
    LRESULT answer = 0;
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
    case TakeoverMessage:
        // Not inside a scan, whose installation would be cut short.
        answer = ScanRunning ? RightsUnknown : RightsMayNotInstall + MayInstallDrivers;
        if (answer == RightsMayNotInstall) {
            Trace("a morvex that may install drivers takes over: ends");
            DestroyWindow(window);
        }
        break;
    default:
        return 0;
    }
    *result = answer;
    return 1;
}

// Why a copy that found another one running ends, by outcome from
// CopyWithoutRights on, after "another morvex runs in this session: ends: ".
static const char *const EndReasons[] = {
    "this one may not install drivers; one started with an administrator's rights "
    "(Run as administrator; on 2000 and XP, Run as...) takes over from it",
    "it may install drivers too",
    "it does not answer now (busy with a scan?)",
    "it did not end within 15 s when asked to",
};
static_assert(sizeof(EndReasons) / sizeof(EndReasons[0]) == CopyOtherStayed - CopyWithoutRights + 1,
              "one reason for each outcome that ends this copy");

// Traces the lock's outcome; nonzero when this copy runs.
static int ReportOneCopy(const OneCopyResult *copy)
{
    switch (copy->outcome) {
    case CopyFirst:
        return 1;
    case CopyTookOver:
        Trace("start: took over from the morvex that ran in this session, which may not "
              "install drivers");
        return 1;
    case CopyLockFailed: {
        char error[ErrorTextSize];
        FormatErrorText(copy->error, error, sizeof(error));
        Trace("start: ends: the mutex MorvexRunning cannot be made: %s", error);
        return 0;
    }
    default:
        break;
    }
    Trace("start: another morvex runs in this session: ends: %s",
          EndReasons[copy->outcome - CopyWithoutRights]);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR argumentText,
                   int showCommand)
{
    (void)previous;
    (void)argumentText;
    StartTrace("morvex", 1);
    StartupState state;
    ReadStartupState(&state);
    int runs = ReportStartupState(&state);
    if (runs) {
        OneCopyResult copy = TakeOneCopyLock(MayInstallDrivers);
        runs = ReportOneCopy(&copy);
    }
    int code = 0;
    if (runs) {
        code = RunShell(instance, showCommand);
        Trace("ends: exit code %d", code);
    }
    StopTrace(TraceDrainMs);
    return code;
}
