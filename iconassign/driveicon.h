// Per-drive icon keys: "Applications\Explorer.exe\Drives\X\DefaultIcon" names
// the icon file Explorer shows for drive X; in the machine's classes for
// every user, or in the user's own (iconplace.h). A marker value per letter
// in the settings key of the same place says which of those keys the kit
// gave: only those are ever taken away.
#ifndef DRIVEICON_H
#define DRIVEICON_H

#include <windows.h>
#include "slottype.h"

// Writes the drive's icon key (volatile on 5.0 and on 6 and later, kept
// across restarts on 5.1 and later 5.x) and sets its marker. Nonzero when
// both were written; a key it made whose marker cannot be set goes again.
int SetDriveIcon(char letter, SlotType slot);

// What a removal found, and did.
enum IconRemoval {
    IconRemoved,        // the kit's key and its marker
    MarkerRemoved,      // the kit's marker; its key was gone already
    IconNotTheKits,     // a key without the kit's marker: left as it is
    NoIconKey,          // neither key nor marker
    IconNotRemovable    // the kit's key cannot be deleted: key and marker stay
};
// Removes the drive's icon key in the place chosen, when its marker says
// the kit gave it.
IconRemoval RemoveDriveIcon(char letter);
// The same below root's Drives key, with the markers of settings.
IconRemoval RemoveMarkedIcon(HKEY root, HKEY settings, char letter);

#endif
