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
    Sleep(12000);
    size_t after = ScanTicks().size();
    ok(after == before, "%u scans after broadcasts that are no volume arrival",
       (unsigned)(after - before));
}

static void test_burst_of_arrivals_brings_one_scan(void)
{
    size_t before = ScanTicks().size();
    DWORD lastArrival = 0;
    for (int i = 0; i < 3; i++) {
        if (i > 0)
            Sleep(4000);
        LRESULT result = SendVolumeEvent(Window, DBT_DEVICEARRIVAL, 1u << (5 + i));
        lastArrival = GetTickCount();
        ok(result == 0, "volume arrival %d answered %ld", i, (long)result);
        ok(ScanTicks().size() == before, "a scan came before the burst was over");
    }
    // Long enough for a scan that came late, and for a second one from a
    // timer that was not stopped by its first expiry.
    Sleep(22000);
    std::vector<unsigned long> ticks = ScanTicks();
    ok(ticks.size() == before + 1, "%u scans after the burst, expected one",
       (unsigned)(ticks.size() - before));
    if (ticks.size() != before + 1)
        return;
    long wait = (long)(ticks[before] - lastArrival);
    printf("scan came %ld ms after the last arrival\n", wait);
    ok(wait >= 9500 && wait <= 15000, "scan %ld ms after the last arrival, expected about 10 s",
       wait);
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
    Window = WaitForWindowOfClass("MORVEX", pid, 15000);
    ok(Window && WaitUntilIdle(Window, 15000), "morvex did not come up");
    if (Window) {
        ok(ScanTicks().size() == 1, "start-up scans: %u", (unsigned)ScanTicks().size());
        RUN_TEST(test_only_volume_arrivals_start_a_rescan);
        RUN_TEST(test_burst_of_arrivals_brings_one_scan);
        ok(!ProcessHasVisibleWindow(pid), "morvex shows a window");
        PostMessageA(Window, WM_COMMAND, 105, 0);
    }
    DWORD code = FinishProgram(process, 10000);
    ok(code == 0, "exit code %lu", code);
    return FinishTests();
}
