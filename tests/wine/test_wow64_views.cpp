// Where the programs of this build look and write. The i686 tests run the
// 32-bit programs as on 64-bit Windows, where a 32-bit program sees
// HKLM\Software as Software\Wow6432Node and system32 as SysWOW64; the
// 32-bit test programs see the same views, so every other test puts its
// fixtures where a 32-bit program on 32-bit Windows finds them. This test
// makes sure that setting is real: things the programs find or leave
// through their own view are found there, and not in the other view.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"

#define Reader "USB\\VID_0E5B&PID_0A17\\V1"
#define ReaderId "USB\\VID_0E5B&PID_0A17&REV_0100"

static bool Is32BitBuild(void)
{
    return sizeof(void *) == 4;
}

// Value name of HKLM\Software\<key>, read through one registry view.
static bool SoftwareValueInView(const char *key, const char *name, REGSAM view)
{
    std::string path = std::string("Software\\") + key;
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | view, &handle))
        return false;
    bool found = RegQueryValueExA(handle, name, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return found;
}

static void test_view_of_this_build(void)
{
    BOOL wow64 = FALSE;
    ok(IsWow64Process(GetCurrentProcess(), &wow64) && (wow64 != FALSE) == Is32BitBuild(),
       "the %s tests run %s WOW64", Is32BitBuild() ? "32-bit" : "64-bit",
       wow64 ? "under" : "outside");
    char system[MAX_PATH] = "";
    char wow64System[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof(system));
    ok(GetSystemWow64DirectoryA(wow64System, sizeof(wow64System)) > 0,
       "64-bit Windows has a 32-bit system folder");
    printf("system folder %s, 32-bit system folder %s\n", system, wow64System);
}

// tavlix keeps its markers under HKLM\Software, which the views split, and
// its icon keys under HKCR\Applications, which they share.
static void test_tavlix_settings_view(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
    TavlixRun run = StartTavlix("win2k");
    ok(WaitForIconLetters("DEFG"), "icons %s", LettersWithIcons().c_str());
    bool in32 = SoftwareValueInView("BrindIco", "F", KEY_WOW64_32KEY);
    bool in64 = SoftwareValueInView("BrindIco", "F", KEY_WOW64_64KEY);
    ok(in32 == Is32BitBuild() && in64 == !Is32BitBuild(),
       "F's marker in the 32-bit view: %d, in the 64-bit view: %d", in32, in64);
    ok(SoftwareValueInView("Wow6432Node\\BrindIco", "F", KEY_WOW64_64KEY) == Is32BitBuild(),
       "the 32-bit view's key is Software\\Wow6432Node\\BrindIco");
    ok(DriveIconExists('F'), "the icon key is seen through this view too");
    ok(StopTavlixBySecondLaunch(&run), "stopped");
    ok(!SoftwareValueInView("BrindIco", "F", KEY_WOW64_32KEY) &&
           !SoftwareValueInView("BrindIco", "F", KEY_WOW64_64KEY),
       "a marker left after the stop");
}

// The driver folder of the other view: the real System32's for a 32-bit
// test (redirection off while it is written), SysWOW64's for a 64-bit one.
static bool MakeDriverInOtherView(const FILETIME &time)
{
    if (!Is32BitBuild()) {
        char wow64System[MAX_PATH] = "";
        GetSystemWow64DirectoryA(wow64System, sizeof(wow64System));
        return MakeFileWithTime(std::string(wow64System) + "\\drivers\\zelmot.sys", time);
    }
    PVOID saved = NULL;
    if (!Wow64DisableWow64FsRedirection(&saved))
        return false;
    bool made = MakeFileWithTime("C:\\windows\\system32\\drivers\\zelmot.sys", time);
    Wow64RevertWow64FsRedirection(saved);
    return made;
}

static size_t RequestsOfOneScan(const std::string &exe, const std::string &log)
{
    DeleteFileA(log.c_str());
    ok(RunStartupPass(exe, "MORVEX", true, log) == 0, "morvex's scan did not end with 0");
    return ReadInstallRequests(log).size();
}

// morvex compares the installed driver, %windir%\system32\drivers\zelmot.sys
// as its own view shows it, with the reference copy.
static void test_morvex_driver_view(void)
{
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
    RUN_TEST(test_tavlix_settings_view);
    RUN_TEST(test_morvex_driver_view);
    ClearSimulatedDisks();
    return FinishTests();
}
