// The worker passes of the drive icon assigner. Each device event that
// needs one starts it on a detached thread with one integer argument and a
// number the window thread gives it, which its trace lines carry.
#ifndef PASSES_H
#define PASSES_H

#include <windows.h>
#include "driveicon.h"
#include "slottype.h"

// pass: the pass's number; 0 for the exit clean-up's removal, which runs
// on the window thread.
void ScanAllDisks(int refresh, int pass);
void OnVolumeArrival(DWORD unitMask, int pass);
void OnVolumeRemoval(DWORD unitMask, int pass);

// "icon key removed", ...: what the trace says of a removal; null when
// there was nothing to remove.
const char *IconRemovalText(IconRemoval removal);

// Why a pass could not be started: its event is then dropped.
enum PassFailure { PassReady, PassNoMemory, PassNoThread };

// A pass whose thread exists but waits until RunPass lets it go: the window
// thread reports the start first, so that the pass's own lines follow its
// start line.
struct PassStart {
    int number;          // 0 when it could not be started
    PassFailure failure;
    DWORD error;         // why the thread could not be made
    HANDLE thread;
};
PassStart StartScanAllDisks(int refresh);
PassStart StartVolumeArrival(DWORD unitMask);
PassStart StartVolumeRemoval(DWORD unitMask);
// Lets a started pass run and lets go of its thread; nothing for one that
// could not be started.
void RunPass(PassStart *start);
// "no memory for its request", "no thread".
const char *PassFailureText(PassFailure failure);

// Called once before the first pass starts; zero when its lock cannot be
// made.
int InitPasses(void);
// The line of a broadcast that starts nothing, with the number of passes
// still running. That number and the "still running" of each pass's end
// line are taken and traced under one lock, so the lines come in the order
// of the count: once one says 0, every pass started before has ended.
void TraceIdleBroadcast(DWORD event, const char *why);

#endif
