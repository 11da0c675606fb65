// vorbind under Wine: devices seeded through the Setup API, the real
// program run in each variant, its installation requests read from the
// newdev recorder.
#include "harness.h"
#include "tracereader.h"

static std::string Folder;
// vorbind runs one pass and ends; a slow machine takes seconds, not this.
static const DWORD RunDeadline = 120000;
// The last run's process and where its trace lines begin.
static DWORD RunPid;
static size_t RunMark;

// The last run traced a line holding these parts, in order.
#define ok_traced(...) CheckTracedAt(__FILE__, __LINE__, RunPid, RunMark, {__VA_ARGS__})

static std::vector<InstallRequest> RunVorbind(const char *exe, const std::string &arguments,
                                              DWORD *exitCode)
{
    std::string exePath = Folder + "\\" + exe;
    std::string log = NewdevLogPath(Folder);
    DeleteFileA(log.c_str());
    RunMark = TraceMark();
    HANDLE process = StartProgram(exePath, arguments, true, log);
    RunPid = process ? GetProcessId(process) : 0;
    // A run that never ends is killed and fails here, instead of hanging
    // the test until ctest gives up on it.
    bool visible = false;
    *exitCode = FinishProgramWatchingWindow(process, NULL, RunDeadline, &visible);
    ok(!visible, "%s showed a window", exe);
    ok(*exitCode != STILL_ACTIVE, "%s did not end within %lu s", exe,
       (unsigned long)(RunDeadline / 1000));
    return ReadInstallRequests(log);
}

static void SeedDevices(void)
{
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\A1",
                 {"USB\\VID_0E5B&PID_0A17&REV_0100", "USB\\VID_0E5B&PID_0A17"}, "USBSTOR", true),
       "device A");
    ok(AddDevice("USB\\VID_0E5C&PID_0001\\B1", {"USB\\Vid_0e5c&Pid_00ab&Rev_0001"}, NULL, false),
       "mixed-case device");
    ok(AddDevice("USB\\VID_0E5D&PID_0001\\C1", {"usb\\VID_0E5D&PID_0001&REV_0001"}, NULL, false),
       "lower-case usb device");
    ok(AddDevice("USB\\VID_0E5E&PID_0001\\D1", {"USB\\VID_0E5E&PID_0001"}, NULL, false),
       "21-character device");
    ok(AddDevice("USB\\VID_0E5F&PID_0001\\E1", {"USB\\VID_0E5F&PID_000"}, NULL, false),
       "20-character device");
    ok(AddDevice("USB\\VID_1111&PID_2222\\F1",
                 {"USB\\VID_1111&PID_2222&REV_0001", "USB\\VID_0E60&PID_0001&REV_0001"}, NULL, false),
       "second-ID device");
    ok(AddDevice("USB\\VID_0E61&PID_0001\\G1", {"USB\\VID_0E61&PID_0001&REV_0001"}, NULL, false),
       "twin 1");
    ok(AddDevice("USB\\VID_0E61&PID_0001\\G2", {"USB\\VID_0E61&PID_0001&REV_0001"}, NULL, false),
       "twin 2");
    // Known to the system but never started: no service, no interface.
    ok(AddDevice("USB\\VID_0E62&PID_0001\\H1", {"USB\\VID_0E62&PID_0001&REV_0001"}, NULL, false),
       "absent device");
    // Same vendor as A, other product: must not be picked up with A.
    ok(AddDevice("USB\\VID_0E5B&PID_0A18\\A2", {"USB\\VID_0E5B&PID_0A18&REV_0100"}, NULL, false),
       "sibling device");
}

static void test_variants(void)
{
    DWORD code;
    std::vector<InstallRequest> r = RunVorbind("vorbind.exe", "0e5b 0a17 zelmot.inf", &code);
    ok(code == 0, "exit code %lu", code);
    ok(r.size() == 1, "%u requests", (unsigned)r.size());
    if (r.size() == 1) {
        ok(r[0].hardwareId == "USB\\VID_0E5B&PID_0A17&REV_0100", "id %s", r[0].hardwareId.c_str());
        ok(r[0].infPath == "C:\\windows\\inf\\zelmot.inf", "inf %s", r[0].infPath.c_str());
        ok(r[0].flags == 1, "flags %lu", r[0].flags);
    }
    ok_traced("vorbind: understood: vendor 0e5b, product 0a17, INF C:\\windows\\inf\\zelmot.inf "
              "(from the argument text), flags 1 (forced)");
    ok_traced("vorbind: device ",
              ": installation requested: its hardware ID USB\\VID_0E5B&PID_0A17&REV_0100 matches");
    ok_traced("vorbind: device ", ": installation returned TRUE, last error 0 (Success.)");
    ok_traced("vorbind: done: ", " devices examined, 1 matched");

    r = RunVorbind("vorbind-oem.exe", "0e5b 0a17 other.inf", &code);
    ok(code == 0, "exit code %lu", code);
    ok(r.size() == 1 && r[0].infPath == "OEMDRVRS\\zelmot.inf" && r[0].flags == 1,
       "oem variant: %u requests, %s", (unsigned)r.size(), r.empty() ? "" : r[0].infPath.c_str());
    ok_traced("vorbind-oem: understood: vendor 0e5b, product 0a17, INF OEMDRVRS\\zelmot.inf "
              "(this build's own), flags 1 (forced)");

    r = RunVorbind("vorbind-bare.exe", "0e5b 0a17 other.inf", &code);
    ok(code == 0, "exit code %lu", code);
    ok(r.size() == 1 && r[0].infPath == "zelmot.inf" && r[0].flags == 0,
       "bare variant: %u requests, %s", (unsigned)r.size(), r.empty() ? "" : r[0].infPath.c_str());
    ok_traced("vorbind-bare: understood: vendor 0e5b, product 0a17, INF zelmot.inf (this "
              "build's own), flags 0 (not forced)");
}

// The third word names the INF file only for vorbind.exe. The other two
// builds pass their own fixed path, so a long third word, even one that
// makes the whole text longer than the program keeps, must not stop them;
// vorbind.exe still refuses a name it would have to cut.
static void test_unused_inf_name_of_any_length(void)
{
    const struct {
        const char *exe;
        const char *infPath;
        unsigned long flags;
    } builds[] = {{"vorbind-oem.exe", "OEMDRVRS\\zelmot.inf", 1}, {"vorbind-bare.exe", "zelmot.inf", 0}};
    const size_t nameLengths[] = {60, 150, 400};
    for (const auto &build : builds) {
        for (size_t length : nameLengths) {
            std::string name = std::string(length - 4, 'n') + ".inf";
            DWORD code;
            std::vector<InstallRequest> r = RunVorbind(build.exe, "0e5b 0a17 " + name, &code);
            ok(code == 0, "%s, %u-character name: exit code %lu", build.exe, (unsigned)length,
               code);
            ok(r.size() == 1 && r[0].hardwareId == "USB\\VID_0E5B&PID_0A17&REV_0100" &&
                   r[0].infPath == build.infPath && r[0].flags == build.flags,
               "%s, %u-character name: %u requests, %s", build.exe, (unsigned)length,
               (unsigned)r.size(), r.empty() ? "" : r[0].infPath.c_str());
        }
    }
    DWORD code;
    std::vector<InstallRequest> r =
        RunVorbind("vorbind.exe", "0e5b 0a17 " + std::string(56, 'n') + ".inf", &code);
    ok(code == 0 && r.empty(), "vorbind.exe: a 60-character name gives %u requests",
       (unsigned)r.size());
    ok_traced("vorbind: nothing re-bound: the argument text \"0e5b 0a17 nnnn",
              ".inf\" names an INF file of more than 59 characters");
}

static void test_case_rules(void)
{
    DWORD code;
    std::vector<InstallRequest> r = RunVorbind("vorbind.exe", "0E5C 00AB x.inf", &code);
    ok(r.size() == 1, "mixed-case IDs match: %u requests", (unsigned)r.size());
    if (r.size() == 1)
        ok(r[0].hardwareId == "USB\\Vid_0E5C&PID_00AB&REV_0001",
           "requested with the ID upper-cased from the vendor on: %s", r[0].hardwareId.c_str());

    r = RunVorbind("vorbind.exe", "0e5d 0001 x.inf", &code);
    ok(r.empty(), "lower-case usb prefix is skipped: %u requests", (unsigned)r.size());
}

static void test_first_id_rules(void)
{
    DWORD code;
    std::vector<InstallRequest> r = RunVorbind("vorbind.exe", "0e5e 0001 x.inf", &code);
    ok(r.size() == 1 && r[0].hardwareId == "USB\\VID_0E5E&PID_0001",
       "21 characters match: %u requests", (unsigned)r.size());
    r = RunVorbind("vorbind.exe", "0e5f 000 x.inf", &code);
    ok(r.empty(), "20 characters never match: %u requests", (unsigned)r.size());
    r = RunVorbind("vorbind.exe", "0e60 0001 x.inf", &code);
    ok(r.empty(), "a later hardware ID does not count: %u requests", (unsigned)r.size());
}

// Each matching device is asked for, also after a refused installation,
// whose error the trace gives.
static void test_every_device(void)
{
    DWORD code;
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_AT", "1");
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_ERROR", "5");
    std::vector<InstallRequest> r = RunVorbind("vorbind.exe", "0e61 0001 x.inf", &code);
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_AT", NULL);
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL_ERROR", NULL);
    ok(code == 0, "exit code %lu", code);
    ok(r.size() == 2, "two devices with one ID give two requests: %u", (unsigned)r.size());
    ok_traced("vorbind: device ", ": installation returned FALSE, last error 5 (Access denied.)");
    ok_traced("vorbind: device ", ": installation returned TRUE, last error 0 (Success.)");
    ok_traced("vorbind: done: ", " devices examined, 2 matched");
    r = RunVorbind("vorbind.exe", "0e62 0001 x.inf", &code);
    ok(r.size() == 1, "a device without driver or interface is re-bound too: %u",
       (unsigned)r.size());
}

static void test_arguments(void)
{
    DWORD code;
    std::vector<InstallRequest> r = RunVorbind("vorbind.exe", "0e5b-0a17-name.inf", &code);
    ok(r.size() == 1 && r[0].infPath == "C:\\windows\\inf\\name.inf",
       "any separator: %u requests", (unsigned)r.size());

    r = RunVorbind("vorbind.exe", "0e5b 0a17", &code);
    ok(r.size() == 1 && r[0].infPath == "C:\\windows\\inf\\",
       "nine characters: empty INF name: %s", r.empty() ? "none" : r[0].infPath.c_str());

    r = RunVorbind("vorbind.exe", "0e5b 0a1", &code);
    ok(code == 0 && r.empty(), "eight characters: nothing, exit %lu", code);
    ok_traced("vorbind: nothing re-bound: the argument text \"0e5b 0a1\" has fewer than 9 "
              "characters");
    r = RunVorbind("vorbind.exe", "", &code);
    ok(code == 0 && r.empty(), "no argument: nothing, exit %lu", code);
    ok_traced("vorbind: nothing re-bound: the argument text \"\" has fewer than 9 characters");

    std::string name59(55, 'n');
    name59 += ".inf";
    r = RunVorbind("vorbind.exe", "0e5b 0a17 " + name59, &code);
    ok(r.size() == 1 && r[0].infPath == "C:\\windows\\inf\\" + name59,
       "a 59-character INF name is used whole");
    r = RunVorbind("vorbind.exe", "0e5b 0a17 n" + name59, &code);
    ok(code == 0 && r.empty(), "a 60-character INF name is refused, not cut: %u", (unsigned)r.size());

    std::string longText = "0e5b 0a17 x.inf" + std::string(150, ' ');
    r = RunVorbind("vorbind.exe", longText, &code);
    ok(code == 0 && r.empty(), "an argument text of 165 characters is refused: %u",
       (unsigned)r.size());
    ok_traced("vorbind: nothing re-bound: the argument text has more than 159 characters");
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    Folder = MakeWorkFolder("vorbind");
    CopyProgramTo(Folder, "vorbind.exe");
    CopyProgramTo(Folder, "vorbind-oem.exe");
    CopyProgramTo(Folder, "vorbind-bare.exe");
    InstallNewdevRecorder(Folder);
    SeedDevices();
    RUN_TEST(test_variants);
    RUN_TEST(test_unused_inf_name_of_any_length);
    RUN_TEST(test_case_rules);
    RUN_TEST(test_first_id_rules);
    RUN_TEST(test_every_device);
    RUN_TEST(test_arguments);
    return FinishTests();
}
