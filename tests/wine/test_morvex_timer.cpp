// morvex's rescan under Wine: device broadcasts sent to the running
// program, scans seen as requests of the newdev recorder with the tick
// count at which they came, and as morvex's own trace lines. A reader bound
// to the generic storage service makes every scan request one installation.
#include "harness.h"
#include "tracereader.h"
#include <dbt.h>
#include <stdio.h>
#include <string.h>

static std::string Folder;
static std::string Log;
static HWND Window;
static DWORD Pid;

// A timer may run out a little early by the clock the recorder logs.
static const long TimerSlack = 500;
// Lines of a program that is answering are read within this.
static const DWORD TraceWaitMs = 30000;

#define PutOffLine "timer: a scan is running: the next one is put off until it ends"

struct Broadcast {
    const char *name;
    WPARAM event;
    LPARAM header;
};

static std::string Printed(const char *format, unsigned long n, unsigned long m = 0)
{
    char text[128];
    snprintf(text, sizeof(text), format, n, m);
    return text;
}

// Index of morvex's first line from mark on that holds text; -1 after ms.
static long WaitForLine(const std::string &text, size_t mark, DWORD ms)
{
    return WaitForTrace(Pid, text.c_str(), mark, ms);
}

static size_t CountLines(const char *text, size_t mark)
{
    size_t count = 0;
    for (const TraceLine &line : TraceLinesFrom(mark, Pid))
        count += line.text.find(text) != std::string::npos;
    return count;
}

// Tick counts of the scans requested so far.
static std::vector<unsigned long> ScanTicks(void)
{
    std::vector<InstallRequest> requests = ReadInstallRequests(Log);
    std::vector<unsigned long> ticks;
    for (size_t i = 0; i < requests.size(); i++)
        ticks.push_back(requests[i].tick);
    return ticks;
}

static bool WaitForScans(size_t count, DWORD ms)
{
    return WaitForRequestsBeyond(Log, count, ms);
}

static void WaitQuiet(DWORD since)
{
    ok(WaitQuietSince(Window, since), "morvex stopped answering");
}

static void test_only_volume_arrivals_start_a_rescan(void)
{
    DEV_BROADCAST_DEVICEINTERFACE_A iface;
    memset(&iface, 0, sizeof(iface));
    iface.dbcc_size = sizeof(iface);
    iface.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    DEV_BROADCAST_HDR port;
    memset(&port, 0, sizeof(port));
    port.dbch_size = sizeof(port);
    port.dbch_devicetype = DBT_DEVTYP_PORT;
    const Broadcast others[] = {
        {"interface arrival", DBT_DEVICEARRIVAL, (LPARAM)&iface},
        {"port arrival", DBT_DEVICEARRIVAL, (LPARAM)&port},
        {"arrival without header", DBT_DEVICEARRIVAL, 0},
        {"node change", DBT_DEVNODES_CHANGED, 0},
    };
    size_t mark = TraceMark();
    size_t before = ScanTicks().size();
    for (size_t i = 0; i < sizeof(others) / sizeof(others[0]); i++) {
        LRESULT result = SendDeviceEvent(Window, others[i].event, others[i].header);
        ok(result == 0, "%s answered %ld", others[i].name, (long)result);
    }
    LRESULT result = SendVolumeEvent(Window, DBT_DEVICEREMOVECOMPLETE, 1 << 5);
    ok(result == 0, "volume removal answered %ld", (long)result);
    WaitQuiet(GetTickCount());
    size_t after = ScanTicks().size();
    ok(after == before, "%u scans after broadcasts that are no volume arrival",
       (unsigned)(after - before));
    // Each said so, and none started the timer.
    ok(WaitForLine("device broadcast 0x8004: no volume arrival: nothing started", mark,
                   TraceWaitMs) >= 0,
       "the removal is not traced as starting nothing");
    size_t told = CountLines("no volume arrival: nothing started", mark);
    ok(told == 5, "%u of 5 broadcasts traced as starting nothing", (unsigned)told);
    ok(CountLines("rescan timer", mark) == 0 && CountLines(" begun (", mark) == 0,
       "a rescan timer or a scan is traced");
}

static void test_burst_of_arrivals_brings_one_scan(void)
{
    size_t mark = TraceMark();
    size_t before = ScanTicks().size();
    // Taken before each send: the earliest the arrival can have restarted
    // the timer.
    DWORD arrivals[3];
    bool burst = true;
    for (int i = 0; i < 3; i++) {
        // Closer together than the timer: each arrival restarts it.
        if (i > 0)
            Sleep(4000);
        arrivals[i] = GetTickCount();
        if (i > 0 && (long)(arrivals[i] - arrivals[i - 1]) >= RescanDelay - TimerSlack) {
            printf("arrival %d came %lu ms after the one before: no burst\n", i,
                   (unsigned long)(arrivals[i] - arrivals[i - 1]));
            burst = false;
        }
        LRESULT result = SendVolumeEvent(Window, DBT_DEVICEARRIVAL, 1u << (5 + i));
        ok(result == 0, "volume arrival %d answered %ld", i, (long)result);
    }
    ok(WaitForScans(before, ScanDeadline), "no scan within %lu s of the burst",
       (unsigned long)(ScanDeadline / 1000));
    std::vector<unsigned long> ticks = ScanTicks();
    if (ticks.size() <= before)
        return;
    // Measured from the arrival before the scan: a scan that came before
    // the burst was over follows an earlier one closely.
    int last = 0;
    while (last < 2 && (long)(ticks[before] - arrivals[last + 1]) >= 0)
        last++;
    long wait = (long)(ticks[before] - arrivals[last]);
    printf("scan came %ld ms after arrival %d of 0..2\n", wait, last);
    ok(last == 2 || !burst, "a scan came before the burst was over");
    ok(wait >= RescanDelay - TimerSlack, "scan %ld ms after arrival %d, before the timer ran out",
       wait, last);

    // A timer that its first expiry did not stop would scan again one
    // period later.
    WaitQuiet(ticks[before]);
    ticks = ScanTicks();
    if (burst) {
        ok(ticks.size() == before + 1, "%u scans after the burst, expected one",
           (unsigned)(ticks.size() - before));
        ok(WaitForLine("volume arrival, drives F: rescan timer started", mark, TraceWaitMs) >= 0 &&
               WaitForLine("volume arrival, drives H: rescan timer restarted", mark,
                           TraceWaitMs) >= 0,
           "the arrivals are not traced as starting and restarting the timer");
        ok(WaitForLine("scan 2 begun (timer)", mark, TraceWaitMs) >= 0 &&
               CountLines(" begun (", mark) == 1,
           "the trace does not show one scan, number 2, started by the timer");
    }
}

// An installation may show a modal window (an unsigned-driver warning, a
// restart prompt) whose message loop runs morvex's messages until it is
// closed. Installing the driver restarts the reader, so its volumes arrive
// meanwhile, and their rescan wait runs out while the prompt is still up.
// No scan may start inside the running one: one scan follows it instead.
//
// morvex runs with its request number promptAt prompting until the test
// sets the event; the prompt is up once scan number prompted has logged
// that request. A volume arrival sent during it must be put off, by
// morvex's own word, and its scan run once the prompt is closed.
struct PromptRun {
    HANDLE process;
    HANDLE closed; // set: the prompt is closed
    size_t mark;
};

static bool StartWithPrompt(const char *logName, int promptAt, PromptRun *run)
{
    Log = Folder + "\\" + logName;
    DeleteFileA(Log.c_str());
    // Named: the recorder in morvex opens it by its name.
    std::string eventName = Printed("KitPromptClosed%lu-%lu", GetCurrentProcessId(), promptAt);
    run->closed = CreateEventA(NULL, TRUE, FALSE, eventName.c_str());
    run->mark = TraceMark();
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_AT", Printed("%lu", promptAt).c_str());
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_EVENT", eventName.c_str());
    run->process = StartProgram(Folder + "\\morvex.exe", "", true, Log);
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_AT", NULL);
    SetEnvironmentVariableA("KIT_NEWDEV_PROMPT_EVENT", NULL);
    Pid = run->process ? GetProcessId(run->process) : 0;
    // The window exists from its creation on, also while the start-up scan
    // still runs inside it.
    Window = Pid ? WaitForWindowOfClass("MORVEX", Pid, 60000) : NULL;
    ok(run->closed && Window, "morvex did not come up");
    return run->closed && Window;
}

static void CheckScanPutOffDuringPrompt(PromptRun *run, unsigned long prompted)
{
    std::string request = Printed("scan %lu: installation requested", prompted);
    ok(WaitForLine(request, run->mark, ScanDeadline) >= 0, "scan %lu requested nothing",
       prompted);
    ok(WaitForScans(prompted - 1, ScanDeadline), "the prompted request is not logged");

    DWORD arrival = GetTickCount();
    ok(SendVolumeEvent(Window, DBT_DEVICEARRIVAL, 1u << 6) == 0,
       "an arrival during the prompt is answered");
    long putOff = WaitForLine(PutOffLine, run->mark, ScanDeadline);
    ok(putOff >= 0, "no scan was put off while scan %lu prompted", prompted);
    // The prompt is closed only now: a scan that was not put off would
    // have run inside it, or not at all.
    SetEvent(run->closed);

    std::string begun =
        Printed("scan %lu begun (timer, put off until scan %lu ended)", prompted + 1, prompted);
    long next = WaitForLine(begun, run->mark, ScanDeadline);
    long nextEnd = WaitForLine(Printed("scan %lu ended: ", prompted + 1), run->mark, ScanDeadline);
    long promptedEnd = WaitForLine(Printed("scan %lu ended: ", prompted), run->mark, 0);
    ok(next >= 0 && nextEnd > next, "the put-off scan did not run: no \"%s\" and its end",
       begun.c_str());
    ok(putOff < promptedEnd && promptedEnd < next,
       "not put off during scan %lu and run after it: lines %ld, %ld, %ld", prompted, putOff,
       promptedEnd, next);
    if (nextEnd >= 0)
        ok(TraceLinesFrom(nextEnd).front().text.find("1 installations requested") !=
               std::string::npos,
           "the put-off scan: %s", TraceLinesFrom(nextEnd).front().text.c_str());

    std::vector<InstallRequest> r = ReadInstallRequests(Log);
    ok(r.size() == prompted + 1, "%u requests, expected %lu", (unsigned)r.size(), prompted + 1);
    for (size_t i = 0; i < r.size(); i++)
        ok(r[i].depth == 0, "request %u was made while %lu other(s) were in progress",
           (unsigned)i, r[i].depth);
    if (r.size() == prompted + 1) {
        long after = (long)(r.back().tick - arrival);
        printf("the put-off scan came %ld ms after the arrival\n", after);
        ok(after >= RescanDelay - TimerSlack, "it came %ld ms after the arrival", after);
        // Its wait ran out once: no other scan comes after.
        WaitQuiet(r.back().tick);
        ok(ReadInstallRequests(Log).size() == prompted + 1 &&
               CountLines(" begun (", run->mark) == prompted + 1,
           "%u scans, expected %lu", (unsigned)ReadInstallRequests(Log).size(), prompted + 1);
    }
    if (putOff < 0 || next < 0)
        PrintTrace(run->mark, Pid);
}

static void CheckScanDuringTimerScan(PromptRun *run)
{
    ok(WaitForLine("scan 1 ended: ", run->mark, ScanDeadline) >= 0 && WaitUntilIdle(Window, 60000),
       "the start-up scan did not end");
    ok(SendVolumeEvent(Window, DBT_DEVICEARRIVAL, 1u << 5) == 0, "the arrival is answered");
    ok(WaitForLine("scan 2 begun (timer)", run->mark, ScanDeadline) >= 0,
       "the timer started no scan");
    CheckScanPutOffDuringPrompt(run, 2);
}

static void FinishPromptRun(PromptRun *run)
{
    if (run->closed) {
        SetEvent(run->closed);
        CloseHandle(run->closed);
    }
    if (!Window) {
        FinishProgram(run->process, 0);
        return;
    }
    ok(WaitForExit(run->process, 0) == STILL_ACTIVE, "morvex ended");
    PostMessageA(Window, WM_COMMAND, 105, 0);
    DWORD code = FinishProgram(run->process, 60000);
    ok(code == 0, "exit code %lu", code);
}

// The start-up scan, inside the window's creation, prompts.
static void test_scan_put_off_during_start_up_prompt(void)
{
    PromptRun run;
    if (StartWithPrompt("prompt-start-up.log", 1, &run))
        CheckScanPutOffDuringPrompt(&run, 1);
    FinishPromptRun(&run);
}

// A scan the timer started prompts: request 2, after the start-up scan's.
static void test_scan_put_off_during_timer_scan_prompt(void)
{
    PromptRun run;
    if (StartWithPrompt("prompt-timer.log", 2, &run))
        CheckScanDuringTimerScan(&run);
    FinishPromptRun(&run);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    Folder = MakeWorkFolder("morvex-timer");
    std::string exe = CopyProgramTo(Folder, "morvex.exe");
    Log = NewdevLogPath(Folder);
    InstallNewdevRecorder(Folder);
    CreateDirectoryA("C:\\windows\\zelmot", NULL);
    ok(MakeFileWithTime("C:\\windows\\zelmot\\zelmot.sys", FileTimeAtSeconds(0)),
       "reference copy");
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\T1", {"USB\\VID_0E5B&PID_0A17&REV_0100"}, "USBSTOR",
                 true),
       "reader");

    DeleteFileA(Log.c_str());
    HANDLE process = StartProgram(exe, "", true, Log);
    Pid = process ? GetProcessId(process) : 0;
    Window = WaitForWindowOfClass("MORVEX", Pid, 60000);
    ok(Window && WaitUntilIdle(Window, 60000), "morvex did not come up");
    if (Window) {
        ok(ScanTicks().size() == 1, "start-up scans: %u", (unsigned)ScanTicks().size());
        RUN_TEST(test_only_volume_arrivals_start_a_rescan);
        RUN_TEST(test_burst_of_arrivals_brings_one_scan);
        ok(!ProcessHasVisibleWindow(Pid), "morvex shows a window");
        PostMessageA(Window, WM_COMMAND, 105, 0);
    }
    DWORD code = FinishProgram(process, 60000);
    ok(code == 0, "exit code %lu", code);
    RUN_TEST(test_scan_put_off_during_start_up_prompt);
    RUN_TEST(test_scan_put_off_during_timer_scan_prompt);
    return FinishTests();
}
