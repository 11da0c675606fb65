// Keeps the worker passes and the exit clean-up out of each other's way.
//
// Passes run on detached threads and are never waited for, so the window
// procedure answers every broadcast at once. Instead:
// - each pass enters the gate when it starts and leaves it when it ends;
//   once the exit has begun, a pass that starts does nothing;
// - the exit clean-up counts as a pass too: whoever leaves last (the
//   clean-up or a late pass) frees the disk list and closes the keys, so no
//   pass uses a block or key after it was released;
// - a pass writes an icon only inside BeginIconWrite/EndIconWrite, which
//   the exit shuts for good before it removes the icons of D to Z, so no icon
//   is written after that removal. Holding the gate then covers one registry
//   write only, which never waits for the main thread: no deadlock.
// - the exit begins once: a second stop request (two launches stopping the
//   copy at once) finds it begun and does nothing, so the clean-up, and the
//   release of the shared state, each run exactly once. Between the exit and
//   the end of the message loop the window still receives broadcasts; they
//   must leave the shared state alone (ExitBegun).
#ifndef PASSGATE_H
#define PASSGATE_H

// release frees the disk list and closes the shared keys; the gate calls
// it once, when the last of the exit clean-up and the passes leaves. Zero
// when the gate's lock cannot be made.
int InitPassGate(void (*release)(void));
// Nonzero when the pass may run; then LeavePass must follow.
int EnterPass(void);
void LeavePass(void);
// Called by the exit clean-up on the main thread before it removes icons.
// Nonzero the first time: the clean-up then runs and calls LeavePass when
// done. Zero when the exit had begun already: nothing more to do.
int BeginExit(void);
// Nonzero once the exit has begun. Main thread only, where the exit begins.
int ExitBegun(void);
// Nonzero when an icon may be written; then EndIconWrite must follow.
int BeginIconWrite(void);
void EndIconWrite(void);

#endif
