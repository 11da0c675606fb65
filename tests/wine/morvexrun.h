// Running morvex in the tests: a copy that comes up and scans, and one that
// must end at once; each checks at the line of the test that called it.
#ifndef MORVEXRUN_H
#define MORVEXRUN_H

#include "harness.h"
#include <string>

struct MorvexRun {
    HANDLE process;
    DWORD pid;
    HWND window; // null when it did not come up
    size_t mark; // the trace's length when it was started
};

// Starts exe with the newdev recorder logging to log (emptied first) and
// waits for its window and for the end of its start-up scan. Checks that
// it came up; run->window is null when it did not (the process is killed).
void StartMorvex_(At at, const std::string &exe, const std::string &log, MorvexRun *run);
#define StartMorvex(exe, log, run) StartMorvex_(HERE, exe, log, run)
// File > Exit, and the check that it ends with exit code 0.
void ExitMorvex_(At at, MorvexRun *run);
#define ExitMorvex(run) ExitMorvex_(HERE, run)
// A copy that must end at once: exit code 0, no window ever, nothing asked
// of the recorder (log emptied first), and a line of its own holding parts.
void CheckEndsAtOnce_(At at, const std::string &exe, const std::string &log,
                      const std::vector<std::string> &parts);
#define CheckEndsAtOnce(exe, log, ...) CheckEndsAtOnce_(HERE, exe, log, {__VA_ARGS__})
// The run traced a line holding parts, in order.
#define ok_traced_by(run, ...) CheckTracedAt(__FILE__, __LINE__, (run).pid, (run).mark, {__VA_ARGS__})

// The hardware IDs the recorder logged, in order.
std::vector<std::string> RequestedIds(const std::string &log);
// The IDs joined for a message: "A, B".
std::string Joined(const std::vector<std::string> &ids);
// The requests are exactly these IDs, in this order.
void CheckRequests_(At at, const std::string &log, const std::vector<std::string> &expected);
#define CheckRequests(log, ...) CheckRequests_(HERE, log, {__VA_ARGS__})

#endif
