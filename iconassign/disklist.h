// The disk list and volume resolution: which disk of the disk service a
// drive letter's volume lives on, and which drive letter a disk has or gets.
#ifndef DISKLIST_H
#define DISKLIST_H

#include <windows.h>
#include "driveskip.h"
#include "slottype.h"

enum { DiskListSize = 26, DiskPathSize = 260, ParentIdPrefixLimit = 20 };

extern HKEY MountedDevicesKey;
extern HKEY DiskEnumKey;
// Entry i: null, or a DiskPathSize-byte heap block with the instance path
// of the disk service's value i. Blocks are allocated once and reused.
extern char *DiskList[DiskListSize];
// How many entries the searches consider; written by the program's event
// handling only.
extern volatile LONG DiskCount;

// Held by LoadDiskList while it rewrites entries and by each search while
// it reads them, so no reader sees an entry half rewritten. Set up by
// InitDiskList before any worker starts: zero when it could not be.
extern CRITICAL_SECTION DiskListLock;
int InitDiskList(void);
// Releases every block and empties every entry (exit clean-up).
void FreeDiskList(void);

// The resolutions below answer DriveResolved when they found what they
// look for, otherwise why not.
HKEY OpenMountedDevicesKey(void);
// prefix holds at least 15 bytes: the drive's parent prefix when resolved.
DriveSkip GetVolumeParentPrefix(HKEY key, char letter, char *prefix);
LONG ReadDiskCount(void);
LONG LoadDiskList(int fill);
// The first listed disk with the volume's parent prefix, if a card slot:
// its kind in slot (SlotNone otherwise).
DriveSkip MatchVolumeToDisk(const char *prefix, SlotType *slot);
// Copies entry index into path (DiskPathSize bytes) under DiskListLock.
// Returns 0 when the entry is null or index is out of range.
int CopyDiskListEntry(int index, char *path);
// The kind of a card-slot disk and the index of the drive letter it has (its
// volume's) or will get (the first letter from D that the mask does not
// hold); 255 in either when none.
DriveSkip FindDriveForDisk(const char *path, DWORD driveMask, SlotType *slot,
                           unsigned char *drive);

// A listed disk as a scan resolves it.
struct DiskDrive {
    char path[DiskPathSize];
    SlotType slot;
    unsigned char drive;
};
// Resolves entry index of the list as a scan walks it: the letters earlier
// disks of the walk took (taken, which it adds the disk's letter to) are not
// free for this one. So a disk without a volume gets the same letter at
// every scan, whichever letters this run has given icons.
DriveSkip ResolveNextDisk(int index, DWORD driveMask, DWORD *taken, DiskDrive *disk);
// The letters the passes give card icons to now, as a unit mask: each
// listed card-slot disk's volume letter, or the letter a disk without a
// volume entry is to get, taken one after the other as a scan takes them.
// Zero when the disk list cannot be read (letters is then 0).
int ResolveCardSlotLetters(DWORD driveMask, DWORD *letters);

#endif
