// morvex end to end with Wine's own new-device library: the test driver
// package laid out in the Windows directory as the reader's maker installs
// it, a reader bound to the generic storage service, and a real
// installation that moves the reader to its own service.
#include "harness.h"

#define Reader "USB\\VID_0E5B&PID_0A17\\KIT0001"
#define ReaderId "USB\\Vid_0e5b&Pid_0a17&Rev_0100"
#define ReferencePath "C:\\windows\\zelmot\\zelmot.sys"
#define InstalledPath "C:\\windows\\system32\\drivers\\zelmot.sys"
#define ReaderServiceKey "System\\CurrentControlSet\\Services\\FLASHREADER"

static std::string Exe;
static std::string Log;

// One run of morvex: its start-up scan, then File > Exit.
static void RunMorvex(bool useRecorder)
{
    DeleteFileA(Log.c_str());
    DWORD code = RunStartupPass(Exe, "MORVEX", useRecorder, Log);
    ok(code == 0, "morvex's start-up pass: exit code %lu", code);
}

static void test_generic_storage_reader_moves_to_its_own_driver(void)
{
    ok(GetDeviceService(Reader) == "USBSTOR", "reader starts on %s",
       GetDeviceService(Reader).c_str());
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, ReaderServiceKey), "service key there before");
    RunMorvex(false);
    ok(GetDeviceService(Reader) == "FLASHREADER", "reader now on %s",
       GetDeviceService(Reader).c_str());
    ok(RegKeyExists(HKEY_LOCAL_MACHINE, ReaderServiceKey), "no service key");
    FILETIME installed;
    ok(ReadLastWrite(InstalledPath, &installed), "driver file not installed");
}

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
    RunMorvex(true);
    std::vector<InstallRequest> r = ReadInstallRequests(Log);
    ok(r.empty(), "reader on its current driver: %u requests", (unsigned)r.size());

    // The same scan does see the reader on its own service: an installed
    // driver of another time brings the installation back.
    FILETIME older = reference;
    older.dwLowDateTime -= 10000000;
    if (older.dwLowDateTime > reference.dwLowDateTime)
        older.dwHighDateTime--;
    ok(SetLastWrite(InstalledPath, older), "time of the installed driver");
    RunMorvex(true);
    r = ReadInstallRequests(Log);
    ok(r.size() == 1 && r[0].hardwareId == ReaderId,
       "reader on an older driver: %u requests", (unsigned)r.size());
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
