#include "driveskip.h"

const char *DriveSkipText(DriveSkip skip)
{
    switch (skip) {
    case DriveResolved:
        return "resolved";
    case SkipAlreadyHasIcon:
        return "already has its icon";
    case SkipNoMountedEntry:
        return "no mounted-device entry";
    case SkipNoParentPrefix:
        return "its mounted-device entry is too short or too long for a parent prefix";
    case SkipNoDiskWithPrefix:
        return "no listed disk has its parent prefix";
    case SkipNotCardSlot:
        return "not a card slot";
    case SkipDiskWithoutPrefix:
        return "the disk has no ParentIdPrefix";
    case SkipNoDriveLetter:
        return "no drive letter from D to Z for it";
    case SkipEndOfList:   // ends a walk, never traced
        break;
    }
    return "?";
}
