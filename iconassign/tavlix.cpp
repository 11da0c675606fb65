// tavlix: gives each card-slot drive letter the icon of its card kind and
// follows device arrival and removal. Launched again, it stops the running
// copy instead of starting.
#include "shell.h"
#include <dbt.h>
#include "disklist.h"
#include "iconsettings.h"
#include "passes.h"
#include "passgate.h"
#include "tavlixstate.h"

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

static LRESULT OnCreate(void)
{
    UINT length = GetWindowsDirectoryA(WindowsDir, WindowsDirSize);
    if (length == 0 || length >= WindowsDirSize)
        return -1;
    LoadIconFileTableOrDefaults();
    MountedDevicesKey = OpenMountedDevicesKey();
    if (!MountedDevicesKey) {
        CloseSharedKey(&IconSettingsKey);
        return -1;
    }
    InterlockedExchange(&DiskCount, ReadDiskCount());
    if (!IsWindowsXpFamily())
        StartScanAllDisks(1);
    return 0;
}

// Exit clean-up: see passgate.h for why nothing here waits for a pass, and
// why a second stop request does nothing.
static void OnDestroy(void)
{
    if (!BeginExit())
        return;
    OnVolumeRemoval(DrivesDToZ);
    LeavePass();
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
    if (DiskCount < count) {
        InterlockedExchange(&DiskCount, count);
        if (IsWindowsXpFamily())
            StartScanAllDisks(0);
    } else if (DiskCount > count) {
        InterlockedExchange(&DiskCount, count);
    }
}

static void OnDeviceChange(WPARAM event, LPARAM lParam)
{
    const DEV_BROADCAST_VOLUME *volume;
    // Once the exit has begun the keys and the disk list are on their way
    // out: nothing may read them, reopen them or start a pass.
    if (ExitBegun())
        return;
    switch (event) {
    case DBT_DEVNODES_CHANGED:
        OnNodesChanged();
        break;
    case DBT_DEVICEARRIVAL:
        volume = VolumeHeader(lParam);
        if (volume && OsMajor == 5 && OsMinor == 0)
            StartVolumeArrival(volume->dbcv_unitmask);
        break;
    case DBT_DEVICEREMOVECOMPLETE:
        volume = VolumeHeader(lParam);
        if (volume && !IsMediumChange(volume))
            StartVolumeRemoval(volume->dbcv_unitmask);
        break;
    }
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
        OnDestroy();
        return 0; // the shell posts the quit message
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
    if (argumentText && argumentText[0] == 'v') {
        MessageBoxA(NULL, "0.0.11.030306", "TAVLI Verion", MB_OK);
        return 0;
    }

    RunningInstanceFound = 0;
    EnumWindows(FindRunningInstance, 0);
    if (RunningInstanceFound) {
        SendMessageA(RunningInstanceWindow, WM_DESTROY, 0, 0);
        return 0;
    }

    for (int n = 0; n < DriveLetterCount; n++)
        DriveAssigned[n] = 0;
    DWORD version = GetVersion();
    OsMajor = version & 0xFF;
    OsMinor = (version >> 8) & 0xFF;
    if (OsMajor < 5)
        return 0;

    InitPassGate(ReleaseSharedState);
    InitDiskList();
    return RunShell(instance, showCommand);
}
