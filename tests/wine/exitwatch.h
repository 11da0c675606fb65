// The test side of the exit probe (exitprobe.h): load it into a running
// program, wait until it holds the program right after its exit clean-up,
// say what it should hand the window next, and read what it saw.
#ifndef EXITWATCH_H
#define EXITWATCH_H

#include "exitprobe.h"

// Loads the probe into the thread of window; the state it shares, cleared,
// or null when the probe could not be loaded.
ExitProbeState *WatchExit(HWND window);
// True once the window's first WM_DESTROY was handled and the probe holds
// its thread; false after ms.
bool WaitForExitHeld(DWORD ms);
// Lets the held thread go on: it first delivers what the state asks for.
void ReleaseExit(void);
// Removes the hook and releases what the watch holds.
void EndExitWatch(void);

#endif
