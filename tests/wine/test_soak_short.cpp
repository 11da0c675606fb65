// Short soak of the resident programs: a thousand mixed broadcasts to
// tavlix and a burst of volume arrivals to morvex. Checks what must hold
// however long they run: they keep answering and working, stop cleanly,
// leave no icon key or marker behind, scan once per quiet period, and do
// not gain handles or threads as the events go on. Timings are printed
// only; scripts/soak.sh runs the long version.
#include "harness.h"
#include "soak.h"

// Handles that may come and go between two samples without a leak: the
// server's caches and the shell's first use of something.
static const DWORD HandleSlack = 8;

static void CheckFlat_(At at, const char *program, const ProcessFigures &before,
                       const ProcessFigures &after)
{
    ok_at(at, before.valid && after.valid, "%s: figures readable", program);
    ok_at(at, after.handles <= before.handles + HandleSlack,
          "%s: handles %lu before the events, %lu after them", program,
          (unsigned long)before.handles, (unsigned long)after.handles);
}
#define CheckFlat(program, before, after) CheckFlat_(HERE, program, before, after)

static void CheckTavlix_(At at, const char *version, int events, unsigned seed)
{
    TavlixSoakResult result = RunTavlixSoak(events, version, seed);
    PrintTavlixSoak(result);
    ok_at(at, result.started, "%s: tavlix came up", version);
    if (!result.started)
        return;
    ok_at(at, result.sent == events, "%s: %d of %d events sent", version, result.sent, events);
    ok_at(at, result.unanswered == 0, "%s: %d broadcasts not answered with 0", version,
          result.unanswered);
    ok_at(at, result.runningAfter, "%s: tavlix gone or not answering after the burst", version);
    ok_at(at, result.assignsAfter, "%s: a card inserted after the burst got no icon", version);
    ok_at(at, result.stopped, "%s: the second launch did not stop both copies with exit 0",
          version);
    ok_at(at, result.iconsLeft.empty() && result.markersLeft.empty(),
          "%s: left icon keys '%s' and markers '%s'", version, result.iconsLeft.c_str(),
          result.markersLeft.c_str());
    CheckFlat_(at, version, result.middle, result.end);
    // Every pass ends: once the burst has settled, no thread is left over.
    ok_at(at, result.end.threads <= result.start.threads,
          "%s: %lu threads at the start, %lu at the end", version,
          (unsigned long)result.start.threads, (unsigned long)result.end.threads);
}
#define CheckTavlix(version, events, seed) CheckTavlix_(HERE, version, events, seed)

// On 5.0 arrivals start arrival passes; on 5.1 node changes that find more
// disks start scans instead.
static void test_tavlix_burst_of_mixed_events(void)
{
    CheckTavlix("win2k", 1000, 7);
    CheckTavlix("winxp", 500, 11);
}

// One burst: no scan while it lasts, one in the quiet period after it, and
// none doubled beside that one. (A timer that outlives its expiry is
// test_morvex_timer's to catch; scripts/soak.sh waits for it too.)
static void test_morvex_scans_once_per_quiet_period(void)
{
    MorvexSoakResult result = RunMorvexSoak(1, 60, false);
    PrintMorvexSoak(result);
    ok(result.started, "morvex came up");
    if (!result.started)
        return;
    ok(result.startupScans == 1, "%d scans at start-up", result.startupScans);
    ok(result.unanswered == 0, "%d arrivals not answered with 0", result.unanswered);
    ok(result.quietScans.size() == 1 && result.burstScans[0] == 0 && result.quietScans[0] == 1,
       "%d scans while the arrivals kept coming, %d in the quiet period after them",
       result.burstScans.empty() ? -1 : result.burstScans[0],
       result.quietScans.empty() ? -1 : result.quietScans[0]);
    CheckFlat("morvex", result.start, result.end);
    ok(result.exitCode == 0, "morvex exit code %lu", (unsigned long)result.exitCode);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_tavlix_burst_of_mixed_events);
    RUN_TEST(test_morvex_scans_once_per_quiet_period);
    return FinishTests();
}
