// The disk list and volume resolution: the disk service's list of instance
// paths, each disk's ParentIdPrefix and the mounted-devices table, read
// through the registry. The byte-level work lives in volumeprefix.cpp.
#include "disklist.h"
#include "sharedkey.h"
#include "slotclass.h"
#include "tavlixstate.h"
#include "volumeprefix.h"
#include "asciitext.h"
#include "lock.h"

HKEY MountedDevicesKey;
HKEY DiskEnumKey;
char *DiskList[DiskListSize];
volatile LONG DiskCount;
CRITICAL_SECTION DiskListLock;

static int DiskListLockReady;

static const char MountedDevicesPath[] = "SYSTEM\\MountedDevices";
static const char DiskEnumPath[] = "system\\CurrentControlSet\\Services\\disk\\Enum";

enum {
    FirstCandidateDrive = 3,    // D: A to C are never a card slot's drive
    LastDrive = 25,             // Z
    NoDrive = 255
};

// Called on the main thread before any worker starts.
int InitDiskList(void)
{
    if (!DiskListLockReady)
        DiskListLockReady = InitLock(&DiskListLock);
    return DiskListLockReady;
}

void FreeDiskList(void)
{
    EnterCriticalSection(&DiskListLock);
    for (int i = 0; i < DiskListSize; i++) {
        if (DiskList[i] != NULL)
            HeapFree(GetProcessHeap(), 0, DiskList[i]);
        DiskList[i] = NULL;
    }
    LeaveCriticalSection(&DiskListLock);
}

HKEY OpenMountedDevicesKey(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MountedDevicesPath, 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

// The buffer receives the value name first; on failure it keeps it.
DriveSkip GetVolumeParentPrefix(HKEY key, char letter, char *prefix)
{
    unsigned char data[MountedDataMaxSize];
    DWORD size = sizeof(data);
    FormatVolumeValueName(letter, prefix);
    LONG rc = RegQueryValueExA(key, prefix, NULL, NULL, data, &size);
    if (rc == ERROR_MORE_DATA)
        return SkipNoParentPrefix;
    if (rc != ERROR_SUCCESS)
        return SkipNoMountedEntry;
    return ExtractParentPrefix(data, size, prefix) ? DriveResolved : SkipNoParentPrefix;
}

// The "Count" value, cut to the list's 26 entries (a negative one counts
// as no disk), so that no load or search goes past the list.
LONG ReadDiskCount(void)
{
    HKEY key = DiskEnumKey;
    if (key == NULL) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DiskEnumPath, 0, KEY_QUERY_VALUE,
                          &key) != ERROR_SUCCESS)
            return 0;
        key = KeepSharedKey(&DiskEnumKey, key);
    }
    LONG count = 0;
    DWORD size = sizeof(count);
    if (RegQueryValueExA(key, "Count", NULL, NULL, (BYTE *)&count,
                         &size) != ERROR_SUCCESS)
        return 0;
    if (count < 0)
        return 0;
    if (count > DiskListSize)
        return DiskListSize;
    return count;
}

// Reads value index of the disk service into entry index, allocating the
// entry's block on first use. Called with DiskListLock held.
static int LoadDiskListEntry(HKEY key, int index)
{
    char name[DiskValueNameSize];
    char path[DiskPathSize];
    DWORD size = sizeof(path);
    FormatDiskValueName(index, name);
    if (RegQueryValueExA(key, name, NULL, NULL, (BYTE *)path,
                         &size) != ERROR_SUCCESS)
        return 0;
    // A value of 260 bytes without NUL is cut to 259 characters; no such
    // path fits a device key name, so the searches pass it over.
    TerminateRegistryText(path, sizeof(path), size);
    if (DiskList[index] == NULL) {
        DiskList[index] = (char *)HeapAlloc(GetProcessHeap(), 0, DiskPathSize);
        if (DiskList[index] == NULL)
            return 0;
    }
    TextCopy(DiskList[index], DiskPathSize, path);
    return 1;
}

// Rewrites entries 0 to n-1 when fill is set; never frees, clears or
// shortens the list. 0 when a value cannot be read or a block allocated,
// with the entries before it already rewritten.
LONG LoadDiskList(int fill)
{
    LONG count = ReadDiskCount();
    if (!fill || count <= 0)
        return count;
    HKEY key = DiskEnumKey;
    LONG result = count;
    EnterCriticalSection(&DiskListLock);
    for (LONG i = 0; i < count; i++) {
        if (!LoadDiskListEntry(key, (int)i)) {
            result = 0;
            break;
        }
    }
    LeaveCriticalSection(&DiskListLock);
    return result;
}

// The disk's ParentIdPrefix data (not trusted to carry its NUL) and its
// size. 0 when the device key cannot be named, opened or read: a path too
// long for the key name is passed over like a disk without a key.
static int ReadParentIdPrefix(const char *path, char *data, DWORD *size)
{
    char keyName[DeviceKeyNameSize];
    if (!FormatDeviceKeyName(path, keyName, sizeof(keyName)))
        return 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return 0;
    *size = ParentIdPrefixLimit;
    LONG result = RegQueryValueExA(key, "ParentIdPrefix", NULL, NULL,
                                   (BYTE *)data, size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

static int DiskHasParentPrefix(const char *path, const char *prefix)
{
    char idPrefix[ParentIdPrefixLimit];
    DWORD size;
    return ReadParentIdPrefix(path, idPrefix, &size)
        && ParentPrefixEquals(prefix, idPrefix, size);
}

// The first listed disk with the volume's prefix decides; DiskCount is read
// afresh at every step, so a change during the walk takes effect at once.
DriveSkip MatchVolumeToDisk(const char *prefix, SlotType *slot)
{
    DriveSkip result = SkipNoDiskWithPrefix;
    *slot = SlotNone;
    EnterCriticalSection(&DiskListLock);
    for (int i = 0; i < DiskListSize && i < DiskCount && DiskList[i] != NULL; i++) {
        if (!DiskHasParentPrefix(DiskList[i], prefix))
            continue;
        *slot = ClassifySlot(DiskList[i]);
        result = *slot != SlotNone ? DriveResolved : SkipNotCardSlot;
        break;
    }
    LeaveCriticalSection(&DiskListLock);
    return result;
}

int CopyDiskListEntry(int index, char *path)
{
    int copied = 0;
    path[0] = '\0';
    if (index < 0 || index >= DiskListSize)
        return 0;
    EnterCriticalSection(&DiskListLock);
    if (DiskList[index] != NULL)
        copied = TextCopy(path, DiskPathSize, DiskList[index]);
    LeaveCriticalSection(&DiskListLock);
    return copied;
}

// The letter from D to Z whose volume carries the disk's prefix, or -1.
static int FindVolumeOfDisk(const char *idPrefix, DWORD idPrefixSize)
{
    for (int d = FirstCandidateDrive; d <= LastDrive; d++) {
        char prefix[VolumeValueNameSize];
        if (GetVolumeParentPrefix(MountedDevicesKey, (char)('A' + d), prefix) == DriveResolved
            && ParentPrefixEquals(prefix, idPrefix, idPrefixSize))
            return d;
    }
    return -1;
}

// The first letter from D to Z that is not in the mask, or -1.
static int FindFreeDrive(DWORD driveMask)
{
    for (int d = FirstCandidateDrive; d <= LastDrive; d++) {
        if (!(driveMask & (1u << d)))
            return d;
    }
    return -1;
}

// The drive a card-slot disk has (its volume's letter) or will get (the
// first free letter). The path is the caller's own copy.
DriveSkip FindDriveForDisk(const char *path, DWORD driveMask, SlotType *slot,
                           unsigned char *drive)
{
    *drive = NoDrive;
    *slot = ClassifySlot(path);
    if (*slot == SlotNone)
        return SkipNotCardSlot;
    char idPrefix[ParentIdPrefixLimit];
    DWORD idPrefixSize;
    if (!ReadParentIdPrefix(path, idPrefix, &idPrefixSize))
        return SkipDiskWithoutPrefix;
    int d = FindVolumeOfDisk(idPrefix, idPrefixSize);
    if (d < 0)
        d = FindFreeDrive(driveMask);
    if (d < 0)
        return SkipNoDriveLetter;
    *drive = (unsigned char)d;
    return DriveResolved;
}

DriveSkip ResolveNextDisk(int index, DWORD driveMask, DWORD *taken, DiskDrive *disk)
{
    disk->slot = SlotNone;
    disk->drive = NoDrive;
    if (!CopyDiskListEntry(index, disk->path))
        return SkipEndOfList;
    DriveSkip skip = FindDriveForDisk(disk->path, driveMask | *taken, &disk->slot, &disk->drive);
    if (skip == DriveResolved)
        *taken |= 1u << disk->drive;
    return skip;
}

int ResolveCardSlotLetters(DWORD driveMask, DWORD *letters)
{
    *letters = 0;
    LONG count = ReadDiskCount();
    if (count > 0 && LoadDiskList(1) != count)
        return 0;
    for (int i = 0; i < count; i++) {
        DiskDrive disk;
        ResolveNextDisk(i, driveMask, letters, &disk);
    }
    return 1;
}
