// morvex under Wine: readers seeded through the Setup API, the driver files
// put in the Windows directory, the real program started with the newdev
// recorder; each run scans once while its window is created. Then one copy
// a session: a second copy ends at once, and one with more rights takes
// over from a copy without them (the device class key, where an
// installation writes, made read-only while that one starts), also where
// the running copy is another account's whose lock this one may not open.
#include "morvexrun.h"
#include "takeover.h"
#include "tracereader.h"
#include <sddl.h>
#include <string.h>

#define ReferencePath "C:\\windows\\zelmot\\zelmot.sys"
#define InstalledPath "C:\\windows\\system32\\drivers\\zelmot.sys"
#define ExpectedInfPath "C:\\windows\\ZELMOT\\ZELMOT.INF"
// FileTimeAtSeconds(-1), (0) and (1) as the trace writes them.
#define TimeBefore "2004-05-31 07:59:59 UTC"
#define TimeAt0 "2004-05-31 08:00:00 UTC"
#define TimeAt1 "2004-05-31 08:00:01 UTC"

// Two instances of the reader, each with its own first hardware ID.
#define Reader1 "USB\\VID_0E5B&PID_0A17\\R1"
#define Reader1Id "USB\\Vid_0e5b&Pid_0a17&Rev_0100"
#define Reader2 "USB\\VID_0E5B&PID_0A17\\R2"
#define Reader2Id "USB\\VID_0E5B&PID_0A17&REV_0200"

#define ClassKey "SYSTEM\\CurrentControlSet\\Control\\Class"
#define OtherRuns "morvex: start: another morvex runs in this session: ends: "
#define TookOver                                                                           \
    "morvex: start: took over from the morvex that ran in this session, which may not "     \
    "install drivers"

static std::string Folder;
static std::string Exe;

// A recorder log of its own for each copy.
static std::string LogOf(const char *copy)
{
    return Folder + "\\" + copy + ".log";
}

static void SetReaderServices_(At at, const char *reader1, const char *reader2)
{
    ok_at(at, SetDeviceService(Reader1, reader1) && SetDeviceService(Reader2, reader2),
          "services %s, %s", reader1, reader2);
}
#define SetReaderServices(reader1, reader2) SetReaderServices_(HERE, reader1, reader2)

static unsigned CountFor(const std::vector<InstallRequest> &requests, const char *hardwareId)
{
    unsigned count = 0;
    for (const InstallRequest &request : requests)
        count += request.hardwareId == hardwareId;
    return count;
}

// Every request forced, from the reader's INF in the Windows folder.
static void CheckForcedFromReaderInf_(At at, const std::string &log)
{
    for (const InstallRequest &request : ReadInstallRequests(log))
        ok_at(at, request.infPath == ExpectedInfPath && request.flags == 1,
              "request for %s: INF %s, flags %lu", request.hardwareId.c_str(),
              request.infPath.c_str(), request.flags);
}
#define CheckForcedFromReaderInf(log) CheckForcedFromReaderInf_(HERE, log)

// One run: its start-up scan, then File > Exit.
static MorvexRun ScanOnce_(At at, const std::string &log)
{
    MorvexRun run;
    StartMorvex_(at, Exe, log, &run);
    ok_at(at, !ProcessHasVisibleWindow(run.pid), "morvex shows a window");
    ExitMorvex_(at, &run);
    return run;
}
#define ScanOnce(log) ScanOnce_(HERE, log)

static void SeedDevices(void)
{
    ok(AddDevice(Reader1, {Reader1Id, "USB\\Vid_0e5b&Pid_0a17"}, "USBSTOR", true), "reader 1");
    ok(AddDevice(Reader2, {Reader2Id}, "HidUsb", true), "reader 2");
    // Never requested, whatever the readers' state: not present (no
    // interface), and the reader's ID only as a second hardware ID.
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\N1", {"USB\\VID_0E5B&PID_0A17&REV_0300"}, "USBSTOR",
                 false),
       "reader without interface");
    ok(AddDevice("USB\\VID_1111&PID_2222\\O1",
                 {"USB\\VID_1111&PID_2222&REV_0001", "USB\\VID_0E5B&PID_0A17"}, "USBSTOR", true),
       "other device");
}

static void test_generic_storage_gets_reader_driver(void)
{
    SetReaderServices("USBSTOR", "HidUsb");
    std::string log = LogOf("generic");
    MorvexRun run = ScanOnce(log);
    CheckRequests(log, Reader1Id);
    CheckForcedFromReaderInf(log);
    ok_traced_by(run, "morvex: start: reference driver " ReferencePath ", written " TimeAt0
                      "; this account may install drivers");
    ok_traced_by(run, "morvex: scan 1 begun (start-up)");
    ok_traced_by(run, "morvex: scan 1: its own driver to be installed: on service USBSTOR, the "
                      "generic storage one: reader " Reader1Id " (device ");
    ok_traced_by(run, "morvex: scan 1: installation requested for " Reader1Id
                      ": INF " ExpectedInfPath ", flags 1 (forced)");
    ok_traced_by(run, "morvex: scan 1: installation returned TRUE, last error 0 (Success.)");
    ok_traced_by(run, "morvex: scan 1: left alone: on service HidUsb, neither USBSTOR nor "
                      "FLASHREADER: reader " Reader2Id " (device ");
    ok_traced_by(run, "morvex: scan 1 ended: ",
                 " present USB devices, 2 readers, 1 installations requested");
    ok_traced_by(run, "morvex: ends: exit code 0");

    // Refused installations are traced with their errors, the second one
    // as 64-bit Windows answers a 32-bit program (ERROR_IN_WOW64, written
    // as the Setup API writes its codes); the scan goes on after each.
    SetReaderServices("USBSTOR", "USBSTOR");
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL", "1:5,2:0xE0000235");
    run = ScanOnce(log);
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL", NULL);
    std::vector<InstallRequest> r = ReadInstallRequests(log);
    ok(r.size() == 2 && CountFor(r, Reader1Id) == 1 && CountFor(r, Reader2Id) == 1,
       "both readers, IDs in either case: [%s]", Joined(RequestedIds(log)).c_str());
    CheckForcedFromReaderInf(log);
    ok_traced_by(run, "morvex: scan 1: installation returned FALSE, last error 5 (Access denied.)");
    ok_traced_by(run, "morvex: scan 1: installation returned FALSE, last error 0xE0000235");
    ok_traced_by(run, "morvex: scan 1 ended: ", ", 2 readers, 2 installations requested");
}

// The installed driver against the reference (written at 0 s): the same
// time is left alone, one second either way brings the installation back.
static void test_reader_driver_follows_reference_time(void)
{
    SetReaderServices("FLASHREADER", "HidUsb");
    const struct {
        long long seconds;
        bool requested;
        const char *line;
    } cases[] = {
        {0, false, "morvex: scan 1: left alone: on service FLASHREADER, installed driver written "
                   TimeAt0 ", as the reference: reader " Reader1Id " (device "},
        {-1, true, "morvex: scan 1: its own driver to be installed again: on service FLASHREADER, "
                   "installed driver written " TimeBefore ", the reference " TimeAt0 ": reader "
                   Reader1Id " (device "},
        {1, true, "morvex: scan 1: its own driver to be installed again: on service FLASHREADER, "
                  "installed driver written " TimeAt1 ", the reference " TimeAt0 ": reader "
                  Reader1Id " (device "},
    };
    std::string log = LogOf("reference-time");
    for (const auto &c : cases) {
        ok(MakeFileWithTime(InstalledPath, FileTimeAtSeconds(c.seconds)), "installed driver");
        MorvexRun run = ScanOnce(log);
        ok(RequestedIds(log) == (c.requested ? std::vector<std::string>{Reader1Id}
                                             : std::vector<std::string>{}),
           "installed driver %+lld s from the reference: requested [%s]", c.seconds,
           Joined(RequestedIds(log)).c_str());
        CheckForcedFromReaderInf(log);
        ok_traced_by(run, c.line);
    }
}

// morvex has no icon resources: its About box, whose icon control names
// one, comes all the same, owned by the main window, and goes with OK.
static void CheckAboutBox_(At at, const MorvexRun &run)
{
    PostMessageA(run.window, WM_COMMAND, 104, 0);
    HWND dialog = WaitForDialogOfProcess("About", run.pid, 30000);
    ok_at(at, dialog && GetWindow(dialog, GW_OWNER) == run.window,
          "no About box owned by the main window");
    if (!dialog)
        return;
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ok_at(at, WaitForWindowGone(dialog, 30000), "the About box stays open after OK");
}
#define CheckAboutBox(run) CheckAboutBox_(HERE, run)

// The device class key as a limited account meets it (everyone may only
// read it), or open to all again.
static void SetClassKeyWritable_(At at, bool writable)
{
    ok_at(at, RegSetAccess(HKEY_LOCAL_MACHINE, ClassKey,
                           writable ? "D:P(A;OICI;KA;;;WD)" : "D:P(A;OICI;KR;;;WD)"),
          "access of the device class key");
}
#define SetClassKeyWritable(writable) SetClassKeyWritable_(HERE, writable)

// The copy without rights ended when the raised one asked, and only then
// did the raised one go on to its scan.
static void CheckTakenOver_(At at, MorvexRun *limited, const MorvexRun &raised)
{
    DWORD code = FinishProgram(limited->process, 60000);
    limited->process = NULL;
    ok_at(at, code == 0, "the copy taken over from: exit code %lu", code);
    CheckTracedAt(at.file, at.line, limited->pid, limited->mark,
                  {"morvex: a morvex that may install drivers takes over: ends"});
    long ended = WaitForTrace(limited->pid, "morvex: ends: exit code 0", limited->mark, 30000);
    long tookOver = WaitForTrace(raised.pid, TookOver, raised.mark, 30000);
    long scan = WaitForTrace(raised.pid, "morvex: scan 1 begun (start-up)", raised.mark, 30000);
    ok_at(at, ended >= 0 && ended < tookOver && tookOver < scan,
          "not taken over once the other ended: lines %ld, %ld, %ld", ended, tookOver, scan);
    if (ended < 0 || tookOver < 0 || scan < 0)
        PrintTrace(limited->mark);
}
#define CheckTakenOver(limited, raised) CheckTakenOver_(HERE, limited, raised)

static void test_one_copy_a_session(void)
{
    SetReaderServices("USBSTOR", "HidUsb");
    SetClassKeyWritable(false);
    MorvexRun limited;
    StartMorvex(Exe, LogOf("limited"), &limited);
    ok_traced_by(limited, "morvex: start: reference driver ", "; this account may not install "
                          "drivers: the device class key cannot be written: 5 (Access denied.)");
    CheckRequests(LogOf("limited"), Reader1Id);
    CheckAboutBox(limited);

    // A second copy without more rights ends at once, saying how to get one.
    CheckEndsAtOnce(Exe, LogOf("second"),
                    OtherRuns "this one may not install drivers; one started with an "
                              "administrator's rights (Run as administrator; on 2000 and XP, "
                              "Run as...) takes over from it");
    ok(WaitForExit(limited.process, 0) == STILL_ACTIVE, "the running copy ended");

    SetClassKeyWritable(true);
    MorvexRun raised;
    StartMorvex(Exe, LogOf("raised"), &raised);
    ok_traced_by(raised, "morvex: start: reference driver ", "; this account may install drivers");
    CheckTakenOver(&limited, raised);
    CheckRequests(LogOf("raised"), Reader1Id);

    // Raised over raised: the running one stays.
    CheckEndsAtOnce(Exe, LogOf("third"), OtherRuns "it may install drivers too");
    ok(WaitForExit(raised.process, 0) == STILL_ACTIVE, "the raised copy ended");
    ExitMorvex(&raised);
    if (limited.process)
        KillProgram(limited.process);
}

// Run as... on 2000 and XP: the running copy is another account's, whose
// lock this one may not even open (CreateMutex fails with 5, not 183).
// This test plays that copy: it holds the lock with an access list that
// admits only the system, and a window of morvex's class answers as a
// copy without the rights to install drivers, ending (or not) when asked.
struct OtherAccountCopy {
    HANDLE lock;
    HWND window;
    bool ends; // lets the lock go and closes its window when asked
    LONG asked;
};
static OtherAccountCopy Other;

static LRESULT CALLBACK OtherCopyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == TakeoverMessage) {
        InterlockedIncrement(&Other.asked);
        if (Other.ends) {
            CloseHandle(Other.lock);
            Other.lock = NULL;
            DestroyWindow(window);
        }
        return RightsMayNotInstall;
    }
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

static DWORD WINAPI OtherCopyThread(LPVOID ready)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = OtherCopyProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "MORVEX";
    RegisterClassA(&wc);
    Other.window = CreateWindowA("MORVEX", "morvex", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, NULL, NULL,
                                 wc.hInstance, NULL);
    SetEvent((HANDLE)ready);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

static HANDLE StartOtherAccountCopy_(At at, bool ends)
{
    Other = OtherAccountCopy{NULL, NULL, ends, 0};
    PSECURITY_DESCRIPTOR descriptor = NULL;
    ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;GA;;;SY)", SDDL_REVISION_1,
                                                         &descriptor, NULL);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    Other.lock = CreateMutexA(&attributes, FALSE, "MorvexRunning");
    LocalFree(descriptor);
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE thread = CreateThread(NULL, 0, OtherCopyThread, ready, 0, NULL);
    WaitForSingleObject(ready, 30000);
    CloseHandle(ready);
    // What morvex meets: the lock refused to this account.
    HANDLE probe = CreateMutexA(NULL, FALSE, "MorvexRunning");
    ok_at(at, Other.lock && Other.window && !probe && GetLastError() == ERROR_ACCESS_DENIED,
          "the other account's copy is not in place (error %lu)", GetLastError());
    if (probe)
        CloseHandle(probe);
    return thread;
}
#define StartOtherAccountCopy(ends) StartOtherAccountCopy_(HERE, ends)

static void EndOtherAccountCopy(HANDLE thread)
{
    if (IsWindow(Other.window))
        PostMessageA(Other.window, WM_CLOSE, 0, 0);
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
    if (Other.lock)
        CloseHandle(Other.lock);
}

static void test_takeover_from_another_account(void)
{
    SetReaderServices("USBSTOR", "HidUsb");
    HANDLE thread = StartOtherAccountCopy(true);
    MorvexRun run;
    StartMorvex(Exe, LogOf("over-other"), &run);
    ok(Other.asked == 1 && !IsWindow(Other.window), "asked %ld times, window %s", Other.asked,
       IsWindow(Other.window) ? "still there" : "gone");
    ok_traced_by(run, TookOver);
    CheckRequests(LogOf("over-other"), Reader1Id);
    ExitMorvex(&run);
    EndOtherAccountCopy(thread);

    // One that does not end when asked is waited for 15 s, no longer.
    thread = StartOtherAccountCopy(false);
    CheckEndsAtOnce(Exe, LogOf("other-stays"), OtherRuns "it did not end within 15 s when asked to");
    ok(Other.asked == 1 && IsWindow(Other.window), "asked %ld times", Other.asked);
    EndOtherAccountCopy(thread);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    Folder = MakeWorkFolder("morvex");
    Exe = CopyProgramTo(Folder, "morvex.exe");
    InstallNewdevRecorder(Folder);
    CreateDirectoryA("C:\\windows\\zelmot", NULL);
    ok(MakeFileWithTime(ReferencePath, FileTimeAtSeconds(0)), "reference copy");
    SeedDevices();
    RUN_TEST(test_generic_storage_gets_reader_driver);
    RUN_TEST(test_reader_driver_follows_reference_time);
    RUN_TEST(test_one_copy_a_session);
    RUN_TEST(test_takeover_from_another_account);
    return FinishTests();
}
