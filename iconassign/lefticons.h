// Icons that earlier runs left behind, taken away at start before any pass.
// A run that was ended without its clean-up (a log-off on XP, a killed
// program, a power loss) leaves its icons; when the reader is gone, a USB
// stick, disk or network drive that later gets one of those letters would
// show a card icon.
#ifndef LEFTICONS_H
#define LEFTICONS_H

// Takes away the kit's icons, in the place chosen, of the letters that no
// card slot of the reader has now (as the passes resolve them). In the
// machine's place it also takes away this user's own icons, left from a
// run as a limited user: they would hide the machine's icons for this user.
// Traces what it took away and why. Needs MountedDevicesKey and the
// settings key open.
void TakeAwayLeftIcons(void);

#endif
