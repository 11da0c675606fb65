// The passes of the drive icon assigner, each run on a thread of its own
// (passstart.h): the scan of every listed disk, the arrival of volumes and
// their removal.
#include <windows.h>
#include "passes.h"
#include "passgate.h"
#include "passstart.h"
#include "disklist.h"
#include "driveresolve.h"
#include "iconwrite.h"
#include "tavlixglobals.h"
#include "trace.h"
#include "volumeprefix.h"

enum { LastDriveBit = 25 };

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

void OnVolumeArrival(DWORD unitMask)
{
    char who[PassLabelSize];
    PassLabel(who);
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

void ScanAllDisks(int refresh)
{
    char who[PassLabelSize];
    PassLabel(who);
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

void OnVolumeRemoval(DWORD unitMask)
{
    char who[PassLabelSize];
    PassLabel(who);
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

static void ScanAllDisksPass(DWORD refresh)
{
    ScanAllDisks((int)refresh);
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
