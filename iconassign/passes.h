// The passes of the drive icon assigner: the scan of every listed disk,
// and the arrival and removal of volumes. Each runs on a thread of its own
// (passstart.h), but the exit clean-up calls OnVolumeRemoval on the window
// thread.
#ifndef PASSES_H
#define PASSES_H

#include <windows.h>
#include "passstart.h"

void ScanAllDisks(int refresh);
void OnVolumeArrival(DWORD unitMask);
void OnVolumeRemoval(DWORD unitMask);

// Each pass started on a thread of its own, to be let go with RunPass.
PassStart StartScanAllDisks(int refresh);
PassStart StartVolumeArrival(DWORD unitMask);
PassStart StartVolumeRemoval(DWORD unitMask);

#endif
