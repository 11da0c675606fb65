// What a morvex started with more rights asks the one already running in
// its session before it takes over from it. No Windows header: the tests
// speak it too.
#ifndef TAKEOVER_H
#define TAKEOVER_H

// Sent to the running copy's main window (WM_APP + 82) by a copy that may
// install drivers. The running copy answers with one of RightsAnswer, and
// when its answer is RightsMayNotInstall it ends, as File > Exit ends it.
enum { TakeoverMessage = 0x8000 + 82 };

enum RightsAnswer {
    RightsUnknown = 0,       // busy with a scan now, or a morvex that knows no such question
    RightsMayNotInstall = 1, // it may not install drivers: it ends, the new copy takes over
    RightsMayInstall = 2     // it may install drivers (RightsMayNotInstall + 1)
};

// How long the new copy waits for the answer, and then for the running
// copy's process to end (its trace says 15 s).
enum { RightsQueryMs = 5000, TakeoverWaitMs = 15000 };

#endif
