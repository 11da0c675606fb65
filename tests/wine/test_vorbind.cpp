// vorbind under Wine: devices seeded through the Setup API, the real
// program run in each variant, its installation requests read from the
// newdev recorder. What the argument text and the selection rule decide on
// their own (separators, lengths, the 21-character first ID, the case of
// "USB") is the native tests' and the fuzzers'; here is what Windows adds:
// the devices the set holds, present or not, the property as the Setup API
// hands it over, the command line each build gets, and its end.
#include "harness.h"
#include "tracereader.h"

static std::string Folder;
// vorbind runs one pass and ends; a slow machine takes seconds, not this.
static const DWORD RunDeadline = 120000;

struct VorbindRun {
    DWORD pid;
    size_t mark;
};

// The run traced a line holding these parts, in order.
#define ok_traced_by(run, ...) CheckTracedAt(__FILE__, __LINE__, (run).pid, (run).mark, {__VA_ARGS__})

// Runs a build to its end: exit code 0, no window shown. Its requests.
static std::vector<InstallRequest> RunVorbind_(At at, const char *exe, const std::string &arguments,
                                               VorbindRun *run)
{
    std::string log = NewdevLogPath(Folder);
    DeleteFileA(log.c_str());
    run->mark = TraceMark();
    HANDLE process = StartProgram(Folder + "\\" + exe, arguments, true, log);
    run->pid = process ? GetProcessId(process) : 0;
    // A run that never ends is killed and fails here, instead of hanging
    // the test until ctest gives up on it.
    bool visible = false;
    DWORD code = FinishProgramWatchingWindow(process, NULL, RunDeadline, &visible);
    ok_at(at, code == 0 && !visible, "%s: exit code 0x%lx, a window %s", exe, code,
          visible ? "shown" : "never shown");
    return ReadInstallRequests(log);
}
#define RunVorbind(exe, arguments, run) RunVorbind_(HERE, exe, arguments, run)

// The reader's IDs on several devices: one present on the generic storage
// service, one whose ID has lower-case letters, and twins with one ID that
// were never started (no service, no interface). None of the others has
// the reader's first ID.
#define Present "USB\\VID_0E5B&PID_0A17&REV_0100"
#define MixedCase "USB\\Vid_0e5b&Pid_0a17&Rev_0002"
#define MixedCaseRequested "USB\\Vid_0E5B&PID_0A17&REV_0002"
#define Twin "USB\\VID_0E5B&PID_0A17&REV_0003"

static void SeedDevices(void)
{
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\A1", {Present, "USB\\VID_0E5B&PID_0A17"}, "USBSTOR", true),
       "present device");
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\B1", {MixedCase}, NULL, false), "mixed-case device");
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\C1", {Twin}, NULL, false), "twin 1");
    ok(AddDevice("USB\\VID_0E5B&PID_0A17\\C2", {Twin}, NULL, false), "twin 2");
    ok(AddDevice("USB\\VID_1111&PID_2222\\F1",
                 {"USB\\VID_1111&PID_2222&REV_0001", "USB\\VID_0E5B&PID_0A17&REV_0001"}, NULL, false),
       "device with the reader's ID second");
}

static unsigned CountFor(const std::vector<InstallRequest> &requests, const char *hardwareId)
{
    unsigned count = 0;
    for (const InstallRequest &request : requests)
        count += request.hardwareId == hardwareId;
    return count;
}

// Every device of the set is examined, present or not, and each match asked
// for with its own ID as the rule upper-cased it, also after a refused
// installation, whose error the trace gives.
static void test_inf_folder_build(void)
{
    VorbindRun run;
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL", "1:5");
    std::vector<InstallRequest> r = RunVorbind("vorbind.exe", "0e5b 0a17 zelmot.inf", &run);
    SetEnvironmentVariableA("KIT_NEWDEV_FAIL", NULL);
    ok(r.size() == 4 && CountFor(r, Present) == 1 && CountFor(r, MixedCaseRequested) == 1 &&
           CountFor(r, Twin) == 2,
       "%u requests", (unsigned)r.size());
    for (const InstallRequest &request : r)
        ok(request.infPath == "C:\\windows\\inf\\zelmot.inf" && request.flags == 1,
           "request for %s: INF %s, flags %lu", request.hardwareId.c_str(),
           request.infPath.c_str(), request.flags);
    ok_traced_by(run, "vorbind: understood: vendor 0e5b, product 0a17, INF "
                      "C:\\windows\\inf\\zelmot.inf (from the argument text), flags 1 (forced)");
    ok_traced_by(run, "vorbind: device ", ": installation requested: its hardware ID " Present
                                          " matches");
    ok_traced_by(run, "vorbind: device ", ": installation returned FALSE, last error 5 "
                                          "(Access denied.)");
    ok_traced_by(run, "vorbind: device ", ": installation returned TRUE, last error 0 (Success.)");
    ok_traced_by(run, "vorbind: done: ", " devices examined, 4 matched");

    // This build names the INF file from the text, so it refuses a name it
    // would have to cut.
    r = RunVorbind("vorbind.exe", "0e5b 0a17 " + std::string(56, 'n') + ".inf", &run);
    ok(r.empty(), "a 60-character INF name gives %u requests", (unsigned)r.size());
    ok_traced_by(run, "vorbind: nothing re-bound: the argument text \"0e5b 0a17 nnnn",
                 ".inf\" names an INF file of more than 59 characters");
}

// The other two builds pass their own fixed path: the third word, however
// long, even past the 159 characters the program keeps, must not stop them.
static void test_builds_with_their_own_inf(void)
{
    const struct {
        const char *exe;
        const char *infPath;
        unsigned long flags;
        const char *line;
    } builds[] = {
        {"vorbind-oem.exe", "OEMDRVRS\\zelmot.inf", 1,
         "vorbind-oem: understood: vendor 0e5b, product 0a17, INF OEMDRVRS\\zelmot.inf (this "
         "build's own), flags 1 (forced)"},
        {"vorbind-bare.exe", "zelmot.inf", 0,
         "vorbind-bare: understood: vendor 0e5b, product 0a17, INF zelmot.inf (this build's "
         "own), flags 0 (not forced)"},
    };
    std::string name = std::string(396, 'n') + ".inf";
    for (const auto &build : builds) {
        VorbindRun run;
        std::vector<InstallRequest> r = RunVorbind(build.exe, "0e5b 0a17 " + name, &run);
        ok(r.size() == 4 && CountFor(r, Present) == 1, "%s: %u requests", build.exe,
           (unsigned)r.size());
        for (const InstallRequest &request : r)
            ok(request.infPath == build.infPath && request.flags == build.flags,
               "%s: INF %s, flags %lu", build.exe, request.infPath.c_str(), request.flags);
        ok_traced_by(run, build.line);
    }
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
    RUN_TEST(test_inf_folder_build);
    RUN_TEST(test_builds_with_their_own_inf);
    return FinishTests();
}
