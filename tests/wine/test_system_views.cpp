// Where the programs of this build look and write. The i686 tests run in a
// 32-bit Windows, as on Windows 2000 and XP: one registry view, one system
// folder. The x86_64 tests run in a 64-bit Windows, whose registry and
// system folder also have a 32-bit view (HKLM\Software\Wow6432Node,
// SysWOW64) that the 64-bit programs must not use: the setup program, a
// 32-bit program, writes the kit's values into the 64-bit view there. This
// test makes sure each setting is real. (Where tavlix keeps its markers is
// checked by its start-up test, whose start writes them.)
#include "harness.h"

#define Reader "USB\\VID_0E5B&PID_0A17\\V1"
#define ReaderId "USB\\VID_0E5B&PID_0A17&REV_0100"

static bool Is32BitBuild(void)
{
    return sizeof(void *) == 4;
}

static void test_view_of_this_build(void)
{
    BOOL wow64 = TRUE;
    ok(IsWow64Process(GetCurrentProcess(), &wow64) && !wow64,
       "the %s tests run under WOW64", Is32BitBuild() ? "32-bit" : "64-bit");
    char system[MAX_PATH] = "";
    char wow64System[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof(system));
    UINT length = GetSystemWow64DirectoryA(wow64System, sizeof(wow64System));
    ok((length > 0) == !Is32BitBuild(), "a 32-bit system folder \"%s\" on %s Windows",
       wow64System, Is32BitBuild() ? "32-bit" : "64-bit");
    char programFiles[MAX_PATH] = "";
    GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof(programFiles));
    ok(lstrcmpiA(programFiles, "C:\\Program Files") == 0, "programs go to %s", programFiles);
    ok(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node") == !Is32BitBuild(),
       "a 32-bit registry view on %s Windows", Is32BitBuild() ? "32-bit" : "64-bit");
    printf("system folder %s, 32-bit system folder %s\n", system,
           length ? wow64System : "(none)");
}

// The driver folder of the 32-bit view (64-bit Windows only).
static bool MakeDriverInOtherView(const FILETIME &time)
{
    char wow64System[MAX_PATH] = "";
    return GetSystemWow64DirectoryA(wow64System, sizeof(wow64System)) > 0 &&
           MakeFileWithTime(std::string(wow64System) + "\\drivers\\zelmot.sys", time);
}

static size_t RequestsOfOneScan(const std::string &exe, const std::string &log)
{
    DeleteFileA(log.c_str());
    ok(RunStartupPass(exe, "MORVEX", true, log) == 0, "morvex's scan did not end with 0");
    return ReadInstallRequests(log).size();
}

// morvex compares the installed driver, %windir%\system32\drivers\zelmot.sys
// as its own view shows it, with the reference copy. Only 64-bit Windows has
// a second view to get wrong.
static void test_morvex_driver_view(void)
{
    if (Is32BitBuild()) {
        skip("the driver's view: 32-bit Windows has one system folder");
        return;
    }
    std::string folder = MakeWorkFolder("views");
    std::string exe = CopyProgramTo(folder, "morvex.exe");
    InstallNewdevRecorder(folder);
    std::string log = NewdevLogPath(folder);
    FILETIME reference = FileTimeAtSeconds(0);
    FILETIME other = FileTimeAtSeconds(3600);
    ok(MakeFileWithTime("C:\\windows\\zelmot\\zelmot.sys", reference), "reference copy");
    ok(AddDevice(Reader, {ReaderId}, "FLASHREADER", true), "reader on its own service");

    // This view current, the other one not: nothing to do.
    ok(MakeFileWithTime("C:\\windows\\system32\\drivers\\zelmot.sys", reference), "own view");
    ok(MakeDriverInOtherView(other), "other view");
    size_t requests = RequestsOfOneScan(exe, log);
    ok(requests == 0, "%u installations with the driver current in morvex's own view",
       (unsigned)requests);

    // The other way round: this view outdated.
    ok(MakeFileWithTime("C:\\windows\\system32\\drivers\\zelmot.sys", other), "own view");
    ok(MakeDriverInOtherView(reference), "other view");
    requests = RequestsOfOneScan(exe, log);
    ok(requests == 1, "%u installations with the driver outdated in morvex's own view",
       (unsigned)requests);
    RemoveDevice(Reader);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_view_of_this_build);
    RUN_TEST(test_morvex_driver_view);
    return FinishTests();
}
