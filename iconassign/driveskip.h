// Why a pass gave a drive or a disk no icon, as the trace says it. Pure: no
// Windows header.
#ifndef DRIVESKIP_H
#define DRIVESKIP_H

#include "slottype.h"

enum DriveSkip {
    DriveResolved,
    SkipAlreadyHasIcon,    // this run gave it its icon already
    SkipNoMountedEntry,    // the mounted-devices table has no entry for it
    SkipNoParentPrefix,    // its entry is too short or too long to hold a prefix
    SkipNoDiskWithPrefix,  // no listed disk has its parent prefix
    SkipNotCardSlot,       // the disk's instance path names no card slot
    SkipDiskWithoutPrefix, // the disk has no readable ParentIdPrefix
    SkipNoDriveLetter,     // no letter from D to Z has it or is free for it
    SkipEndOfList          // the disk list has no entry there
};

// The reason in words, for "skipped: <text>".
const char *DriveSkipText(DriveSkip skip);

#endif
