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
// What GetLastError's code means, for a line: "5 (Access is denied.)", or
// the number alone when the system has no text for it (in hexadecimal above
// 0xFFFF, as the Setup API's codes are written). ErrorTextSize bytes
// hold any of them whole.
enum { ErrorTextSize = 288 };
void FormatErrorText(DWORD error, char *text, unsigned size);
// The same for GetLastError's code now, into ErrorTextSize bytes: only
// right after the call that failed.
void FormatLastError(char *text);

#endif
