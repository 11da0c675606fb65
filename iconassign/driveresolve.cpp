// Volume resolution: which listed disk a drive letter's volume lives on,
// and which drive letter a card-slot disk has or gets, from the mounted-
// devices table and each disk's ParentIdPrefix. The byte-level work lives
// in volumeprefix.cpp.
#include "driveresolve.h"
#include "disklist.h"
#include "slotclass.h"
#include "disknames.h"
#include "volumeprefix.h"

HKEY MountedDevicesKey;

static const char MountedDevicesPath[] = "SYSTEM\\MountedDevices";

enum {
    FirstCandidateDrive = 3,    // D: A to C are never a card slot's drive
    LastDrive = 25,             // Z
    NoDrive = 255
};

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
        SlotType kind = ClassifySlot(DiskList[i]);
        result = IsIconSlot(kind) ? DriveResolved : SkipNotCardSlot;
        if (result == DriveResolved)
            *slot = kind;
        break;
    }
    LeaveCriticalSection(&DiskListLock);
    return result;
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
    if (!IsIconSlot(*slot)) {
        *slot = SlotNone;
        return SkipNotCardSlot;
    }
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
