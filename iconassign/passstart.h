// Starting the drive icon assigner's passes: each device event that needs
// one starts it on a detached thread with one integer argument and a
// number, which its trace lines carry. Nothing waits for a pass.
#ifndef PASSSTART_H
#define PASSSTART_H

#include <windows.h>

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
PassStart StartPass(void (*run)(DWORD argument), DWORD argument);
// Lets a started pass run and lets go of its thread; nothing for one that
// could not be started.
void RunPass(PassStart *start);
// "no memory for its request", "no thread".
const char *PassFailureText(PassFailure failure);
// How the trace names who acts on this thread: "pass 3" on a pass's
// thread, "exit" on the window thread (the exit clean-up). label holds
// PassLabelSize bytes.
enum { PassLabelSize = 16 };
void PassLabel(char *label);

// Called once before the first pass starts; zero when its lock or its
// thread slot cannot be made.
int InitPasses(void);
// The line of a broadcast that starts nothing, with the number of passes
// still running. That number and the "still running" of each pass's end
// line are taken and traced under one lock, so the lines come in the order
// of the count: once one says 0, every pass started before has ended.
void TraceIdleBroadcast(DWORD event, const char *why);

#endif
