// The worker passes of the drive icon assigner. Each device event that
// needs one starts it on a detached thread with one integer argument.
#ifndef PASSES_H
#define PASSES_H

#include <windows.h>
#include "slottype.h"

void ScanAllDisks(int refresh);
void OnVolumeArrival(DWORD unitMask);
void OnVolumeRemoval(DWORD unitMask);
void AssignIconWithRefresh(char letter, SlotType slot);

// Start the pass on a detached thread; a thread that cannot be started
// drops the event.
void StartScanAllDisks(int refresh);
void StartVolumeArrival(DWORD unitMask);
void StartVolumeRemoval(DWORD unitMask);

#endif
