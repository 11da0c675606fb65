// A debug-output viewer that takes one line and then stops reading holds
// every later OutputDebugStringA for up to 10 s. The user must notice
// nothing: tavlix and morvex answer their broadcasts in time, a second
// launch still stops tavlix, and the setup still stops both. The kit is
// installed and started by its setup, as a user has it.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include "tracereader.h"
#include <shlobj.h>

static std::string SetupPath;
static std::string InstallDir;

// What the setup and a user's launch get: two minutes.
static const DWORD CommandDeadline = 120000;

// Broadcasts of each kind to the window, each answered within the 5 s that
// Windows gives a window before it moves on.
static void CheckAnswersInTime_(At at, const char *className)
{
    HWND window = FindWindowOfClass(className, 0);
    ok_at(at, window != NULL, "%s is not running", className);
    BroadcastAnswers answers = SendBroadcastRounds(window, 10, 0);
    ok_at(at, answers.late == 0, "%s: %d broadcasts not answered within 5 s (slowest %lu ms)",
          className, answers.late, (unsigned long)answers.slowest);
}
#define CheckAnswersInTime(className) CheckAnswersInTime_(HERE, className)

static void test_programs_answer_in_time(void)
{
    DWORD code = RunCommandLine("\"" + SetupPath + "\" /S", CommandDeadline);
    ok(code == 0, "setup: exit code %lu", code);
    ok(WaitForWindowOfClass("TAVLIX", 0, 60000) && WaitForWindowOfClass("MORVEX", 0, 60000),
       "the setup did not start both programs");
    // The viewer took a line, and is stuck from here on.
    ok(WaitForTrace(0, ": ", 0, 60000) >= 0, "no trace line came");
    CheckAnswersInTime("TAVLIX");
    CheckAnswersInTime("MORVEX");
}

static void test_second_launch_stops_tavlix(void)
{
    HWND window = FindWindowOfClass("TAVLIX", 0);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE running = pid ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid) : NULL;
    ok(running != NULL, "tavlix is not running");
    DWORD second = RunCommandLine("\"" + InstallDir + "\\tavlix.exe\"", CommandDeadline);
    DWORD first = FinishProgram(running, 30000);
    ok(second == 0 && first == 0, "second launch exit code %lu, running copy %lu", second,
       first);
    ok(LettersWithIcons().empty(), "icons left after the stop: %s", LettersWithIcons().c_str());
}

static void test_setup_stops_both(void)
{
    HANDLE tavlix = StartCommandLine("\"" + InstallDir + "\\tavlix.exe\"", NULL);
    ok(WaitForWindowOfClass("TAVLIX", 0, 60000) != NULL, "tavlix did not start again");
    CloseHandle(tavlix);
    // 3010 would say a program could not be stopped in time.
    DWORD code = RunCommandLine("\"" + SetupPath + "\" /S", CommandDeadline);
    ok(code == 0, "setup over the running kit: exit code %lu", code);
    // The setup started the new ones as it ended; the uninstaller stops
    // them once they are up.
    ok(WaitForWindowOfClass("TAVLIX", 0, 60000) && WaitForWindowOfClass("MORVEX", 0, 60000),
       "the setup did not start both programs again");
    code = RunCommandLine("\"" + InstallDir + "\\uninstall.exe\" /S _?=" + InstallDir,
                          CommandDeadline);
    ok(code == 0, "uninstallation: exit code %lu", code);
    ok(!FindWindowOfClass("TAVLIX", 0) && !FindWindowOfClass("MORVEX", 0),
       "a program of the kit still runs");
}

// vorbind queues its lines as well: with the viewer stuck, a run with two
// matching devices ends, both installations requested, sooner than a
// single held line would let it go (10 s).
static void test_vorbind_does_not_wait_for_the_viewer(void)
{
    ok(AddDevice("USB\\VID_0E63&PID_0001\\V1", {"USB\\VID_0E63&PID_0001&REV_0001"}, NULL,
                 false) &&
           AddDevice("USB\\VID_0E63&PID_0001\\V2", {"USB\\VID_0E63&PID_0001&REV_0002"}, NULL,
                     false),
       "two matching devices");
    std::string folder = MakeWorkFolder("stuck-viewer-vorbind");
    std::string exe = CopyProgramTo(folder, "vorbind.exe");
    InstallNewdevRecorder(folder);
    std::string log = NewdevLogPath(folder);
    DeleteFileA(log.c_str());
    DWORD start = GetTickCount();
    DWORD code = RunProgram(exe, "0e63 0001 x.inf", true, log, 120000);
    DWORD took = GetTickCount() - start;
    size_t requests = ReadInstallRequests(log).size();
    ok(code == 0 && requests == 2, "vorbind: exit code %lu, %u requests", code,
       (unsigned)requests);
    ok(took < 10000, "vorbind took %lu ms: it waited for the stuck viewer", (unsigned long)took);
}

int main(int argc, char **argv)
{
    // This test's reader is a stuck one; StartTests keeps it.
    ok(StartTraceReader(1), "no stuck reader");
    StartTests(argc, argv);
    SetupPath = SetupArgument(argc, argv);
    char path[MAX_PATH];
    SHGetFolderPathA(NULL, CSIDL_PROGRAM_FILES, NULL, 0, path);
    InstallDir = std::string(path) + "\\Card Reader Kit";
    RegPutString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win2k");
    ok(LayOutDriverPackage(), "driver package");
    ok(PlugInReader() && InsertCard(ReaderSlotSD, 'F'), "reader");

    RUN_TEST(test_programs_answer_in_time);
    RUN_TEST(test_second_launch_stops_tavlix);
    RUN_TEST(test_setup_stops_both);
    RUN_TEST(test_vorbind_does_not_wait_for_the_viewer);
    ClearSimulatedDisks();
    return FinishTests();
}
