// The worker passes of the drive icon assigner. Each device event that
// needs one starts it on a detached thread with one integer argument and a
// number the window thread gives it, which its trace lines carry.
#ifndef PASSES_H
#define PASSES_H

#include <windows.h>
#include "slottype.h"

// pass: the pass's number; 0 for the exit clean-up's removal, which runs
// on the window thread.
void ScanAllDisks(int refresh, int pass);
void OnVolumeArrival(DWORD unitMask, int pass);
void OnVolumeRemoval(DWORD unitMask, int pass);

// Start the pass on a detached thread: its number, or 0 when no thread
// could be started (the event is then dropped).
int StartScanAllDisks(int refresh);
int StartVolumeArrival(DWORD unitMask);
int StartVolumeRemoval(DWORD unitMask);
// Called once before the first pass starts.
void InitPasses(void);
// The line of a broadcast that starts nothing, with the number of passes
// still running. That number and the "still running" of each pass's end
// line are taken and traced under one lock, so the lines come in the order
// of the count: once one says 0, every pass started before has ended.
void TraceIdleBroadcast(DWORD event, const char *why);

#endif
