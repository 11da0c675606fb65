// What a program decided, one line each, in plain words, for whoever reads
// the debug output: a debug-output viewer on the user's machine, or the
// tests' reader. Each line starts with the program's name. Nothing reads it
// back: the programs decide as they would without it.
//
// A viewer that stops reading holds each OutputDebugStringA for up to 10 s,
// and a running one makes the callers take turns. So the programs queue
// their lines for one writer thread, the only one that calls it, and never
// wait for it; at exit the queue gets at most TraceDrainMs.
#ifndef TRACE_H
#define TRACE_H

#include <windows.h>

// How long StopTrace gives the queue at exit.
enum { TraceDrainMs = 1000 };

// queued nonzero: lines go through the queue and its writer thread. Before
// StartTrace, or unqueued, each line is written at once. When the queue's
// lock, event or thread cannot be made, what was made is released, one line
// says why, and nothing more is traced.
void StartTrace(const char *program, int queued);
// One line, formatted as wvsprintfA formats it (at most 1024 bytes; a
// queued line is cut to 511 characters, so a line puts its decision and its
// reason before the long parts: hardware IDs, paths, error texts).
void Trace(const char *format, ...);
// Gives the queued lines up to ms by the clock to be written; called as the
// program ends.
void StopTrace(DWORD ms);
#endif
