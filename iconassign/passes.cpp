#include <windows.h>
#include <shellapi.h>
#include "passes.h"
#include "passgate.h"
#include "disklist.h"
#include "driveicon.h"
#include "iconsettings.h"
#include "shellrefresh.h"
#include "tavlixstate.h"
#include "trace.h"

enum { LastDriveBit = 25, PassLabelSize = 16 };

// Passes started by the window thread and not ended yet, and the lock
// that keeps the count and its trace lines in one order.
static LONG PassesRunning;
static CRITICAL_SECTION CountLock;
static int LastPassNumber;

// How the trace names who acts: "pass 3", or "exit" for the exit clean-up.
static void PassLabel(int pass, char *label)
{
    wsprintfA(label, pass ? "pass %d" : "exit", pass);
}

// SetDriveIcon, unless the program is on its way out (see passgate.h).
static void WriteDriveIcon(const char *who, char letter, SlotType slot,
                           const DriveFinding *finding)
{
    if (!BeginIconWrite()) {
        Trace("%s: drive %c: no icon written: exit begun", who, letter);
        return;
    }
    int written = SetDriveIcon(letter, slot);
    EndIconWrite();
    if (written)
        Trace("%s: drive %c: given icon %s%s (%s slot, disk %s, parent prefix %s)", who, letter,
              WindowsDir, IconFileTable[slot], SlotKindName(slot), finding->disk,
              finding->prefix);
    else
        Trace("%s: drive %c: its icon key cannot be written", who, letter);
}

static void AssignIconWithRefresh(const char *who, char letter, SlotType slot,
                                  const DriveFinding *finding)
{
    char root[4] = {letter, ':', '\\', '\0'};
    char location[MAX_PATH];
    location[0] = '\0';
    int iconIndex = QueryDriveIconLocation(root, location, MAX_PATH);

    SHFILEINFOA info;
    ZeroMemory(&info, sizeof(info));
    SHGetFileInfoA(root, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICONLOCATION);

    WriteDriveIcon(who, letter, slot, finding);
    InvalidateMyComputer();
    UpdateShellImage(location, iconIndex, info.iIcon);
}

static void TraceArrivalSkip(const char *who, char letter, const DriveFinding *finding)
{
    if (finding->skip == SkipNotCardSlot)
        Trace("%s: drive %c: skipped: disk %s is not a card slot", who, letter, finding->disk);
    else if (finding->skip == SkipNoDiskWithPrefix)
        Trace("%s: drive %c: skipped: no listed disk has parent prefix %s", who, letter,
              finding->prefix);
    else
        Trace("%s: drive %c: skipped: %s", who, letter, DriveSkipText(finding->skip));
}

void OnVolumeArrival(DWORD unitMask, int pass)
{
    char who[PassLabelSize];
    PassLabel(pass, who);
    if (!MountedDevicesKey || unitMask == 0)
        return;
    for (int n = 0; n <= LastDriveBit && (unitMask >> n) != 0; n++) {
        if (!(unitMask & (1u << n)))
            continue;
        char letter = (char)('A' + n);
        DriveFinding finding;
        finding.skip = SkipAlreadyHasIcon;
        finding.disk[0] = '\0';
        SlotType slot;
        if (DriveAssigned[n] ||
            !GetVolumeParentPrefix(MountedDevicesKey, letter, finding.prefix, &finding.skip)) {
            TraceArrivalSkip(who, letter, &finding);
            continue;
        }
        LoadDiskList(1);
        if (!MatchVolumeToDisk(finding.prefix, &slot, &finding)) {
            TraceArrivalSkip(who, letter, &finding);
            continue;
        }
        InterlockedExchange(&DriveAssigned[n], 1);
        AssignIconWithRefresh(who, letter, slot, &finding);
    }
}

void ScanAllDisks(int refresh, int pass)
{
    char who[PassLabelSize];
    PassLabel(pass, who);
    LONG listed = MountedDevicesKey ? LoadDiskList(1) : 0;
    if (!listed) {
        Trace("%s: no disk listed, or the disk list cannot be read", who);
        return;
    }
    DWORD driveMask = GetLogicalDrives();
    // DiskCount is read anew at each index: a removal that sets it to 0
    // ends the scan.
    for (int i = 0; i < DiskCount && i < DiskListSize; i++) {
        char path[DiskPathSize];
        if (!CopyDiskListEntry(i, path))
            return;
        SlotType slot;
        unsigned char drive;
        DriveFinding finding;
        finding.prefix[0] = '\0';
        if (!FindDriveForDisk(path, driveMask, &slot, &drive, &finding) || slot == SlotNone ||
            drive > LastDriveBit) {
            Trace("%s: disk %s: skipped: %s", who, path, DriveSkipText(finding.skip));
            continue;
        }
        char letter = (char)('A' + drive);
        if (DriveAssigned[drive]) {
            Trace("%s: drive %c: skipped: %s", who, letter, DriveSkipText(SkipAlreadyHasIcon));
            continue;
        }
        InterlockedExchange(&DriveAssigned[drive], 1);
        if (refresh)
            AssignIconWithRefresh(who, letter, slot, &finding);
        else
            WriteDriveIcon(who, letter, slot, &finding);
    }
}

void OnVolumeRemoval(DWORD unitMask, int pass)
{
    char who[PassLabelSize];
    PassLabel(pass, who);
    InterlockedExchange(&DiskCount, 0);
    for (int n = 0; n <= LastDriveBit && (unitMask >> n) != 0; n++) {
        if (!(unitMask & (1u << n)))
            continue;
        InterlockedExchange(&DriveAssigned[n], 0);
        if (RemoveDriveIcon((char)('A' + n)))
            Trace("%s: drive %c: icon key removed", who, 'A' + n);
    }
}

// What a pass thread runs: one pass with its one integer argument.
struct PassRequest {
    void (*run)(DWORD argument, int pass);
    DWORD argument;
    int number;
};

static void ScanAllDisksPass(DWORD refresh, int pass)
{
    ScanAllDisks((int)refresh, pass);
}

static DWORD WINAPI PassThread(LPVOID parameter)
{
    PassRequest request = *(PassRequest *)parameter;
    HeapFree(GetProcessHeap(), 0, parameter);
    if (EnterPass()) {
        request.run(request.argument, request.number);
        LeavePass();
    } else {
        Trace("pass %d: not run: exit begun", request.number);
    }
    EnterCriticalSection(&CountLock);
    Trace("pass %d ended (%ld still running)", request.number, --PassesRunning);
    LeaveCriticalSection(&CountLock);
    return 0;
}

// The request lives on the heap until the thread has read it: the window
// procedure that starts a pass does not wait for it.
static int StartPass(void (*run)(DWORD, int), DWORD argument)
{
    PassRequest *request =
        (PassRequest *)HeapAlloc(GetProcessHeap(), 0, sizeof(PassRequest));
    if (!request)
        return 0;
    int number = ++LastPassNumber;
    request->run = run;
    request->argument = argument;
    request->number = number;
    EnterCriticalSection(&CountLock);
    PassesRunning++;
    LeaveCriticalSection(&CountLock);
    DWORD threadId;
    HANDLE thread = CreateThread(NULL, 0, PassThread, request, 0, &threadId);
    if (thread) {
        CloseHandle(thread);
        return number;
    }
    EnterCriticalSection(&CountLock);
    PassesRunning--;
    LeaveCriticalSection(&CountLock);
    HeapFree(GetProcessHeap(), 0, request);
    return 0;
}

int StartScanAllDisks(int refresh)
{
    return StartPass(ScanAllDisksPass, (DWORD)refresh);
}

int StartVolumeArrival(DWORD unitMask)
{
    return StartPass(OnVolumeArrival, unitMask);
}

int StartVolumeRemoval(DWORD unitMask)
{
    return StartPass(OnVolumeRemoval, unitMask);
}

void InitPasses(void)
{
    InitializeCriticalSection(&CountLock);
}

void TraceIdleBroadcast(DWORD event, const char *why)
{
    EnterCriticalSection(&CountLock);
    Trace("broadcast 0x%04lx: %s (%ld passes running)", event, why, PassesRunning);
    LeaveCriticalSection(&CountLock);
}
