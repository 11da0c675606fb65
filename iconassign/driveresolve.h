// Volume resolution: which listed disk a drive letter's volume lives on,
// and which drive letter a card-slot disk has or will get.
#ifndef DRIVERESOLVE_H
#define DRIVERESOLVE_H

#include <windows.h>
#include "disklist.h"
#include "driveskip.h"
#include "slottype.h"

// The mounted-devices table, opened at start and kept.
extern HKEY MountedDevicesKey;

// The resolutions below answer DriveResolved when they found what they
// look for, otherwise why not.
HKEY OpenMountedDevicesKey(void);
// prefix holds at least 15 bytes: the drive's parent prefix when resolved.
DriveSkip GetVolumeParentPrefix(HKEY key, char letter, char *prefix);
// The first listed disk with the volume's parent prefix, if a card slot of
// a kind with an icon (CF to combo): its kind in slot (SlotNone otherwise).
DriveSkip MatchVolumeToDisk(const char *prefix, SlotType *slot);
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
