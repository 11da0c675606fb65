// morvex under Wine: readers seeded through the Setup API, the driver files
// put in the Windows directory, the real program started with the newdev
// recorder; each run scans once while its window is created.
#include "harness.h"
#include "tracereader.h"
#include <string.h>

#define ReferencePath "C:\\windows\\zelmot\\zelmot.sys"
#define InstalledPath "C:\\windows\\system32\\drivers\\zelmot.sys"
#define ExpectedInfPath "C:\\windows\\ZELMOT\\ZELMOT.INF"
// FileTimeAtSeconds(0) and (1) as the trace writes them: Unix time
// 1085990400 and one second later.
#define TimeAt0 "2004-05-31 08:00:00 UTC"
#define TimeAt1 "2004-05-31 08:00:01 UTC"

// Two instances of the reader, each with its own first hardware ID.
#define Reader1 "USB\\VID_0E5B&PID_0A17\\R1"
#define Reader1Id "USB\\Vid_0e5b&Pid_0a17&Rev_0100"
#define Reader2 "USB\\VID_0E5B&PID_0A17\\R2"
#define Reader2Id "USB\\VID_0E5B&PID_0A17&REV_0200"

static std::string Folder;
static std::string Exe;
static std::string Log;
// The last run's process and where its trace lines begin.
static DWORD RunPid;
static size_t RunMark;

struct MorvexRun {
    HANDLE process;
    DWORD pid;
    HWND window;
};

// The last run traced a line holding these parts, in order.
#define ok_traced(...) CheckTracedAt(__FILE__, __LINE__, RunPid, RunMark, {__VA_ARGS__})

// Starts morvex and waits until its first scan is over and it pumps messages.
static bool StartMorvex(MorvexRun *run)
{
    DeleteFileA(Log.c_str());
    RunMark = TraceMark();
    run->process = StartProgram(Exe, "", true, Log);
    run->pid = run->process ? GetProcessId(run->process) : 0;
    RunPid = run->pid;
    run->window = WaitForWindowOfClass("MORVEX", run->pid, 60000);
    if (!run->window || !WaitUntilIdle(run->window, 60000)) {
        ok(false, "morvex did not come up");
        KillProgram(run->process);
        return false;
    }
    return true;
}

// File > Exit; returns the exit code.
static DWORD ExitMorvex(MorvexRun *run)
{
    PostMessageA(run->window, WM_COMMAND, 105, 0);
    DWORD code = WaitForExit(run->process, 60000);
    if (code == STILL_ACTIVE)
        KillProgram(run->process);
    else
        CloseHandle(run->process);
    return code;
}

// One run of morvex: its start-up scan, then File > Exit.
static std::vector<InstallRequest> ScanOnce(void)
{
    MorvexRun run;
    if (!StartMorvex(&run))
        return std::vector<InstallRequest>();
    ok(!ProcessHasVisibleWindow(run.pid), "morvex shows a window");
    DWORD code = ExitMorvex(&run);
    ok(code == 0, "File > Exit ends morvex with %lu", code);
    return ReadInstallRequests(Log);
}

static unsigned CountFor(const std::vector<InstallRequest> &requests, const char *hardwareId)
{
    unsigned count = 0;
    for (size_t i = 0; i < requests.size(); i++)
        if (requests[i].hardwareId == hardwareId)
            count++;
    return count;
}

static void SetReaderServices(const char *reader1, const char *reader2)
{
    ok(SetDeviceService(Reader1, reader1), "service of reader 1");
    ok(SetDeviceService(Reader2, reader2), "service of reader 2");
}

static void SeedDevices(void)
{
    ok(AddDevice(Reader1, {Reader1Id, "USB\\Vid_0e5b&Pid_0a17"}, "USBSTOR", true), "reader 1");
    ok(AddDevice(Reader2, {Reader2Id}, "HidUsb", true), "reader 2");
    // Never requested, whatever the readers' state: not present (no
    // interface), a first ID one character short, the reader's ID only as
    // a second hardware ID.
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\N1", {"USB\\VID_0E5B&PID_0A17&REV_0300"}, "USBSTOR",
                 false),
       "reader without interface");
    ok(AddDevice("USB\\VID_0E5B&PID_0A1\\S1", {"USB\\VID_0E5B&PID_0A1"}, "USBSTOR", true),
       "short ID");
    ok(AddDevice("USB\\VID_1111&PID_2222\\O1",
                 {"USB\\VID_1111&PID_2222&REV_0001", "USB\\VID_0E5B&PID_0A17"}, "USBSTOR", true),
       "other device");
}

static void CheckForcedFromReaderInf(const InstallRequest &request)
{
    ok(request.infPath == ExpectedInfPath, "INF path %s", request.infPath.c_str());
    ok(request.flags == 1, "forced: flags %lu", request.flags);
}

// Every scan asks again while the reader stays on the generic service.
static void test_generic_storage_gets_reader_driver(void)
{
    SetReaderServices("USBSTOR", "HidUsb");
    for (int scan = 0; scan < 2; scan++) {
        std::vector<InstallRequest> r = ScanOnce();
        ok(r.size() == 1, "scan %d: %u requests", scan, (unsigned)r.size());
        if (r.size() != 1)
            continue;
        ok(r[0].hardwareId == Reader1Id, "own hardware ID, case kept: %s",
           r[0].hardwareId.c_str());
        CheckForcedFromReaderInf(r[0]);
    }
    ok_traced("morvex: start: reference driver " ReferencePath ", written " TimeAt0);
    ok_traced("morvex: scan 1 begun (start-up)");
    ok_traced("morvex: scan 1: its own driver to be installed: on service USBSTOR, the generic "
              "storage one: reader " Reader1Id " (device ");
    ok_traced("morvex: scan 1: installation requested for " Reader1Id ": INF " ExpectedInfPath
              ", flags 1 (forced)");
    ok_traced("morvex: scan 1: installation returned TRUE, last error 0 (Success.)");
    ok_traced("morvex: scan 1: left alone: on service HidUsb, neither USBSTOR nor FLASHREADER: "
              "reader " Reader2Id " (device ");
    ok_traced("morvex: scan 1 ended: ",
              " present USB devices, 2 readers, 1 installations requested");
    ok_traced("morvex: ends: exit code 0");

    // A refused installation is traced with its error, and the scan goes
    // on with the next reader.
    SetReaderServices("USBSTOR", "USBSTOR");
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_AT", "1");
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_ERROR", "5");
    std::vector<InstallRequest> r = ScanOnce();
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_AT", NULL);
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_ERROR", NULL);
    ok(r.size() == 2 && CountFor(r, Reader1Id) == 1 && CountFor(r, Reader2Id) == 1,
       "both readers, IDs in either case: %u requests", (unsigned)r.size());
    for (size_t i = 0; i < r.size(); i++)
        CheckForcedFromReaderInf(r[i]);
    ok_traced("morvex: scan 1: installation returned FALSE, last error 5 (Access denied.)");
    ok_traced("morvex: scan 1: installation returned TRUE, last error 0 (Success.)");
    ok_traced("morvex: scan 1 ended: ", ", 2 readers, 2 installations requested");

    // What 64-bit Windows answers a 32-bit program (ERROR_IN_WOW64): its
    // number as the Setup API writes it.
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_AT", "2");
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_ERROR", "3758096949");
    ScanOnce();
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_AT", NULL);
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_ERROR", NULL);
    ok_traced("morvex: scan 1: installation returned FALSE, last error 0xE0000235");
}

static void test_reader_driver_follows_reference_time(void)
{
    SetReaderServices("FLASHREADER", "HidUsb");
    ok(MakeFileWithTime(InstalledPath, FileTimeAtSeconds(0)), "installed driver");
    std::vector<InstallRequest> r = ScanOnce();
    ok(r.empty(), "same time as the reference: %u requests", (unsigned)r.size());
    ok_traced("morvex: scan 1: left alone: on service FLASHREADER, installed driver written "
              TimeAt0 ", as the reference: reader " Reader1Id " (device ");

    const long long shifts[] = {-1, 1};
    for (int i = 0; i < 2; i++) {
        ok(MakeFileWithTime(InstalledPath, FileTimeAtSeconds(shifts[i])), "installed driver");
        r = ScanOnce();
        ok(r.size() == 1 && CountFor(r, Reader1Id) == 1,
           "installed driver %+lld s from the reference: %u requests", shifts[i],
           (unsigned)r.size());
        if (r.size() == 1)
            CheckForcedFromReaderInf(r[0]);
    }
    // The last one, a second newer.
    ok_traced("morvex: scan 1: its own driver to be installed again: on service FLASHREADER, "
              "installed driver written " TimeAt1 ", the reference " TimeAt0 ": reader " Reader1Id
              " (device ");
}

static void test_other_services_left_alone(void)
{
    ok(MakeFileWithTime(InstalledPath, FileTimeAtSeconds(5)), "installed driver");
    SetReaderServices("HidUsb", "usbccgp");
    std::vector<InstallRequest> r = ScanOnce();
    ok(r.empty(), "readers on other services: %u requests", (unsigned)r.size());
    ok_traced("morvex: scan 1: left alone: on service usbccgp, neither USBSTOR nor FLASHREADER: "
              "reader " Reader2Id " (device ");
}

// Whichever reader the scan meets first, the one on its own service with an
// unreadable driver file is passed over and the other is still served.
static void test_missing_installed_driver_skips_only_that_reader(void)
{
    DeleteFileA(InstalledPath);
    SetReaderServices("FLASHREADER", "USBSTOR");
    std::vector<InstallRequest> r = ScanOnce();
    ok(r.size() == 1 && CountFor(r, Reader2Id) == 1,
       "reader 1 passed over, reader 2 served: %u requests", (unsigned)r.size());
    ok_traced("morvex: scan 1: rest of the reader table skipped for this device: on service "
              "FLASHREADER, installed driver " InstalledPath " cannot be read: 2 (File not found.): "
              "reader " Reader1Id " (device ");

    SetReaderServices("USBSTOR", "FLASHREADER");
    r = ScanOnce();
    ok(r.size() == 1 && CountFor(r, Reader1Id) == 1,
       "reader 2 passed over, reader 1 served: %u requests", (unsigned)r.size());
}

static void test_missing_reference_ends_at_once(void)
{
    SetReaderServices("USBSTOR", "USBSTOR");
    DeleteFileA(ReferencePath);
    DeleteFileA(Log.c_str());
    bool window = false;
    RunMark = TraceMark();
    HANDLE process = StartProgram(Exe, "", true, Log);
    RunPid = process ? GetProcessId(process) : 0;
    DWORD code = FinishProgramWatchingWindow(process, "MORVEX", 60000, &window);
    ok(code == 0, "exit code %lu", code);
    ok(!window, "a window was created");
    ok(ReadInstallRequests(Log).empty(), "a scan ran");
    ok_traced("morvex: start: ends: no reference driver: " ReferencePath
              " cannot be opened: 2 (File not found.)");
    ok(MakeFileWithTime(ReferencePath, FileTimeAtSeconds(0)), "reference copy back");
}

static void CloseAbout(HWND dialog, bool byEscape)
{
    if (byEscape)
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 1);
    else
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ok(WaitForWindowGone(dialog, 30000), "the About box stays open after %s",
       byEscape ? "Escape" : "OK");
}

static void CheckAbout(const MorvexRun &run, HWND dialog, const char *how)
{
    ok(dialog != NULL, "no About box after %s", how);
    if (!dialog)
        return;
    ok(GetWindow(dialog, GW_OWNER) == run.window, "About box after %s not owned by the window", how);
    char line[64] = "";
    GetDlgItemTextA(dialog, IDOK, line, sizeof(line));
    ok(strcmp(line, "OK") == 0, "button %s", line);
}

static void test_about_box_and_exit(void)
{
    SetReaderServices("HidUsb", "HidUsb");
    MorvexRun run;
    if (!StartMorvex(&run))
        return;

    PostMessageA(run.window, WM_COMMAND, MAKEWPARAM(104, 1), 0);
    HWND dialog = WaitForDialogOfProcess("About", run.pid, 30000);
    CheckAbout(run, dialog, "command 104");
    if (dialog)
        CloseAbout(dialog, false);

    // The accelerators want Alt: the bare character opens nothing. A posted
    // message has no observable end, so this waits a while for a box that
    // must not come; a slow one can only slip past.
    PostMessageA(run.window, WM_CHAR, '?', 1);
    ok(WaitForDialogOfProcess("About", run.pid, 3000) == NULL, "'?' without Alt opened About");

    dialog = OpenDialogWithAltCharacter(run.window, '?', "About", 30000);
    CheckAbout(run, dialog, "Alt+?");
    if (dialog)
        CloseAbout(dialog, true);

    dialog = OpenDialogWithAltCharacter(run.window, '/', "About", 30000);
    CheckAbout(run, dialog, "Alt+/");
    if (dialog)
        CloseAbout(dialog, false);

    ok(FindDialogOfProcess("About", run.pid) == NULL, "an About box is left open");

    // A second copy in the session says why it ends at once.
    RunMark = TraceMark();
    HANDLE second = StartProgram(Exe, "", true, Log);
    RunPid = second ? GetProcessId(second) : 0;
    bool window = false;
    DWORD secondCode = FinishProgramWatchingWindow(second, "MORVEX", 60000, &window);
    ok(secondCode == 0 && !window, "second copy: exit code %lu, window %d", secondCode, window);
    ok_traced("morvex: start: another morvex runs in this session: ends");
    ok(WaitForExit(run.process, 0) == STILL_ACTIVE, "morvex ended with its About box");
    ok(!IsWindowVisible(run.window), "the main window became visible");
    DWORD code = ExitMorvex(&run);
    ok(code == 0, "File > Exit ends morvex with %lu", code);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    Folder = MakeWorkFolder("morvex");
    Exe = CopyProgramTo(Folder, "morvex.exe");
    Log = NewdevLogPath(Folder);
    InstallNewdevRecorder(Folder);
    CreateDirectoryA("C:\\windows\\zelmot", NULL);
    ok(MakeFileWithTime(ReferencePath, FileTimeAtSeconds(0)), "reference copy");
    SeedDevices();
    RUN_TEST(test_generic_storage_gets_reader_driver);
    RUN_TEST(test_reader_driver_follows_reference_time);
    RUN_TEST(test_other_services_left_alone);
    RUN_TEST(test_missing_installed_driver_skips_only_that_reader);
    RUN_TEST(test_missing_reference_ends_at_once);
    RUN_TEST(test_about_box_and_exit);
    return FinishTests();
}
