// The kit's trace as the tests read it: a reader of the debug output in the
// test program, speaking the protocol debug-output viewers use (DBWIN), so
// that it sees every program of the prefix, also those that the setup or
// the Run key started, which a debugger loop could not. Each line is kept
// with the id of the process that wrote it.
#ifndef TRACEREADER_H
#define TRACEREADER_H

#include <windows.h>
#include <string>
#include <vector>

struct TraceLine {
    DWORD pid;
    std::string text; // without the line end
};

// Started by StartTests (a test that wants a stuck reader starts it first).
// With stuckAfter above 0 the reader takes that many lines and then stops
// reading, as a stuck viewer does. False when another reader has the
// prefix's debug output already.
bool StartTraceReader(int stuckAfter = 0);
// Ends the reading: the programs' debug output then goes nowhere, as when
// no viewer runs. The lines read so far stay.
void StopTraceReader(void);
// Where kittrace is the session's reader instead (no other reader can run
// beside it): its file, as it grows, is read as the trace. Its records
// ("hh:mm:ss.mmm [pid] text") become lines of that process; its first line
// is left out. Only the kit's lines are there. False when the file cannot
// be opened.
bool FollowRecordFile(const std::string &path);
// Reads what the file holds now, then stops following it.
void StopFollowingRecordFile(void);
// How many lines were read so far: a mark to read or wait from.
size_t TraceMark(void);
// Lines from index from on (up to index to, not included), of process pid
// (any process when pid is 0).
std::vector<TraceLine> TraceLinesFrom(size_t from, DWORD pid = 0, size_t to = (size_t)-1);
// Waits for a line of pid (any when 0) from index from on that holds every
// one of parts, in their order, on that one line: its index, or -1 after
// ms. Parts checked one by one could each come from another line.
long WaitForTraceParts(DWORD pid, const std::vector<std::string> &parts, size_t from, DWORD ms);
// The same for a single text.
long WaitForTrace(DWORD pid, const char *text, size_t from, DWORD ms);
// Returns once every line written before the call has been read: a line
// this program writes itself comes after them. False when it did not come
// within ms (a stuck reader never reads it).
bool WaitForTraceCaughtUp(DWORD ms);
// Prints the lines of pid from index from on, as context for a failure.
void PrintTrace(size_t from, DWORD pid = 0);

#endif
