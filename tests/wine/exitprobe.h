// Watching a resident program's exit from inside it. A window hook loads
// exitprobe.dll into the thread of the program's main window; when the
// window's first WM_DESTROY has been handled (the exit clean-up is done but
// the message loop has not ended yet), the probe holds the thread until the
// test lets it go on, then hands the window what the test asked for: more
// broadcasts, a second stop. It counts the threads the program starts from
// then on. Test-only; never shipped.
#ifndef EXITPROBE_H
#define EXITPROBE_H

#include <windows.h>
#include <dbt.h>

// Shared between the test and the probe through a named file mapping.
struct ExitProbeState {
    // The watched window: the messages of other windows of its thread (the
    // input method's, destroyed with the last window) are not counted.
    ULONG64 window;
    // What the probe hands the window once the test lets it go on.
    LONG deliverNodeChange;   // DBT_DEVNODES_CHANGED
    DWORD arrivalMask;        // volume arrival of these letters, when not 0
    DWORD removalMask;        // volume removal of these letters, when not 0
    LONG deliverSecondStop;   // another WM_DESTROY, as a second launch sends
    // What the probe saw.
    LONG destroysHandled;     // WM_DESTROY messages the window returned from
    LONG threadsAfterExit;    // threads started after the first one
};

#define ExitProbeMappingName "KitExitProbeState"
#define ExitProbeHeldEvent "KitExitProbeHeld"
#define ExitProbeGoEvent "KitExitProbeGo"

#endif
