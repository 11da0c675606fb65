// vorbind against a device tree and a command line that a broken or
// malicious system could hand it: hardware ID lists at and past the 200
// bytes the program reads, IDs without their NUL, over-long argument texts.
// Every run must end with exit code 0 (a crash ends with an exception code)
// and request exactly the installations the data still justifies.
//
// Not simulated: a Windows directory long enough to make the INF path pass
// its 260 bytes. Wine's Windows directory is fixed (C:\windows), so that
// refusal is left to the path builder's own tests.
#include "harness.h"
#include "tracereader.h"

#define ReaderIds "0e5b 0a17 zelmot.inf"
#define InfPath "C:\\windows\\inf\\zelmot.inf"

static std::string Folder;

// Where the last run's trace lines begin; one vorbind runs at a time.
static size_t RunMark;

static std::vector<InstallRequest> RunVorbind(const std::string &arguments, DWORD *exitCode)
{
    std::string log = NewdevLogPath(Folder);
    DeleteFileA(log.c_str());
    RunMark = TraceMark();
    *exitCode = RunProgram(Folder + "\\vorbind.exe", arguments, true, log, 30000);
    return ReadInstallRequests(log);
}

static unsigned CountFor(const std::vector<InstallRequest> &requests, const std::string &id)
{
    unsigned count = 0;
    for (size_t i = 0; i < requests.size(); i++)
        if (requests[i].hardwareId == id)
            count++;
    return count;
}

// A hardware ID list of exactly size bytes, as Windows stores one: the
// first ID, a filler ID, the empty string that ends the list.
static bool AddDeviceWithListOf(const char *instance, const std::string &firstId, size_t size)
{
    std::string filler(size - firstId.size() - 3, 'X');
    std::string stored;
    DWORD type = 0;
    return AddDevice(instance, {firstId, filler}, NULL, false) &&
           RegReadBytes(HKEY_LOCAL_MACHINE,
                        (std::string("System\\CurrentControlSet\\Enum\\") + instance).c_str(),
                        "HardwareID", &stored, &type) &&
           stored.size() == size && type == REG_MULTI_SZ;
}

// A device whose hardware ID property is data alone, no NUL anywhere.
static bool AddDeviceWithRawIds(const char *instance, const std::string &data)
{
    return AddDevice(instance, {"USB\\VID_0000&PID_0000&REV_0000"}, NULL, false) &&
           PutDeviceValueBytes(instance, "HardwareID", REG_BINARY, data);
}

static const std::string Id199 = "USB\\VID_0E5B&PID_0A17&REV_0199";
static const std::string Id200 = "USB\\VID_0E5B&PID_0A17&REV_0200";
static const std::string Id201 = "USB\\VID_0E5B&PID_0A17&REV_0201";

// The first ID without its NUL fills all 200 bytes.
static std::string FullBufferId(void)
{
    std::string id = "USB\\VID_0E5B&PID_0A17&REV_N200_";
    return id + std::string(200 - id.size(), 'x');
}

static void SeedDevices(void)
{
    ok(AddDeviceWithListOf("USB\\VID_0E5B&PID_0A17\\L199", Id199, 199), "199-byte list");
    ok(AddDeviceWithListOf("USB\\VID_0E5B&PID_0A17\\L200", Id200, 200), "200-byte list");
    ok(AddDeviceWithListOf("USB\\VID_0E5B&PID_0A17\\L201", Id201, 201), "201-byte list");
    ok(AddDeviceWithRawIds("USB\\VID_0E5B&PID_0A17\\N200", FullBufferId()), "200 bytes, no NUL");
    ok(AddDeviceWithRawIds("USB\\VID_0E5B&PID_0A17\\N021", "USB\\Vid_0e5b&Pid_0a17"),
       "21 bytes, no NUL");
    ok(AddDeviceWithRawIds("USB\\VID_0E5B&PID_0A17\\N020", "USB\\VID_0E5B&PID_0A1"),
       "20 bytes, no NUL");
}

// A list that does not fit the 200 bytes cannot be read: the device is
// passed over, although its first ID alone would match. An ID without NUL
// ends where its data ends, and the installation is asked for with that
// text and nothing behind it.
static void test_hardware_id_lists(void)
{
    DWORD code;
    std::vector<InstallRequest> r = RunVorbind(ReaderIds, &code);
    ok(code == 0, "exit code 0x%lx", code);
    ok(CountFor(r, Id199) == 1, "199-byte list: %u requests", CountFor(r, Id199));
    ok(CountFor(r, Id200) == 1, "200-byte list: %u requests", CountFor(r, Id200));
    ok(CountFor(r, Id201) == 0, "201-byte list: %u requests", CountFor(r, Id201));

    std::string full = FullBufferId();
    std::string upper = full.substr(0, 26) + "N200_" + std::string(200 - 31, 'X');
    ok(CountFor(r, upper) == 1, "200 bytes without NUL: requested whole, upper-cased");
    ok(CountFor(r, "USB\\Vid_0E5B&PID_0A17") == 1,
       "21 bytes without NUL: requested with those 21 characters only");
    ok(r.size() == 4, "%u requests, expected 4", (unsigned)r.size());
    for (size_t i = 0; i < r.size(); i++)
        ok(r.size() == 4 && r[i].infPath == InfPath && r[i].flags == 1,
           "request %s|%s|%lu", r[i].hardwareId.c_str(), r[i].infPath.c_str(), r[i].flags);
}

// A command line far longer than the 159 characters the program keeps (the
// boundary itself is the native tests'): refused, not cut, and never
// written past the store.
static void test_overlong_command_line(void)
{
    std::string text = ReaderIds + std::string(8000, 'n');
    DWORD code;
    std::vector<InstallRequest> r = RunVorbind(text, &code);
    ok(code == 0, "exit code 0x%lx", code);
    ok(r.empty(), "%u requests", (unsigned)r.size());
    CheckTracedAt(__FILE__, __LINE__, 0, RunMark,
                  {"vorbind: nothing re-bound: the argument text has more than 159 characters"});
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    Folder = MakeWorkFolder("hostile-vorbind");
    CopyProgramTo(Folder, "vorbind.exe");
    InstallNewdevRecorder(Folder);
    SeedDevices();
    RUN_TEST(test_hardware_id_lists);
    RUN_TEST(test_overlong_command_line);
    return FinishTests();
}
