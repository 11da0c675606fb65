// The disk list and volume resolution, called directly against a registry
// seeded with the simulated reader: the disk count, loading the list,
// matching a volume to its disk, finding a disk's drive letter, and the
// lock around the list. How the bytes the queries return are read is the
// native tests'; what a query does with data longer than it takes is
// shown end to end (test_hostile_tavlix).
#include "harness.h"
#include "reader.h"
#include "driveresolve.h"
#include "tavlixglobals.h"
#include "volumeprefix.h"
#include <string.h>

static const char *const SD = ReaderParentPrefixes[ReaderSlotSD];

// Each case starts as the program does: no key open, an empty list, no
// drive assigned, nothing seeded.
static void ResetDiskState(void)
{
    FreeDiskList();
    if (MountedDevicesKey)
        RegCloseKey(MountedDevicesKey);
    if (DiskEnumKey)
        RegCloseKey(DiskEnumKey);
    MountedDevicesKey = NULL;
    DiskEnumKey = NULL;
    DiskCount = 0;
    for (int d = 0; d < DriveLetterCount; d++)
        DriveAssigned[d] = 0;
    ClearSimulatedDisks();
}

static std::string Entry(int i)
{
    return DiskList[i] ? std::string(DiskList[i]) : std::string("(null)");
}

// Lists count disks, named by index, each with a path of the same length.
static void ListNumberedDisks(int count, const char *tag)
{
    for (int i = 0; i < count; i++)
        PutDiskValue(i, (std::string("USBSTOR\\DISK&VEN_ZELMOT&PROD_") + tag + "\\" +
                         std::to_string(100 + i)).c_str());
    SetDiskCount((DWORD)count);
}

static std::string NumberedDisk(int i, const char *tag)
{
    return std::string("USBSTOR\\DISK&VEN_ZELMOT&PROD_") + tag + "\\" + std::to_string(100 + i);
}

struct Match {
    int found;
    DriveSkip skip;
    SlotType slot;
};

static Match MatchPrefix(const char *prefix)
{
    Match m;
    m.slot = 77;
    m.skip = MatchVolumeToDisk(prefix, &m.slot);
    m.found = m.skip == DriveResolved;
    return m;
}

struct Drive {
    int found;
    DriveSkip skip;
    SlotType slot;
    unsigned char drive;
};

static Drive FindDrive(const char *path, DWORD mask)
{
    Drive d;
    d.slot = 77;
    d.drive = 77;
    d.skip = FindDriveForDisk(path, mask, &d.slot, &d.drive);
    d.found = d.skip == DriveResolved;
    return d;
}

// The Count value, cut to the list's 26 entries, a negative one counting
// as no disk; the key, opened at the first read that finds it, is kept.
static void test_disk_count(void)
{
    ok(ReadDiskCount() == 0 && DiskEnumKey == NULL,
       "no disk service key: not 0, or the key not left empty for a later try");
    SetDiskCount(4);
    ok(ReadDiskCount() == 4 && DiskEnumKey != NULL, "Count 4, the key opened");
    HKEY opened = DiskEnumKey;
    const struct {
        DWORD count;
        LONG read;
    } counts[] = {{26, 26}, {27, 26}, {1000, 26}, {0x7FFFFFFF, 26}, {0xFFFFFFFF, 0},
                  {0x80000000, 0}};
    for (const auto &c : counts) {
        SetDiskCount(c.count);
        LONG read = ReadDiskCount();
        ok(read == c.read, "Count %#lx reads as %ld, want %ld", c.count, read, c.read);
    }
    ok(DiskEnumKey == opened, "the kept key is not reused");
    RegRemoveValue(HKEY_LOCAL_MACHINE, DiskServiceKeyName, "Count");
    ok(ReadDiskCount() == 0, "no Count value: not 0");
}

// A drive's volume gives its parent prefix; without an entry the buffer
// holds the value name that was looked for.
static void test_volume_prefix(void)
{
    MountedDevicesKey = OpenMountedDevicesKey();
    ok(MountedDevicesKey != NULL, "mounted devices key not opened");
    char prefix[VolumeValueNameSize + 1];
    InsertCard(ReaderSlotSD, 'F');
    ok(GetVolumeParentPrefix(MountedDevicesKey, 'F', prefix) == DriveResolved &&
           strcmp(prefix, SD) == 0,
       "F: prefix %s", prefix);
    ok(GetVolumeParentPrefix(MountedDevicesKey, 'G', prefix) == SkipNoMountedEntry &&
           strcmp(prefix, "\\DosDevices\\G:") == 0,
       "no G: entry, the buffer holds %s", prefix);
}

static void test_load_list(void)
{
    AddNonCardDisk(SystemDiskPath, NULL);
    ok(PlugInReader(), "reader plugged in");
    ok(LoadDiskList(1) == 5, "five disks listed");
    ok(Entry(0) == SystemDiskPath, "entry 0: %s", Entry(0).c_str());
    for (int slot = 0; slot < ReaderSlotCount; slot++)
        ok(Entry(1 + slot) == ReaderDiskPaths[slot], "entry %d: %s", 1 + slot,
           Entry(1 + slot).c_str());
    ok(DiskList[5] == NULL, "entry 5 stays empty");
    ok(DiskCount == 0, "loading leaves DiskCount alone");

    char *blocks[5];
    memcpy(blocks, DiskList, sizeof(blocks));
    PutDiskValue(1, FlashDiskPath);
    ok(LoadDiskList(0) == 5 && Entry(1) == ReaderDiskPaths[0],
       "without fill: the count, entries untouched: %s", Entry(1).c_str());
    ok(LoadDiskList(1) == 5 && Entry(1) == FlashDiskPath, "refilled: %s", Entry(1).c_str());
    ok(memcmp(blocks, DiskList, sizeof(blocks)) == 0, "blocks are reused");

    ListNumberedDisks(12, "TWELVE");
    ok(LoadDiskList(1) == 12, "Count 12");
    ok(Entry(1) == NumberedDisk(1, "TWELVE") && Entry(10) == NumberedDisk(10, "TWELVE") &&
           Entry(11) == NumberedDisk(11, "TWELVE"),
       "values 10 and 11 read: %s, %s", Entry(10).c_str(), Entry(11).c_str());

    // Count above 26: cut to the list's 26 entries; value "26" is never read.
    ListNumberedDisks(26, "MANY");
    SetDiskCount(27);
    ok(LoadDiskList(1) == 26, "Count 27 loads 26 disks");
    ok(Entry(25) == NumberedDisk(25, "MANY"), "entry 25: %s", Entry(25).c_str());
    SetDiskCount(1000);
    ok(LoadDiskList(1) == 26, "Count 1000 loads 26 disks");
}

static void test_partial_reload(void)
{
    const char *sdPath = ReaderDiskPaths[ReaderSlotSD];
    ListNumberedDisks(5, "OLD");
    PutDiskValue(4, sdPath);
    AddDiskDevice(sdPath, SD);
    ok(LoadDiskList(1) == 5, "five disks");
    ListNumberedDisks(2, "NEW");
    ok(LoadDiskList(1) == 2, "count falls to 2");
    ok(Entry(0) == NumberedDisk(0, "NEW") && Entry(1) == NumberedDisk(1, "NEW"),
       "entries 0 and 1 rewritten");
    ok(Entry(2) == NumberedDisk(2, "OLD") && Entry(3) == NumberedDisk(3, "OLD") &&
           Entry(4) == sdPath,
       "entries 2 to 4 kept");

    // An entry past the new count is still searched while DiskCount covers it.
    DiskCount = 5;
    Match m = MatchPrefix(SD);
    ok(m.found == 1 && m.slot == SlotSD, "entry 4 found with DiskCount 5: %d", m.slot);
    DiskCount = 4;
    m = MatchPrefix(SD);
    ok(m.found == 0 && m.slot == SlotNone, "not with DiskCount 4");

    // A failed read of value 3 with Count 6: entries 0 to 2 refreshed.
    ListNumberedDisks(6, "A");
    ok(LoadDiskList(1) == 6, "six disks");
    ListNumberedDisks(6, "B");
    DeleteDiskValue(3);
    ok(LoadDiskList(1) == 0, "value 3 missing: 0");
    for (int i = 0; i < 6; i++)
        ok(Entry(i) == NumberedDisk(i, i < 3 ? "B" : "A"), "entry %d: %s", i, Entry(i).c_str());
}

static void test_match_bounds(void)
{
    ok(PlugInReader(), "reader plugged in");
    ok(LoadDiskList(1) == 4, "four disks");
    Match m = MatchPrefix(SD);
    ok(m.found == 0 && m.slot == SlotNone, "DiskCount 0: nothing found");
    DiskCount = 4;
    m = MatchPrefix(SD);
    ok(m.found == 1 && m.slot == SlotSD, "DiskCount 4: SD found");
    for (int slot = 0; slot < ReaderSlotCount; slot++) {
        m = MatchPrefix(ReaderParentPrefixes[slot]);
        ok(m.found == 1 && m.slot == slot, "slot %d found as %d", slot, m.slot);
    }

    // Only entry 0 ever filled, DiskCount 3: entries 1 and 2 are null.
    FreeDiskList();
    SetDiskCount(1);
    ok(LoadDiskList(1) == 1, "one disk");
    DiskCount = 3;
    m = MatchPrefix(ReaderParentPrefixes[ReaderSlotCF]);
    ok(m.found == 1 && m.slot == SlotCF, "entry 0 found");
    m = MatchPrefix(SD);
    ok(m.found == 0 && m.slot == SlotNone, "the walk stops at the first null entry");

    // Every entry filled and DiskCount far above 26: the walk ends at 26.
    ListNumberedDisks(26, "FULL");
    ok(LoadDiskList(1) == 26, "26 disks");
    DiskCount = 1000;
    m = MatchPrefix(SD);
    ok(m.skip == SkipNoDiskWithPrefix && m.slot == SlotNone, "no match in 26 entries");
}

static void test_first_disk_wins(void)
{
    AddNonCardDisk(FlashDiskPath, SD);
    AddNonCardDisk(ReaderDiskPaths[ReaderSlotSD], SD);
    LoadDiskList(1);
    DiskCount = 2;
    Match m = MatchPrefix(SD);
    ok(m.skip == SkipNotCardSlot && m.slot == SlotNone, "the first disk is no card slot: %d",
       m.slot);

    PutDiskValue(0, ReaderDiskPaths[ReaderSlotMS]);
    AddDiskDevice(ReaderDiskPaths[ReaderSlotMS], SD);
    LoadDiskList(1);
    m = MatchPrefix(SD);
    ok(m.found == 1 && m.slot == SlotMS, "the first card slot wins over the second: %d", m.slot);
}

static void test_find_drive(void)
{
    MountedDevicesKey = OpenMountedDevicesKey();
    ok(PlugInReader(), "reader plugged in");
    const char *sdPath = ReaderDiskPaths[ReaderSlotSD];
    const char *cfPath = ReaderDiskPaths[ReaderSlotCF];

    // The volume's own letter, whatever the mask and the flags say.
    InsertCard(ReaderSlotSD, 'H');
    InsertCard(ReaderSlotMS, 'E');
    DriveAssigned['H' - 'A'] = 1;
    Drive d = FindDrive(sdPath, 0xFFFFFFFF);
    ok(d.found == 1 && d.slot == SlotSD && d.drive == 7, "SD on H: %d %d %d", d.found, d.slot,
       d.drive);

    // No volume: the first letter from D on that the mask leaves free, even
    // one this run gave an icon: the scan puts the letters it took in the
    // mask, so that the disk gets the same letter at every scan.
    DriveAssigned['F' - 'A'] = 1;
    const DWORD maskACDE = 0x1D;
    d = FindDrive(cfPath, maskACDE);
    ok(d.found == 1 && d.slot == SlotCF && d.drive == 5, "mask A,C,D,E, F assigned: drive %d",
       d.drive);
    d = FindDrive(cfPath, 0);
    ok(d.found == 1 && d.drive == 3, "A to C are never chosen: drive %d", d.drive);

    // A volume on B is not the disk's letter either.
    RemoveCard('H');
    InsertCard(ReaderSlotSD, 'B');
    d = FindDrive(sdPath, 0x3F);
    ok(d.found == 1 && d.drive == 6, "SD on B: drive %d chosen instead", d.drive);

    const DWORD lettersDtoZ = 0x03FFFFF8;
    d = FindDrive(cfPath, lettersDtoZ);
    ok(d.skip == SkipNoDriveLetter && d.slot == SlotCF && d.drive == 255, "D to Z taken: %d %d %d", d.found,
       d.slot, d.drive);
    d = FindDrive(cfPath, lettersDtoZ & ~(1u << 25));
    ok(d.found == 1 && d.drive == 25, "Z free: %d %d", d.found, d.drive);

    // No card slot: nothing, even with a volume of its own.
    AddDiskDevice(FlashDiskPath, "7&99999999&0");
    PutMountedDevice('K', RemovableVolumeData("7&99999999&0"));
    d = FindDrive(FlashDiskPath, 0);
    ok(d.skip == SkipNotCardSlot && d.slot == SlotNone && d.drive == 255, "flash disk: %d %d %d", d.found,
       d.slot, d.drive);

    // A card slot without a readable ParentIdPrefix, or without a key.
    AddDiskDevice(MultiCardSdDiskPath, NULL);
    d = FindDrive(MultiCardSdDiskPath, 0);
    ok(d.skip == SkipDiskWithoutPrefix && d.slot == SlotSD && d.drive == 255, "no ParentIdPrefix: %d %d %d",
       d.found, d.slot, d.drive);
    d = FindDrive(VexlunorCfDiskPath, 0);
    ok(d.found == 0 && d.slot == SlotCF && d.drive == 255, "no device key: %d %d %d", d.found,
       d.slot, d.drive);
}

static void test_copy_entry(void)
{
    char path[DiskPathSize];
    ok(PlugInReader(), "reader plugged in");
    LoadDiskList(1);
    ok(CopyDiskListEntry(2, path) && strcmp(path, ReaderDiskPaths[2]) == 0, "entry 2: %s", path);
    ok(!CopyDiskListEntry(4, path) && path[0] == '\0', "null entry");
    ok(!CopyDiskListEntry(-1, path) && !CopyDiskListEntry(DiskListSize, path),
       "outside the list");
}

// While another thread holds DiskListLock, no entry is rewritten, read or
// freed.
static DWORD WINAPI LoadThread(LPVOID)
{
    return (DWORD)LoadDiskList(1);
}

static DWORD WINAPI MatchThread(LPVOID)
{
    SlotType slot;
    return (DWORD)(MatchVolumeToDisk(SD, &slot) == DriveResolved);
}

static DWORD WINAPI CopyThread(LPVOID)
{
    char path[DiskPathSize];
    return (DWORD)CopyDiskListEntry(0, path);
}

static DWORD WINAPI FreeThread(LPVOID)
{
    FreeDiskList();
    return 1;
}

// Holds the lock while the thread runs into it: the thread must wait on it
// (the lock counts a waiter) rather than end, and finish once it is free.
static void CheckWaitsForLock_(At at, LPTHREAD_START_ROUTINE routine, DWORD expected)
{
    EnterCriticalSection(&DiskListLock);
    HANDLE thread = CreateThread(NULL, 0, routine, NULL, 0, NULL);
    // The owner's entry counts 0; each thread that waits adds one.
    DWORD start = GetTickCount();
    bool ended = false;
    while (DiskListLock.LockCount < 1 && !ended && GetTickCount() - start < 30000) {
        ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        Sleep(1);
    }
    bool waited = DiskListLock.LockCount >= 1 && !ended;
    LeaveCriticalSection(&DiskListLock);
    bool late = WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0;
    DWORD result = 0;
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
    ok_at(at, waited && late && result == expected, "waited %d, ended %d, result %lu", waited,
          late, result);
}
#define CheckWaitsForLock(routine, expected) CheckWaitsForLock_(HERE, routine, expected)

static void test_list_lock(void)
{
    ok(PlugInReader(), "reader plugged in");
    LoadDiskList(1);
    DiskCount = 4;
    PutDiskValue(0, FlashDiskPath);
    CheckWaitsForLock(LoadThread, 4);
    ok(Entry(0) == FlashDiskPath, "the load did not run after the lock was released");
    CheckWaitsForLock(MatchThread, 1);
    CheckWaitsForLock(CopyThread, 1);
    CheckWaitsForLock(FreeThread, 1);
    ok(DiskList[0] == NULL, "the list was not freed after the lock was released");
}

#define RUN_CASE(fn) do { ResetDiskState(); RUN_TEST(fn); } while (0)

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    InitDiskList();
    RUN_CASE(test_disk_count);
    RUN_CASE(test_volume_prefix);
    RUN_CASE(test_load_list);
    RUN_CASE(test_partial_reload);
    RUN_CASE(test_match_bounds);
    RUN_CASE(test_first_disk_wins);
    RUN_CASE(test_find_drive);
    RUN_CASE(test_copy_entry);
    RUN_CASE(test_list_lock);
    ResetDiskState();
    return FinishTests();
}
