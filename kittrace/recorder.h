// The recorder: becomes the reader of the session's debug output, as debug
// viewers do (the DBWIN_BUFFER section and its two events), and writes the
// kit's lines to a file. One thread takes each line at once and hands it on;
// another writes the file, so that a slow file never holds up a program
// that traces.
#ifndef RECORDER_H
#define RECORDER_H

#include <windows.h>

// Why the debug output could not be claimed.
enum ClaimResult {
    ClaimDone,
    ClaimOtherReader, // another viewer reads it: left as it was
    ClaimLockedReader, // another account's viewer, or a raised one, has it
                       // for itself: it cannot even be opened
    ClaimFailed,      // the section could not be made (the error is kept)
};

// Makes the section, which tells whether another reader has it. Nothing
// waits for this process yet: writers only wait once the events exist.
ClaimResult ClaimDebugOutput(void);
// Gives the section up again before recording (the file cannot be written).
void ReleaseDebugOutput(void);

// Starts the threads that read the debug output and write the kit's lines
// to file, whose first line is already written. Zero when a part could not
// be made: what was made is released, the last made first, the section
// too, and GetLastError says why.
int StartRecording(HANDLE file);
// Stops reading; every line taken until then is written before it returns.
// The file stays open for the caller to close.
void StopRecording(void);

// While recording: the lines of the kit taken so far, and the lines of
// other programs left out.
unsigned long RecordedLines(void);
unsigned long LeftOutLines(void);
// The first error of writing the file (0: none); final once stopped.
DWORD RecordWriteError(void);

#endif
