// tavlix: gives each card-slot drive letter the icon of its card kind and
// follows device arrival and removal. Launched again, it stops the running
// copy instead of starting.
#include "shell.h"
#include <dbt.h>
#include "disklist.h"
#include "driveresolve.h"
#include "errortext.h"
#include "iconplace.h"
#include "iconsettings.h"
#include "lefticons.h"
#include "osversion.h"
#include "passes.h"
#include "passgate.h"
#include "tavlixglobals.h"
#include "trace.h"
#include "unitmask.h"
#include "windowsfolder.h"

const int ShellDrawsClientText = 1;
const int ShellStaysResident = 1;

static const DWORD DrivesDToZ = 0x03FFFFF8;

int RunningInstanceFound;
HWND RunningInstanceWindow;

BOOL CALLBACK FindRunningInstance(HWND window, LPARAM parameter)
{
    (void)parameter;
    char className[50];
    if (!GetClassNameA(window, className, sizeof(className)))
        return TRUE;
    if (lstrcmpA(className, "TAVLIX") != 0)
        return TRUE;
    RunningInstanceWindow = window;
    RunningInstanceFound = 1;
    return FALSE;
}

// Takes the key out of its global before closing it, so that no other
// thread can close the same handle or use it once it is closed.
static void CloseSharedKey(HKEY *slot)
{
    HKEY key = (HKEY)InterlockedExchangePointer((PVOID volatile *)slot, NULL);
    if (key)
        RegCloseKey(key);
}

static void ReleaseSharedState(void)
{
    FreeDiskList();
    CloseSharedKey(&MountedDevicesKey);
    CloseSharedKey(&DiskEnumKey);
    CloseSharedKey(&IconSettingsKey);
}

// What the trace says of this Windows version's rules.
static const char *VersionRules(void)
{
    if (IsWindows2000())
        return "2000: icons at start and when a card's volume arrives";
    if (IsWindowsXpFamily())
        return "XP: icons when the disk count grows, none at start";
    return "icons at start only";
}

// "<what>: pass 3 started", or why the pass and its event were dropped. The
// pass waits for RunPass, so its own lines come after this one.
static void TracePassStart(const char *what, const PassStart &pass)
{
    if (pass.failure == PassReady) {
        Trace("%s: pass %d started", what, pass.number);
        return;
    }
    // Only a thread that cannot be made has an error to tell.
    char error[ErrorTextSize + 2] = "";
    if (pass.failure == PassNoThread) {
        lstrcpyA(error, ": ");
        FormatErrorText(pass.error, error + 2, ErrorTextSize);
    }
    Trace("%s: dropped: %s%s", what, PassFailureText(pass.failure), error);
}

// The start line of the place chosen, and why.
static void TracePlace(const PlaceChoice &choice)
{
    if (choice.place == PlaceMachine) {
        Trace("start: icons for every user: keys under HKLM\\%s, markers in "
              "HKLM\\Software\\BrindIco",
              DrivesKeyPath);
        return;
    }
    const char *why = choice.reason == MachineDrivesDenied
                          ? "the machine's drive icon keys may not be made"
                          : "HKLM\\Software\\BrindIco may not be written";
    char error[ErrorTextSize];
    FormatErrorText((DWORD)choice.error, error, sizeof(error));
    Trace("start: icons for this user only: keys under HKCU\\%s, markers in "
          "HKCU\\Software\\BrindIco: %s: %s",
          DrivesKeyPath, why, error);
}

static const char *IconNamesText(IconNamesSource source)
{
    switch (source) {
    case NamesFromSettings:
        return "from Software\\BrindIco";
    case NamesIncomplete:
        break;
    case NamesUnreadable:
        return "the defaults (HKLM\\Software\\BrindIco cannot be read)";
    }
    return "the defaults (not all of values 0 to 4 of Software\\BrindIco are names of 1 to 18 characters)";
}

static LRESULT OnCreate(void)
{
    WindowsFolderResult folder = ReadWindowsFolder(WindowsDir, WindowsDirSize);
    if (folder.outcome != WindowsFolderRead) {
        char reason[WindowsFolderRefusalSize];
        FormatWindowsFolderRefusal(&folder, WindowsDirSize, reason);
        Trace("start: ends: %s", reason);
        return -1;
    }
    Trace("start: Windows %lu.%lu (%s), Windows folder %s", OsMajor, OsMinor, VersionRules(),
          WindowsDir);
    PlaceChoice place = ChooseIconPlace();
    TracePlace(place);
    if (place.markersError != ERROR_SUCCESS) {
        char error[ErrorTextSize];
        FormatErrorText((DWORD)place.markersError, error, sizeof(error));
        Trace("start: ends: HKCU\\Software\\BrindIco cannot be made: %s", error);
        return -1;
    }
    IconNamesSource names = LoadIconFileTableOrDefaults();
    Trace("start: icon files %s %s %s %s %s, %s", IconFileTable[SlotCF], IconFileTable[SlotSD],
          IconFileTable[SlotSM], IconFileTable[SlotMS], IconFileTable[SlotCombo],
          IconNamesText(names));
    MountedDevicesKey = OpenMountedDevicesKey();
    if (!MountedDevicesKey) {
        Trace("start: SYSTEM\\MountedDevices cannot be opened: ends");
        CloseSharedKey(&IconSettingsKey);
        return -1;
    }
    TakeAwayLeftIcons();
    LONG count = ReadDiskCount();
    InterlockedExchange(&DiskCount, count);
    char what[64];
    wsprintfA(what, "start-up: %ld disks listed", count);
    if (IsWindowsXpFamily()) {
        Trace("%s: no pass at start on XP", what);
        return 0;
    }
    PassStart pass = StartScanAllDisks(1);
    TracePassStart(what, pass);
    RunPass(&pass);
    return 0;
}

// Exit clean-up: see passgate.h for why nothing here waits for a pass, and
// why a second stop request does nothing.
static void CleanUp(const char *why)
{
    if (!BeginExit()) {
        Trace("%s: exit begun already, nothing more to do", why);
        return;
    }
    Trace("%s: exit begun: removing the kit's icon keys of D to Z", why);
    OnVolumeRemoval(DrivesDToZ);
    LeavePass();
    Trace("exit: clean-up done");
}

// A log-off or shutdown ends the program without WM_DESTROY. The XP family
// keeps its icon keys over a restart, for a reader that stays plugged in
// (a start there gives none); the next start takes away those of a reader
// that has gone meanwhile.
static void OnSessionEnd(void)
{
    if (IsWindowsXpFamily())
        Trace("session ends: icons kept, as XP keeps them over a restart");
    else
        CleanUp("session ends");
}

// The volume header of a broadcast, or null when it is none or too short to
// hold a unit mask.
static const DEV_BROADCAST_VOLUME *VolumeHeader(LPARAM lParam)
{
    const DEV_BROADCAST_HDR *header = (const DEV_BROADCAST_HDR *)lParam;
    if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME ||
        header->dbch_size < sizeof(DEV_BROADCAST_HDR) + sizeof(DWORD))
        return NULL;
    return (const DEV_BROADCAST_VOLUME *)header;
}

// A change of the medium only (a card taken out of its slot): the drive and
// its letter stay, and so does the slot's icon, as it has one while empty
// from start-up on. Headers too short to carry the flags count as a change
// of the drive itself.
static int IsMediumChange(const DEV_BROADCAST_VOLUME *volume)
{
    return volume->dbcv_size >= FIELD_OFFSET(DEV_BROADCAST_VOLUME, dbcv_flags) + sizeof(WORD) &&
           (volume->dbcv_flags & DBTF_MEDIA) != 0;
}

static void OnNodesChanged(void)
{
    LONG count = ReadDiskCount();
    LONG before = DiskCount;
    if (count == before) {
        Trace("broadcast: device tree changed: disk count unchanged (%ld)", count);
        return;
    }
    InterlockedExchange(&DiskCount, count);
    char what[80];
    wsprintfA(what, "broadcast: device tree changed, %ld disks (were %ld)", count, before);
    if (count < before || !IsWindowsXpFamily()) {
        Trace("%s: %s", what, count < before ? "nothing started" : "only XP scans on growth");
        return;
    }
    PassStart pass = StartScanAllDisks(0);
    TracePassStart(what, pass);
    RunPass(&pass);
}

// What a volume broadcast asks of this Windows version.
enum VolumeAnswer { ArrivalPass, RemovalPass, NoVolume, ArrivalNotHere, MediumChanged };

static VolumeAnswer AnswerVolume(WPARAM event, const DEV_BROADCAST_VOLUME *volume)
{
    if (!volume)
        return NoVolume;
    if (event == DBT_DEVICEARRIVAL)
        return IsWindows2000() ? ArrivalPass : ArrivalNotHere;
    return IsMediumChange(volume) ? MediumChanged : RemovalPass;
}

static const char *VolumeAnswerText(VolumeAnswer answer)
{
    switch (answer) {
    case ArrivalNotHere:
        return "arrivals start nothing here (not 2000)";
    case MediumChanged:
        return "a card taken out, the drive stays: icon kept";
    case ArrivalPass:
    case RemovalPass:
    case NoVolume:
        break;
    }
    return "nothing started";
}

static void OnVolumeBroadcast(WPARAM event, LPARAM lParam)
{
    const DEV_BROADCAST_VOLUME *volume = VolumeHeader(lParam);
    VolumeAnswer answer = AnswerVolume(event, volume);
    const char *kind = event == DBT_DEVICEARRIVAL ? "arrival" : "removal";
    char what[64];
    if (volume) {
        char letters[UnitMaskLettersSize];
        UnitMaskLetters(volume->dbcv_unitmask, letters);
        wsprintfA(what, "broadcast: %s of volume %s", kind, letters);
    } else {
        wsprintfA(what, "broadcast: %s of something that is no volume", kind);
    }
    if (answer != ArrivalPass && answer != RemovalPass) {
        Trace("%s: %s", what, VolumeAnswerText(answer));
        return;
    }
    PassStart pass = answer == ArrivalPass ? StartVolumeArrival(volume->dbcv_unitmask)
                                           : StartVolumeRemoval(volume->dbcv_unitmask);
    TracePassStart(what, pass);
    RunPass(&pass);
}

static void OnDeviceChange(WPARAM event, LPARAM lParam)
{
    // Once the exit has begun the keys and the disk list are on their way
    // out: nothing may read them, reopen them or start a pass.
    if (ExitBegun())
        TraceIdleBroadcast((DWORD)event, "exit begun: nothing started");
    else if (event == DBT_DEVNODES_CHANGED)
        OnNodesChanged();
    // Only these two carry a header; other events' lParam is no pointer.
    else if (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE)
        OnVolumeBroadcast(event, lParam);
    else
        TraceIdleBroadcast((DWORD)event, "nothing started");
}

int ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT *result)
{
    (void)window;
    switch (message) {
    case WM_CREATE:
        *result = OnCreate();
        return 1;
    case WM_DESTROY:
        CleanUp("stop");
        return 0; // the shell posts the quit message
    case WM_ENDSESSION:
        if (wParam)
            OnSessionEnd();
        *result = 0;
        return 1;
    case WM_DEVICECHANGE:
        OnDeviceChange(wParam, lParam);
        *result = 0;
        return 1;
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR argumentText,
                   int showCommand)
{
    (void)previous;
    StartTrace("tavlix", 1);
    if (argumentText && argumentText[0] == 'v') {
        MessageBoxA(NULL, "0.0.11.030306", "TAVLI Verion", MB_OK);
        return 0;
    }

    RunningInstanceFound = 0;
    EnumWindows(FindRunningInstance, 0);
    if (RunningInstanceFound) {
        Trace("another tavlix runs: stopping it");
        SendMessageA(RunningInstanceWindow, WM_DESTROY, 0, 0);
        StopTrace(TraceDrainMs);
        return 0;
    }

    for (int n = 0; n < DriveLetterCount; n++)
        DriveAssigned[n] = 0;
    DWORD version = GetVersion();
    OsMajor = version & 0xFF;
    OsMinor = (version >> 8) & 0xFF;
    if (OsMajor < 5) {
        Trace("Windows %lu.%lu is older than 2000: ends", OsMajor, OsMinor);
        StopTrace(TraceDrainMs);
        return 0;
    }

    if (!InitPassGate(ReleaseSharedState) || !InitDiskList() || !InitPasses()) {
        Trace("start: ends: no memory for the program's locks");
        StopTrace(TraceDrainMs);
        return 0;
    }
    int code = RunShell(instance, showCommand);
    StopTrace(TraceDrainMs);
    return code;
}
