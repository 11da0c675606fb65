// The disk list and volume resolution: which disk of the disk service a
// drive letter's volume lives on, and which drive letter a disk has or gets.
#ifndef DISKLIST_H
#define DISKLIST_H

#include <windows.h>
#include "driveskip.h"
#include "slottype.h"

enum { DiskListSize = 26, DiskPathSize = 260, ParentIdPrefixLimit = 20 };

// What a resolution looked at, for the trace: why it passed a drive or a
// disk over, or the parent prefix and the disk that gave the slot kind.
struct DriveFinding {
    DriveSkip skip;
    char prefix[ParentIdPrefixLimit + 1];
    char disk[DiskPathSize];
};

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
// InitDiskList before any worker starts.
extern CRITICAL_SECTION DiskListLock;
void InitDiskList(void);
// Releases every block and empties every entry (exit clean-up).
void FreeDiskList(void);

HKEY OpenMountedDevicesKey(void);
// prefix holds at least 15 bytes. skip, when given, says why it failed.
int GetVolumeParentPrefix(HKEY key, char letter, char *prefix, DriveSkip *skip = NULL);
LONG ReadDiskCount(void);
LONG LoadDiskList(int fill);
// finding, when given, receives the disk and why nothing was found.
int MatchVolumeToDisk(const char *prefix, SlotType *slot, DriveFinding *finding = NULL);
// Copies entry index into path (DiskPathSize bytes) under DiskListLock.
// Returns 0 when the entry is null or index is out of range.
int CopyDiskListEntry(int index, char *path);
int FindDriveForDisk(const char *path, DWORD driveMask, SlotType *slot,
                     unsigned char *drive, DriveFinding *finding = NULL);

#endif
