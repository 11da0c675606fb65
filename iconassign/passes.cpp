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
#include "lock.h"
#include "volumeprefix.h"

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

// What became of an icon a pass was to write.
enum IconWrite { IconWritten, IconNotWritten, IconExitBegun };

// SetDriveIcon, unless the program is on its way out (see passgate.h).
static IconWrite WriteDriveIcon(char letter, SlotType slot)
{
    if (!BeginIconWrite())
        return IconExitBegun;
    int written = SetDriveIcon(letter, slot);
    EndIconWrite();
    return written ? IconWritten : IconNotWritten;
}

static IconWrite AssignIconWithRefresh(char letter, SlotType slot)
{
    char root[4] = {letter, ':', '\\', '\0'};
    char location[MAX_PATH];
    location[0] = '\0';
    int iconIndex = QueryDriveIconLocation(root, location, MAX_PATH);

    SHFILEINFOA info;
    ZeroMemory(&info, sizeof(info));
    SHGetFileInfoA(root, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICONLOCATION);

    IconWrite outcome = WriteDriveIcon(letter, slot);
    InvalidateMyComputer();
    UpdateShellImage(location, iconIndex, info.iIcon);
    return outcome;
}

// source: what the slot kind was read from ("disk ...", "parent prefix ...").
static void TraceIconWrite(const char *who, char letter, SlotType slot, IconWrite outcome,
                           const char *source)
{
    switch (outcome) {
    case IconWritten:
        Trace("%s: drive %c: given icon %s%s (%s slot, %s)", who, letter, WindowsDir,
              IconFileTable[slot], SlotKindName(slot), source);
        break;
    case IconNotWritten:
        Trace("%s: drive %c: its icon key cannot be written", who, letter);
        break;
    case IconExitBegun:
        Trace("%s: drive %c: no icon written: exit begun", who, letter);
        break;
    }
}

// The drive's parent prefix and disk, or why it has no icon to get.
static DriveSkip ResolveArrivedDrive(int n, char *prefix, SlotType *slot)
{
    if (DriveAssigned[n])
        return SkipAlreadyHasIcon;
    DriveSkip skip = GetVolumeParentPrefix(MountedDevicesKey, (char)('A' + n), prefix);
    if (skip != DriveResolved)
        return skip;
    LoadDiskList(1);
    return MatchVolumeToDisk(prefix, slot);
}

static void TraceArrivalSkip(const char *who, char letter, DriveSkip skip, const char *prefix)
{
    if (skip == SkipNoDiskWithPrefix)
        Trace("%s: drive %c: skipped: no listed disk has parent prefix %s", who, letter, prefix);
    else if (skip == SkipNotCardSlot)
        Trace("%s: drive %c: skipped: the disk with parent prefix %s is not a card slot", who,
              letter, prefix);
    else
        Trace("%s: drive %c: skipped: %s", who, letter, DriveSkipText(skip));
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
        char prefix[VolumeValueNameSize];
        SlotType slot = SlotNone;
        DriveSkip skip = ResolveArrivedDrive(n, prefix, &slot);
        if (skip != DriveResolved) {
            TraceArrivalSkip(who, letter, skip, prefix);
            continue;
        }
        InterlockedExchange(&DriveAssigned[n], 1);
        IconWrite outcome = AssignIconWithRefresh(letter, slot);
        char source[VolumeValueNameSize + 16];
        wsprintfA(source, "parent prefix %s", prefix);
        TraceIconWrite(who, letter, slot, outcome, source);
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
    DWORD taken = 0;
    // DiskCount is read anew at each index: a removal that sets it to 0
    // ends the scan.
    for (int i = 0; i < DiskCount && i < DiskListSize; i++) {
        DiskDrive disk;
        DriveSkip skip = ResolveNextDisk(i, driveMask, &taken, &disk);
        if (skip == SkipEndOfList)
            return;
        if (skip != DriveResolved) {
            Trace("%s: disk %s: skipped: %s", who, disk.path, DriveSkipText(skip));
            continue;
        }
        char letter = (char)('A' + disk.drive);
        if (DriveAssigned[disk.drive]) {
            Trace("%s: drive %c: skipped: %s", who, letter, DriveSkipText(SkipAlreadyHasIcon));
            continue;
        }
        InterlockedExchange(&DriveAssigned[disk.drive], 1);
        IconWrite outcome = refresh ? AssignIconWithRefresh(letter, disk.slot)
                                    : WriteDriveIcon(letter, disk.slot);
        char source[DiskPathSize + 8];
        wsprintfA(source, "disk %s", disk.path);
        TraceIconWrite(who, letter, disk.slot, outcome, source);
    }
}

// What the trace says of a removal; null where there was nothing to remove.
const char *IconRemovalText(IconRemoval removal)
{
    switch (removal) {
    case IconRemoved:
        return "icon key removed";
    case MarkerRemoved:
        return "marker removed, its icon key was gone";
    case IconNotTheKits:
        return "icon key kept: not the kit's (no marker)";
    case IconNotRemovable:
        return "its icon key cannot be removed: kept with its marker";
    case NoIconKey:
        break;
    }
    return NULL;
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
        const char *done = IconRemovalText(RemoveDriveIcon((char)('A' + n)));
        if (done)
            Trace("%s: drive %c: %s", who, 'A' + n, done);
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
    LONG stillRunning = --PassesRunning;
    Trace("pass %d ended (%ld still running)", request.number, stillRunning);
    LeaveCriticalSection(&CountLock);
    return 0;
}

// The request lives on the heap until the thread has read it: the window
// procedure that starts a pass does not wait for it.
static PassStart StartPass(void (*run)(DWORD, int), DWORD argument)
{
    PassStart start = {0, PassNoMemory, 0, NULL};
    PassRequest *request =
        (PassRequest *)HeapAlloc(GetProcessHeap(), 0, sizeof(PassRequest));
    if (!request)
        return start;
    request->run = run;
    request->argument = argument;
    request->number = LastPassNumber + 1;
    EnterCriticalSection(&CountLock);
    PassesRunning++;
    LeaveCriticalSection(&CountLock);
    DWORD threadId;
    start.thread = CreateThread(NULL, 0, PassThread, request, CREATE_SUSPENDED, &threadId);
    if (!start.thread) {
        start.failure = PassNoThread;
        start.error = GetLastError();
        EnterCriticalSection(&CountLock);
        PassesRunning--;
        LeaveCriticalSection(&CountLock);
        HeapFree(GetProcessHeap(), 0, request);
        return start;
    }
    start.number = ++LastPassNumber;
    start.failure = PassReady;
    return start;
}

PassStart StartScanAllDisks(int refresh)
{
    return StartPass(ScanAllDisksPass, (DWORD)refresh);
}

PassStart StartVolumeArrival(DWORD unitMask)
{
    return StartPass(OnVolumeArrival, unitMask);
}

PassStart StartVolumeRemoval(DWORD unitMask)
{
    return StartPass(OnVolumeRemoval, unitMask);
}

void RunPass(PassStart *start)
{
    if (!start->thread)
        return;
    ResumeThread(start->thread);
    CloseHandle(start->thread);
    start->thread = NULL;
}

const char *PassFailureText(PassFailure failure)
{
    switch (failure) {
    case PassReady:
        break;
    case PassNoMemory:
        return "no memory for its request";
    case PassNoThread:
        return "no thread";
    }
    return "started";
}

int InitPasses(void)
{
    return InitLock(&CountLock);
}

void TraceIdleBroadcast(DWORD event, const char *why)
{
    EnterCriticalSection(&CountLock);
    Trace("broadcast 0x%04lx: %s (%ld passes running)", event, why, PassesRunning);
    LeaveCriticalSection(&CountLock);
}
