// The driver exchange with a Windows directory of 63 characters, the
// longest the start-up check accepts: the exchange code is called directly
// by a child copy of this program (Wine cannot move the real Windows
// directory), with the newdev recorder and morvex's queued trace, and its
// result is the exit code. Its paths make morvex's longest trace lines.
// And where the programs' start-up check draws the line: the Windows
// folder read into a buffer that holds it whole, and one byte short.
#include "harness.h"
#include <string.h>
#include "drivertime.h"
#include "exchange.h"
#include "morvexstate.h"
#include "trace.h"
#include "tracereader.h"
#include "windowsfolder.h"

#define Reader "USB\\VID_0E5B&PID_0A17\\L1"
#define ReaderId "USB\\VID_0E5B&PID_0A17&REV_0100"
#define LongReader "USB\\VID_0E5B&PID_0A17\\L2"

static std::string LongDir;
static std::string Folder;
static std::string ChildExe;
static std::string Log;
// Where the last scan's trace lines begin; one child runs at a time.
static size_t RunMark;

// The last scan traced a line holding these parts, in order.
#define ok_traced(...) CheckTracedAt(__FILE__, __LINE__, 0, RunMark, {__VA_ARGS__})

// Child: one scan as morvex would run it with windowsDir.
static int ScanWith(const char *windowsDir)
{
    lstrcpynA(WindowsDir, windowsDir, WindowsDirSize);
    char path[DriverPathSize];
    if (!BuildReferenceDriverPath(path, sizeof(path), WindowsDir) ||
        ReadLastWriteTime(path, &ReferenceDriverTime) != 0)
        return 2;
    StartTrace("morvex", 1);
    int requested = ExchangeDrivers(1, "long Windows folder");
    StopTrace(TraceDrainMs);
    return requested ? 1 : 0;
}

static std::vector<InstallRequest> RunScan(DWORD *result)
{
    DeleteFileA(Log.c_str());
    RunMark = TraceMark();
    *result = RunProgram(ChildExe, "--scan " + LongDir, true, Log, 30000);
    return ReadInstallRequests(Log);
}

// What GetWindowsDirectoryA returns when the buffer is too small (the size
// it needs, its NUL counted) is what the rule reads: a folder of n
// characters is read whole with n + 1 bytes and refused with n, as a 64-
// character one is refused by the programs' 64 bytes.
static void test_windows_folder_whole_or_refused(void)
{
    char expected[MAX_PATH];
    UINT length = GetWindowsDirectoryA(expected, sizeof(expected));
    ok(length > 0 && length < sizeof(expected), "the Windows folder: %u characters", length);
    char folder[MAX_PATH];
    memset(folder, 'x', sizeof(folder));
    WindowsFolderResult whole = ReadWindowsFolder(folder, length + 1);
    ok(whole.outcome == WindowsFolderRead && strcmp(folder, expected) == 0,
       "%u bytes: outcome %d, folder %s", length + 1, (int)whole.outcome, folder);

    memset(folder, 'x', sizeof(folder));
    WindowsFolderResult cut = ReadWindowsFolder(folder, length);
    char text[WindowsFolderRefusalSize];
    FormatWindowsFolderRefusal(&cut, length, text);
    ok(cut.outcome == WindowsFolderTooLong && folder[0] == '\0',
       "%u bytes: outcome %d, folder %.20s", length, (int)cut.outcome, folder);
    char expectedText[64];
    snprintf(expectedText, sizeof(expectedText), "the Windows folder has %u characters or more",
             length);
    ok(strcmp(text, expectedText) == 0, "refusal: %s", text);
}

// One scan: the reader on the generic storage service gets its INF path
// whole. A reader whose first hardware ID has 258 characters, the most a
// list of 260 bytes holds with its end, is on its own service with the
// installed driver held open: with the long Windows folder in the path and
// the error, its line runs past the 511 characters a queued line keeps.
// The decision and its reason come first, so only the end of the ID is lost.
static void test_long_paths_and_lines(void)
{
    std::string longId = ReaderId "&" + std::string(258 - 31, 'L');
    ok(longId.size() == 258, "hardware ID of %u characters", (unsigned)longId.size());
    ok(AddDevice(LongReader, {longId}, "FLASHREADER", true) && SetDeviceService(Reader, "USBSTOR"),
       "readers");
    std::string installed = LongDir + "\\system32\\drivers\\zelmot.sys";
    ok(MakeFileWithTime(installed, FileTimeAtSeconds(0)), "installed driver");
    HANDLE held = CreateFileA(installed.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ok(held != INVALID_HANDLE_VALUE, "installed driver held open: error %lu", GetLastError());
    DWORD result;
    std::vector<InstallRequest> r = RunScan(&result);
    CloseHandle(held);
    ok(result == 1 && r.size() == 1 && r[0].hardwareId == ReaderId &&
           r[0].infPath == LongDir + "\\ZELMOT\\ZELMOT.INF",
       "scan result %lu, %u requests, the first for %s from %s", result, (unsigned)r.size(),
       r.empty() ? "" : r[0].hardwareId.c_str(), r.empty() ? "" : r[0].infPath.c_str());
    ok_traced("morvex: scan 1: rest of the reader table skipped for this device: on service "
              "FLASHREADER, installed driver " + installed +
              " cannot be read: 32 (Sharing violation.): reader " + longId.substr(0, 200));
    ok(RemoveDevice(LongReader), "long reader removed");
}

// The installed driver's path under the long folder is the one compared: a
// current one is left alone, a newer one brings the installation.
static void test_installed_driver_under_long_windows_directory(void)
{
    ok(SetDeviceService(Reader, "FLASHREADER"), "service");
    std::string installed = LongDir + "\\system32\\drivers\\zelmot.sys";
    const struct {
        long long seconds;
        DWORD result;
    } cases[] = {{0, 0}, {1, 1}};
    for (const auto &c : cases) {
        ok(MakeFileWithTime(installed, FileTimeAtSeconds(c.seconds)), "installed driver");
        DWORD result;
        std::vector<InstallRequest> r = RunScan(&result);
        ok(result == c.result && r.size() == c.result,
           "installed driver %+lld s from the reference: result %lu, %u requests", c.seconds,
           result, (unsigned)r.size());
    }
}

int main(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "--scan") == 0)
        return ScanWith(argv[2]);

    StartTests(argc, argv);
    Folder = MakeWorkFolder("morvex-longdir");
    LongDir = Folder + "\\" + std::string(63 - Folder.size() - 1, 'w');
    ok(LongDir.size() == 63, "directory of %u characters", (unsigned)LongDir.size());
    CreateDirectoryA(LongDir.c_str(), NULL);
    CreateDirectoryA((LongDir + "\\zelmot").c_str(), NULL);
    CreateDirectoryA((LongDir + "\\system32").c_str(), NULL);
    CreateDirectoryA((LongDir + "\\system32\\drivers").c_str(), NULL);
    ok(MakeFileWithTime(LongDir + "\\zelmot\\zelmot.sys", FileTimeAtSeconds(0)), "reference");

    ChildExe = Folder + "\\test_morvex_longdir.exe";
    ok(CopyFileA(TestFilePath("test_morvex_longdir.exe").c_str(), ChildExe.c_str(), FALSE),
       "child copy");
    InstallNewdevRecorder(Folder);
    Log = NewdevLogPath(Folder);
    ok(AddDevice(Reader, {ReaderId}, "USBSTOR", true), "reader");

    RUN_TEST(test_windows_folder_whole_or_refused);
    RUN_TEST(test_long_paths_and_lines);
    RUN_TEST(test_installed_driver_under_long_windows_directory);
    return FinishTests();
}
