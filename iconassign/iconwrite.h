// How the passes write and take away icons: no icon once the exit has
// begun, the shell told around a write that refreshes it, and what the
// trace says of each outcome.
#ifndef ICONWRITE_H
#define ICONWRITE_H

#include "driveicon.h"
#include "slottype.h"

// What became of an icon a pass was to write.
enum IconWrite { IconWritten, IconNotWritten, IconExitBegun };

// SetDriveIcon, unless the program is on its way out (see passgate.h).
IconWrite WriteDriveIcon(char letter, SlotType slot);
// The same, with the shell asked before what the drive shows, and told
// after that the image changed.
IconWrite AssignIconWithRefresh(char letter, SlotType slot);
// "<who>: drive F: given icon ..." or why not; source says what the slot
// kind was read from ("disk ...", "parent prefix ...").
void TraceIconWrite(const char *who, char letter, SlotType slot, IconWrite outcome,
                    const char *source);
// "icon key removed", ...: what the trace says of a removal; null when
// there was nothing to remove.
const char *IconRemovalText(IconRemoval removal);

#endif
