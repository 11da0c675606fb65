// Per-drive icon keys: "Applications\Explorer.exe\Drives\X\DefaultIcon" names
// the icon file Explorer shows for drive X; under HKEY_CLASSES_ROOT for every
// user, or under the user's own Software\Classes (iconplace.h).
#ifndef DRIVEICON_H
#define DRIVEICON_H

#include "slottype.h"

// Writes the drive's icon key (volatile on 5.0 and on 6 and later, kept
// across restarts on 5.1 and later 5.x) and sets its marker. Nonzero when
// the icon value was written.
int SetDriveIcon(char letter, SlotType slot);
// Deletes the drive's DefaultIcon key, whoever wrote it, and its marker.
int RemoveDriveIcon(char letter);

#endif
