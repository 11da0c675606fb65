// morvex's rescan under Wine: device broadcasts sent to the running
// program, scans seen as requests of the newdev recorder with the tick
// count at which they came. A reader bound to the generic storage service
// makes every scan request one installation.
#include "harness.h"
#include <dbt.h>
#include <string.h>

static std::string Folder;
static std::string Log;
static HWND Window;

// A timer may run out a little early by the clock the recorder logs.
static const long TimerSlack = 500;

struct Broadcast {
    const char *name;
    WPARAM event;
    LPARAM header;
};

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
}

static void test_burst_of_arrivals_brings_one_scan(void)
{
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
    if (burst)
        ok(ticks.size() == before + 1, "%u scans after the burst, expected one",
           (unsigned)(ticks.size() - before));
}

// An installation may show a modal window (an unsigned-driver warning, a
// restart prompt) whose message loop runs morvex's messages until it is
// closed. Installing the driver restarts the reader, so its volumes arrive
// meanwhile, and their rescan wait runs out while the prompt is still up.
// No scan may start inside the running one: one scan follows it instead.
static void test_no_scan_inside_a_scan(void)
{
    const DWORD promptMs = 25000;
    Log = Folder + "\\prompt.log";
    DeleteFileA(Log.c_str());
    SetEnvironmentVariableA("KIT_NEWDEV_MODAL_MS", "25000");
    HANDLE process = StartProgram(Folder + "\\morvex.exe", "", true, Log);
    SetEnvironmentVariableA("KIT_NEWDEV_MODAL_MS", NULL);
    DWORD pid = process ? GetProcessId(process) : 0;

    // The start-up scan's installation is the one with the prompt; the
    // window exists, still inside its creation.
    ok(WaitForScans(0, ScanDeadline), "the start-up scan requested nothing");
    Window = WaitForWindowOfClass("MORVEX", pid, 60000);
    ok(Window != NULL, "no main window during the prompt");
    if (!Window) {
        FinishProgram(process, 0);
        return;
    }
    DWORD arrival = GetTickCount();
    ok(SendVolumeEvent(Window, DBT_DEVICEARRIVAL, 1u << 5) == 0,
       "an arrival during the prompt is answered");
    std::vector<InstallRequest> r = ReadInstallRequests(Log);
    bool inTime = !r.empty() && (long)(r[0].tick + promptMs - arrival) > (long)RescanDelay + 5000;
    if (!inTime)
        printf("the arrival came too late for its wait to run out during the prompt\n");

    ok(WaitForScans(1, ScanDeadline + promptMs), "no scan followed the one with the prompt");
    ok(WaitUntilIdle(Window, promptMs + 60000), "morvex stopped answering");
    r = ReadInstallRequests(Log);
    for (size_t i = 0; i < r.size(); i++)
        ok(r[i].depth == 0, "request %u was made while %lu other(s) were in progress",
           (unsigned)i, r[i].depth);
    if (r.size() >= 2) {
        long after = (long)(r[1].tick - arrival);
        printf("the scan that followed came %ld ms after the arrival, %ld ms after the first\n",
               after, (long)(r[1].tick - r[0].tick));
        ok(after >= RescanDelay - TimerSlack, "it came %ld ms after the arrival", after);
        // Its wait ran out once: no other scan comes after.
        WaitQuiet(r[1].tick);
        r = ReadInstallRequests(Log);
        ok(r.size() == 2 || !inTime, "%u scans, expected the start-up scan and one more",
           (unsigned)r.size());
    }
    ok(WaitForExit(process, 0) == STILL_ACTIVE, "morvex ended");
    PostMessageA(Window, WM_COMMAND, 105, 0);
    DWORD code = FinishProgram(process, 60000);
    ok(code == 0, "exit code %lu", code);
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
    DWORD pid = process ? GetProcessId(process) : 0;
    Window = WaitForWindowOfClass("MORVEX", pid, 60000);
    ok(Window && WaitUntilIdle(Window, 60000), "morvex did not come up");
    if (Window) {
        ok(ScanTicks().size() == 1, "start-up scans: %u", (unsigned)ScanTicks().size());
        RUN_TEST(test_only_volume_arrivals_start_a_rescan);
        RUN_TEST(test_burst_of_arrivals_brings_one_scan);
        ok(!ProcessHasVisibleWindow(pid), "morvex shows a window");
        PostMessageA(Window, WM_COMMAND, 105, 0);
    }
    DWORD code = FinishProgram(process, 60000);
    ok(code == 0, "exit code %lu", code);
    RUN_TEST(test_no_scan_inside_a_scan);
    return FinishTests();
}
