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
// The kind of a card-slot disk and the index of the drive letter it has or
// will get (255 in either when none).
DriveSkip FindDriveForDisk(const char *path, DWORD driveMask, SlotType *slot,
                           unsigned char *drive);

#endif
