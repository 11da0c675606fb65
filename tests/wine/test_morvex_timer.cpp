// morvex's rescan under Wine: device broadcasts sent to the running
// program, scans seen as requests of the newdev recorder with the tick
// count at which they came, and as morvex's own trace lines. A reader bound
// to the generic storage service makes every scan request one installation.
//
// An installation may show a modal window (an unsigned-driver warning, a
// restart prompt) whose message loop runs morvex's messages until it is
// closed. Installing the driver restarts the reader, so its volumes arrive
// meanwhile, and their rescan wait runs out while the prompt is still up.
// No scan may start inside the running one: one scan follows it instead.
// The recorder plays such a prompt on the request the test names, until
// the test closes it.
//
// Every wait here is one of the rescan timer's own: two runs of morvex
// carry every check, and the only wait for an absence is the one after the
// last scan, as long as a timer left running would take to bring another.
#include "morvexrun.h"
#include "tracereader.h"
#include <dbt.h>
#include <stdio.h>
#include <string.h>

static std::string Folder;
static std::string Exe;

// A timer may run out a little early by the clock the recorder logs.
static const long TimerSlack = 500;
// Lines of a program that is answering are read within this.
static const DWORD TraceWaitMs = 30000;
// The arrivals of a burst, well within the timer.
static const DWORD BurstGap = 1000;
// How long after a timer would have run out again the absence is checked.
static const DWORD QuietMargin = 2000;

#define PutOffLine "timer: a scan is running: the next one is put off until it ends"

static std::string Printed(const char *format, unsigned long n, unsigned long m = 0)
{
    char text[128];
    snprintf(text, sizeof(text), format, n, m);
    return text;
}

// Index of the run's first line that holds text; -1 after ms.
static long WaitForLine(const MorvexRun &run, const std::string &text, DWORD ms)
{
    return WaitForTrace(run.pid, text.c_str(), run.mark, ms);
}

static size_t CountLines(const MorvexRun &run, const char *text, size_t mark)
{
    size_t count = 0;
    for (const TraceLine &line : TraceLinesFrom(mark, run.pid))
        count += line.text.find(text) != std::string::npos;
    return count;
}

// Starts morvex with its installation request number promptAt prompting
// until the test sets *closed; the window is there from its creation on,
// also while the start-up scan still runs inside it.
static void StartPrompting_(At at, const std::string &log, int promptAt, MorvexRun *run,
                            HANDLE *closed)
{
    // Named: the recorder in morvex opens it by its name.
    std::string eventName = Printed("KitPromptClosed%lu-%lu", GetCurrentProcessId(), promptAt);
    *closed = CreateEventA(NULL, TRUE, FALSE, eventName.c_str());
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_AT", Printed("%lu", promptAt).c_str());
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_EVENT", eventName.c_str());
    StartMorvex_(at, Exe, log, run);
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_AT", NULL);
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_EVENT", NULL);
}
#define StartPrompting(log, promptAt, run, closed) StartPrompting_(HERE, log, promptAt, run, closed)

// Broadcasts that are no volume arrival each say so and start nothing. The
// removal goes last: once its line is read, every line before it is too.
static void CheckOnlyVolumeArrivalsStartARescan_(At at, const MorvexRun &run)
{
    DEV_BROADCAST_DEVICEINTERFACE_A iface;
    memset(&iface, 0, sizeof(iface));
    iface.dbcc_size = sizeof(iface);
    iface.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    DEV_BROADCAST_HDR port;
    memset(&port, 0, sizeof(port));
    port.dbch_size = sizeof(port);
    port.dbch_devicetype = DBT_DEVTYP_PORT;
    size_t mark = TraceMark();
    SendDeviceEvent(run.window, DBT_DEVICEARRIVAL, (LPARAM)&iface);
    SendDeviceEvent(run.window, DBT_DEVICEARRIVAL, (LPARAM)&port);
    SendDeviceEvent(run.window, DBT_DEVICEARRIVAL, 0);
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, 1 << 5);
    ok_at(at, WaitForTrace(run.pid, "device broadcast 0x8004: no volume arrival: nothing started",
                           mark, TraceWaitMs) >= 0,
          "the removal is not traced as starting nothing");
    size_t told = CountLines(run, "no volume arrival: nothing started", mark);
    ok_at(at, told == 5, "%u of 5 broadcasts traced as starting nothing", (unsigned)told);
    ok_at(at, CountLines(run, "rescan timer", mark) == 0 && CountLines(run, " begun (", mark) == 0,
          "a rescan timer or a scan is traced");
}
#define CheckOnlyVolumeArrivalsStartARescan(run) CheckOnlyVolumeArrivalsStartARescan_(HERE, run)

// Three arrivals closer together than the timer: each restarts it, and the
// one scan comes a whole wait after the last of them.
static void CheckBurstBringsOneScan_(At at, const MorvexRun &run, const std::string &log)
{
    size_t mark = TraceMark();
    size_t before = ReadInstallRequests(log).size();
    // Taken before each send: the earliest the arrival can have restarted
    // the timer.
    DWORD arrivals[3];
    for (int i = 0; i < 3; i++) {
        if (i > 0)
            Sleep(BurstGap);
        arrivals[i] = GetTickCount();
        SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, 1u << (5 + i));
    }
    ok_at(at, WaitForRequestsBeyond(log, before, ScanDeadline), "no scan within %lu s of the burst",
          (unsigned long)(ScanDeadline / 1000));
    std::vector<InstallRequest> r = ReadInstallRequests(log);
    if (r.size() <= before)
        return;
    long wait = (long)(r[before].tick - arrivals[2]);
    printf("the scan came %ld ms after the last arrival\n", wait);
    if ((long)(arrivals[2] - arrivals[0]) >= RescanDelay - TimerSlack)
        SkipAt(at.file, at.line, "the arrivals came %lu ms apart on this machine: no burst",
               (unsigned long)(arrivals[2] - arrivals[0]));
    else
        ok_at(at, wait >= RescanDelay - TimerSlack,
              "the scan came %ld ms after the last arrival, before the timer ran out", wait);
    CheckTracedAt(at.file, at.line, run.pid, mark,
                  {"volume arrival, drives F: rescan timer started: a scan in 10 s"});
    CheckTracedAt(at.file, at.line, run.pid, mark,
                  {"volume arrival, drives H: rescan timer restarted: a scan in 10 s"});
    CheckTracedAt(at.file, at.line, run.pid, mark, {"scan 2 begun (timer)"});
}
#define CheckBurstBringsOneScan(run, log) CheckBurstBringsOneScan_(HERE, run, log)

// The put-off scan ran after the prompted one ended, a whole wait after
// its arrival, and no request was made while another was in progress.
static void CheckPutOffScanRan_(At at, const MorvexRun &run, const std::string &log, long putOff,
                                unsigned long prompted, DWORD arrival)
{
    std::string begun =
        Printed("scan %lu begun (timer, put off until scan %lu ended)", prompted + 1, prompted);
    long next = WaitForLine(run, begun, ScanDeadline);
    long nextEnd = WaitForLine(run, Printed("scan %lu ended: ", prompted + 1), ScanDeadline);
    long promptedEnd = WaitForLine(run, Printed("scan %lu ended: ", prompted), 0);
    ok_at(at, next >= 0 && nextEnd > next &&
                  TraceLinesFrom(nextEnd).front().text.find("1 installations requested") !=
                      std::string::npos,
          "the put-off scan did not run whole: no \"%s\" and its end", begun.c_str());
    ok_at(at, putOff < promptedEnd && promptedEnd < next,
          "not put off during scan %lu and run after it: lines %ld, %ld, %ld", prompted, putOff,
          promptedEnd, next);
    std::vector<InstallRequest> r = ReadInstallRequests(log);
    ok_at(at, r.size() == prompted + 1, "%u requests, expected %lu", (unsigned)r.size(),
          prompted + 1);
    for (size_t i = 0; i < r.size(); i++)
        ok_at(at, r[i].depth == 0, "request %u was made while %lu other(s) were in progress",
              (unsigned)i, r[i].depth);
    long after = r.empty() ? -1 : (long)(r.back().tick - arrival);
    printf("the put-off scan came %ld ms after its arrival\n", after);
    ok_at(at, after >= RescanDelay - TimerSlack, "it came %ld ms after the arrival", after);
    if (next < 0)
        PrintTrace(run.mark, run.pid);
}

// Scan number prompted shows its prompt; an arrival meanwhile runs out its
// wait inside the prompt, where morvex must put its scan off (by its own
// word) until the prompt is closed. The arrival's tick comes back.
static DWORD CheckScanPutOffDuringPrompt_(At at, const MorvexRun &run, const std::string &log,
                                          HANDLE closed, unsigned long prompted)
{
    std::string request = Printed("scan %lu: installation requested", prompted);
    ok_at(at, WaitForLine(run, request, ScanDeadline) >= 0 &&
                  WaitForRequestsBeyond(log, prompted - 1, ScanDeadline),
          "scan %lu requested nothing", prompted);
    DWORD arrival = GetTickCount();
    SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, 1u << 6);
    long putOff = WaitForLine(run, PutOffLine, ScanDeadline);
    ok_at(at, putOff >= 0, "no scan was put off while scan %lu prompted", prompted);
    // Closed only now: a scan that was not put off would have run inside
    // the prompt, or not at all.
    SetEvent(closed);
    CheckPutOffScanRan_(at, run, log, putOff, prompted, arrival);
    return arrival;
}
#define CheckScanPutOffDuringPrompt(run, log, closed, prompted)                                   \
    CheckScanPutOffDuringPrompt_(HERE, run, log, closed, prompted)

// A timer that its expiry did not stop would bring another scan a period
// after the last one it brought: that is waited out, and a little more,
// then until the window has handled what it had.
static void CheckNoLaterScan_(At at, const MorvexRun &run, const std::string &log, DWORD arrival,
                              size_t scans)
{
    long rest = (long)(arrival + 2 * RescanDelay + QuietMargin - GetTickCount());
    if (rest > 0)
        Sleep((DWORD)rest);
    ok_at(at, WaitUntilIdle(run.window, 60000), "morvex stopped answering");
    size_t requests = ReadInstallRequests(log).size();
    size_t begun = CountLines(run, " begun (", run.mark);
    ok_at(at, requests == scans && begun == scans, "%u requests and %u scans, expected %u",
          (unsigned)requests, (unsigned)begun, (unsigned)scans);
}
#define CheckNoLaterScan(run, log, arrival, scans) CheckNoLaterScan_(HERE, run, log, arrival, scans)

// The start-up scan, then broadcasts that start nothing, a burst whose one
// scan prompts, an arrival put off during that prompt, and no scan after.
static void test_rescan_timer(void)
{
    std::string log = Folder + "\\timer.log";
    MorvexRun run;
    HANDLE closed;
    StartPrompting(log, 2, &run, &closed);
    if (run.window) {
        ok(ReadInstallRequests(log).size() == 1, "start-up scans: %u",
           (unsigned)ReadInstallRequests(log).size());
        CheckOnlyVolumeArrivalsStartARescan(run);
        CheckBurstBringsOneScan(run, log);
        DWORD arrival = CheckScanPutOffDuringPrompt(run, log, closed, 2);
        CheckNoLaterScan(run, log, arrival, 3);
        ok(!ProcessHasVisibleWindow(run.pid), "morvex shows a window");
    }
    SetEvent(closed);
    CloseHandle(closed);
    ExitMorvex(&run);
}

// The start-up scan, inside the window's creation, prompts. A copy with
// the rights to install drivers started meanwhile does not end this one,
// as it would cut the installation short: it ends itself.
static void test_scan_put_off_during_start_up_prompt(void)
{
    std::string log = Folder + "\\start-up.log";
    MorvexRun run;
    HANDLE closed;
    StartPrompting(log, 1, &run, &closed);
    if (run.window) {
        CheckEndsAtOnce(Exe, Folder + "\\second.log",
                        "morvex: start: another morvex runs in this session: ends: it does not "
                        "answer now (busy with a scan?)");
        CheckScanPutOffDuringPrompt(run, log, closed, 1);
    }
    SetEvent(closed);
    CloseHandle(closed);
    ExitMorvex(&run);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    Folder = MakeWorkFolder("morvex-timer");
    Exe = CopyProgramTo(Folder, "morvex.exe");
    InstallNewdevRecorder(Folder);
    CreateDirectoryA("C:\\windows\\zelmot", NULL);
    ok(MakeFileWithTime("C:\\windows\\zelmot\\zelmot.sys", FileTimeAtSeconds(0)),
       "reference copy");
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\T1", {"USB\\VID_0E5B&PID_0A17&REV_0100"}, "USBSTOR",
                 true),
       "reader");
    RUN_TEST(test_rescan_timer);
    RUN_TEST(test_scan_put_off_during_start_up_prompt);
    return FinishTests();
}
