// Short soak of the resident programs: a thousand mixed broadcasts to
// tavlix and two bursts of volume arrivals to morvex. Checks what must hold
// however long they run: they keep answering and working, stop cleanly,
// leave no icon key or marker behind, scan once per quiet period, and do
// not gain handles or threads as the events go on. Timings are printed
// only; scripts/soak.sh runs the long version.
#include "harness.h"
#include "soak.h"

// Handles that may come and go between two samples without a leak: the
// server's caches and the shell's first use of something.
static const DWORD HandleSlack = 8;

static void CheckFlat(const char *program, const ProcessFigures &middle,
                      const ProcessFigures &end)
{
    ok(middle.valid && end.valid, "%s: figures readable", program);
    ok(end.handles <= middle.handles + HandleSlack, "%s: handles %lu in the middle, %lu at the end",
       program, (unsigned long)middle.handles, (unsigned long)end.handles);
}

// The leak checks rest on counting a process's handles from outside; the
// count must follow handles as they are opened and closed.
static void test_handle_count_follows_handles(void)
{
    ProcessFigures before = ReadProcessFigures(GetCurrentProcess());
    HANDLE events[20];
    for (int i = 0; i < 20; i++)
        events[i] = CreateEventA(NULL, FALSE, FALSE, NULL);
    ProcessFigures opened = ReadProcessFigures(GetCurrentProcess());
    for (int i = 0; i < 20; i++)
        CloseHandle(events[i]);
    ProcessFigures closed = ReadProcessFigures(GetCurrentProcess());
    ok(before.valid && before.handles > 0, "handle count not readable");
    ok(opened.handles == before.handles + 20, "20 handles opened: count %lu, then %lu",
       (unsigned long)before.handles, (unsigned long)opened.handles);
    ok(closed.handles == before.handles, "closed again: count %lu, then %lu",
       (unsigned long)before.handles, (unsigned long)closed.handles);
}

static void CheckTavlix(const char *version, int events, unsigned seed)
{
    TavlixSoakResult result = RunTavlixSoak(events, version, seed);
    PrintTavlixSoak(result);
    ok(result.started, "%s: tavlix came up", version);
    if (!result.started)
        return;
    ok(result.sent == events, "%s: %d of %d events sent", version, result.sent, events);
    ok(result.unanswered == 0, "%s: %d broadcasts not answered with 0", version,
       result.unanswered);
    ok(result.runningAfter, "%s: tavlix gone or not answering after the burst", version);
    ok(result.assignsAfter, "%s: a card inserted after the burst got no icon", version);
    ok(result.stopped, "%s: the second launch did not stop both copies with exit 0", version);
    ok(result.iconsLeft.empty() && result.markersLeft.empty(),
       "%s: left icon keys '%s' and markers '%s'", version, result.iconsLeft.c_str(),
       result.markersLeft.c_str());
    CheckFlat(version, result.middle, result.end);
    // Every pass ends: once the burst has settled, no thread is left over.
    ok(result.end.threads <= result.start.threads, "%s: %lu threads at the start, %lu at the end",
       version, (unsigned long)result.start.threads, (unsigned long)result.end.threads);
}

// On 5.0 arrivals start arrival passes; on 5.1 node changes that find more
// disks start scans instead.
static void test_tavlix_burst_of_mixed_events(void)
{
    CheckTavlix("win2k", 1000, 7);
    CheckTavlix("winxp", 500, 11);
}

static void test_morvex_scans_once_per_quiet_period(void)
{
    MorvexSoakResult result = RunMorvexSoak(2, 60);
    PrintMorvexSoak(result);
    ok(result.started, "morvex came up");
    if (!result.started)
        return;
    ok(result.startupScans == 1, "%d scans at start-up", result.startupScans);
    ok(result.unanswered == 0, "%d arrivals not answered with 0", result.unanswered);
    ok(result.quietScans.size() == 2, "%u bursts", (unsigned)result.quietScans.size());
    for (size_t i = 0; i < result.quietScans.size(); i++) {
        ok(result.burstScans[i] == 0, "burst %u: %d scans while arrivals kept coming", (unsigned)i + 1,
           result.burstScans[i]);
        ok(result.quietScans[i] == 1, "burst %u: %d scans in the quiet period after it", (unsigned)i + 1,
           result.quietScans[i]);
    }
    ok(result.lateScans == 0, "%d scans long after the last burst", result.lateScans);
    CheckFlat("morvex", result.middle, result.end);
    ok(result.exitCode == 0, "morvex exit code %lu", (unsigned long)result.exitCode);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_handle_count_follows_handles);
    RUN_TEST(test_tavlix_burst_of_mixed_events);
    RUN_TEST(test_morvex_scans_once_per_quiet_period);
    return FinishTests();
}
