#include <windows.h>
#include <shellapi.h>
#include "passes.h"
#include "passgate.h"
#include "disklist.h"
#include "driveicon.h"
#include "shellrefresh.h"
#include "tavlixstate.h"
#include "volumeprefix.h"

enum { LastDriveBit = 25 };

// SetDriveIcon, unless the program is on its way out (see passgate.h).
static void WriteDriveIcon(char letter, SlotType slot)
{
    if (!BeginIconWrite())
        return;
    SetDriveIcon(letter, slot);
    EndIconWrite();
}

void AssignIconWithRefresh(char letter, SlotType slot)
{
    char root[4] = {letter, ':', '\\', '\0'};
    char location[MAX_PATH];
    location[0] = '\0';
    int iconIndex = QueryDriveIconLocation(root, location, MAX_PATH);

    SHFILEINFOA info;
    ZeroMemory(&info, sizeof(info));
    SHGetFileInfoA(root, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICONLOCATION);

    WriteDriveIcon(letter, slot);
    InvalidateMyComputer();
    UpdateShellImage(location, iconIndex, info.iIcon);
}

void OnVolumeArrival(DWORD unitMask)
{
    if (!MountedDevicesKey || unitMask == 0)
        return;
    for (int n = 0; n <= LastDriveBit && (unitMask >> n) != 0; n++) {
        if (!(unitMask & (1u << n)) || DriveAssigned[n])
            continue;
        char letter = (char)('A' + n);
        char prefix[VolumeValueNameSize];
        if (!GetVolumeParentPrefix(MountedDevicesKey, letter, prefix))
            continue;
        LoadDiskList(1);
        SlotType slot;
        if (!MatchVolumeToDisk(prefix, &slot))
            continue;
        InterlockedExchange(&DriveAssigned[n], 1);
        AssignIconWithRefresh(letter, slot);
    }
}

void ScanAllDisks(int refresh)
{
    if (!MountedDevicesKey || !LoadDiskList(1))
        return;
    DWORD driveMask = GetLogicalDrives();
    // DiskCount is read anew at each index: a removal that sets it to 0
    // ends the scan.
    for (int i = 0; i < DiskCount && i < DiskListSize; i++) {
        char path[DiskPathSize];
        if (!CopyDiskListEntry(i, path))
            return;
        SlotType slot;
        unsigned char drive;
        if (!FindDriveForDisk(path, driveMask, &slot, &drive) || slot == SlotNone ||
            drive > LastDriveBit)
            continue;
        if (DriveAssigned[drive])
            continue;
        InterlockedExchange(&DriveAssigned[drive], 1);
        char letter = (char)('A' + drive);
        if (refresh)
            AssignIconWithRefresh(letter, slot);
        else
            WriteDriveIcon(letter, slot);
    }
}

void OnVolumeRemoval(DWORD unitMask)
{
    InterlockedExchange(&DiskCount, 0);
    for (int n = 0; n <= LastDriveBit && (unitMask >> n) != 0; n++) {
        if (!(unitMask & (1u << n)))
            continue;
        InterlockedExchange(&DriveAssigned[n], 0);
        RemoveDriveIcon((char)('A' + n));
    }
}

// What a pass thread runs: one pass with its one integer argument.
struct PassRequest {
    void (*run)(DWORD argument);
    DWORD argument;
};

static void ScanAllDisksPass(DWORD refresh)
{
    ScanAllDisks((int)refresh);
}

static DWORD WINAPI PassThread(LPVOID parameter)
{
    PassRequest request = *(PassRequest *)parameter;
    HeapFree(GetProcessHeap(), 0, parameter);
    if (EnterPass()) {
        request.run(request.argument);
        LeavePass();
    }
    return 0;
}

// The request lives on the heap until the thread has read it: the window
// procedure that starts a pass does not wait for it.
static void StartPass(void (*run)(DWORD), DWORD argument)
{
    PassRequest *request =
        (PassRequest *)HeapAlloc(GetProcessHeap(), 0, sizeof(PassRequest));
    if (!request)
        return;
    request->run = run;
    request->argument = argument;
    DWORD threadId;
    HANDLE thread = CreateThread(NULL, 0, PassThread, request, 0, &threadId);
    if (thread)
        CloseHandle(thread);
    else
        HeapFree(GetProcessHeap(), 0, request);
}

void StartScanAllDisks(int refresh)
{
    StartPass(ScanAllDisksPass, (DWORD)refresh);
}

void StartVolumeArrival(DWORD unitMask)
{
    StartPass(OnVolumeArrival, unitMask);
}

void StartVolumeRemoval(DWORD unitMask)
{
    StartPass(OnVolumeRemoval, unitMask);
}
