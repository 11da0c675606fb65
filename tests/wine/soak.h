// Long bursts of device broadcasts against the resident programs, and the
// figures of a running program read from outside (handles, threads,
// memory). Shared by the short soak test, which checks the outcomes, and
// by the load programs, which print them.
#ifndef SOAK_H
#define SOAK_H

#include <windows.h>
#include <string>
#include <vector>

// ---- figures of a running process -------------------------------------------
struct ProcessFigures {
    bool valid = false;
    DWORD handles = 0;        // GetProcessHandleCount
    DWORD threads = 0;        // from a process snapshot
    SIZE_T workingSet = 0;    // bytes, as the memory counters report it
    SIZE_T privateBytes = 0;  // committed private bytes (PagefileUsage)
};
ProcessFigures ReadProcessFigures(HANDLE process);
// The threads of the process, from a process snapshot; 0 when not found.
DWORD ThreadCount(DWORD pid);
// Waits until the process has no more threads than wantThreads (its passes
// have ended) and the thread count has held for a moment, at most ms; then
// reads the figures.
ProcessFigures SettledFigures(HANDLE process, DWORD wantThreads, DWORD ms);
// "label: handles H, threads T, working set W KiB, private P KiB"
void PrintFigures(const char *label, const ProcessFigures &figures);

// Seeded xorshift, so that a run can be repeated event for event.
struct SoakRandom {
    unsigned state;
    explicit SoakRandom(unsigned seed) : state(seed ? seed : 1) {}
    unsigned Next(unsigned below);
};

// ---- tavlix --------------------------------------------------------------------
struct TavlixSoakResult {
    bool started = false;
    int sent = 0;
    int arrivals = 0, removals = 0, nodeChanges = 0;
    int unanswered = 0;        // answered with anything but 0, or timed out
    double seconds = 0;        // sending only, without the pauses for figures
    double slowestMs = 0;
    DWORD peakThreads = 0;     // seen at the periodic samples during the burst
    ProcessFigures start, middle, end;
    std::string iconsAtEnd;    // icon keys D..Z once the burst has settled
    std::string cardsAtEnd;    // letters holding a card then
    bool runningAfter = false; // alive and answering after the burst
    bool assignsAfter = false; // a card inserted after the burst gets its icon
    bool stopped = false;      // second launch: both copies exit 0
    std::string iconsLeft;     // icon keys D..Z after the stop
    std::string markersLeft;   // marker values A..Z after the stop
};
// Starts tavlix with the reader plugged in under the given Windows version
// and sends it that many broadcasts, as fast as it answers them: card
// arrivals and removals on several letters, and node changes with the disk
// count going up and down. Then stops it with a second launch.
TavlixSoakResult RunTavlixSoak(int events, const char *version, unsigned seed);
void PrintTavlixSoak(const TavlixSoakResult &result);

// ---- morvex --------------------------------------------------------------------
struct MorvexSoakResult {
    bool started = false;
    int startupScans = 0;
    int sent = 0;
    int unanswered = 0;
    std::vector<int> burstScans;    // scans that came while each burst was sent
    std::vector<int> quietScans;    // scans in the quiet period after each burst
    std::vector<long> scanDelayMs;  // last arrival of a burst to its scan
    bool lateChecked = false;       // a further quiet period was waited out
    int lateScans = 0;              // after the last scan, in that period
    double seconds = 0;
    ProcessFigures start, middle, end;
    DWORD exitCode = 0;
};
// Starts morvex with a reader bound to the generic storage service (every
// scan requests one installation from the newdev recorder) and sends bursts
// of volume arrivals, each followed by a quiet period of more than 10 s and
// a short wait after its scan. With lateCheck, a further quiet period after
// the last scan (AbsenceWait) shows that no timer outlived its expiry.
MorvexSoakResult RunMorvexSoak(int bursts, int arrivalsPerBurst, bool lateCheck);
void PrintMorvexSoak(const MorvexSoakResult &result);

#endif
