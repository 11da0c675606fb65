// What the Wine tests share: checks that report the caller's line, starting
// the kit's programs in a scratch folder, waiting for windows, reading the
// log of the recording newdev stand-in, and seeding devices and registry.
#ifndef HARNESS_H
#define HARNESS_H

#include <windows.h>
#include <setupapi.h>
#include <dbt.h>
#include <string>
#include <vector>
#include "rescan.h"

// ---- checks -------------------------------------------------------------
void CheckAt(const char *file, int line, bool condition, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
#define ok(condition, ...) CheckAt(__FILE__, __LINE__, (condition), __VA_ARGS__)

// Where a check was asked for. A helper that checks takes it as its first
// parameter and reports through ok_at, so that a failure names the line of
// the test that called it, as Wine's own suite does (check_foo_(__LINE__)):
//   static void CheckIcons_(At at, const char *letters);
//   #define CheckIcons(letters) CheckIcons_(HERE, letters)
struct At {
    const char *file;
    int line;
};
#define HERE (At{__FILE__, __LINE__})
#define ok_at(at, condition, ...) CheckAt((at).file, (at).line, (condition), __VA_ARGS__)

// What Wine cannot show, marked in one visible way and counted at the end:
// - skip: the check is not made here (why says what it would need);
// - wine_differs: a check of Windows' behaviour that Wine is known to fail.
//   It is made: it counts as a known difference when it fails, and as a
//   failure when it passes, so the mark goes once Wine behaves.
void SkipAt(const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void WineDiffersAt(const char *file, int line, bool condition, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
#define skip(...) SkipAt(__FILE__, __LINE__, __VA_ARGS__)
#define wine_differs(condition, ...) WineDiffersAt(__FILE__, __LINE__, (condition), __VA_ARGS__)
#define RUN_TEST(fn) RunTest(#fn, fn)
// Checks that process pid (any when 0) traced a line holding each of parts,
// in their order, on that one line, from trace index from on; a line is read
// some time after it was written, so this waits for it (30 s at most), and
// prints the trace when it does not come.
void CheckTracedAt(const char *file, int line, DWORD pid, size_t from,
                   const std::vector<std::string> &parts);
void RunTest(const char *name, void (*fn)(void));
// Prints the totals; returns the process exit code (0 when all passed).
int FinishTests(void);
// Reads the command line: argv[1] is the Unix folder of the kit's programs,
// argv[2] the folder of the test helpers (newdev stand-in, packages).
// Starts the test's trace reader unless readTrace is false (where kittrace
// is to be the session's reader; FollowRecordFile then reads its file).
void StartTests(int argc, char **argv, bool readTrace = true);
// A Unix path (absolute, or relative to the current folder) as Windows
// programs under Wine name it.
std::string WindowsPathOf(const char *unixPath);
// The setup, the third argument of a test that installs the kit (a Unix
// path); the program ends with exit code 2 when it is missing.
std::string SetupArgument(int argc, char **argv);

// ---- programs -----------------------------------------------------------
// Windows path of the built program or test file (Z:\...).
std::string KitProgramPath(const char *exeName);
std::string TestFilePath(const char *fileName);
// Scratch folder C:\kit-test\<name>, made anew; programs are copied there so
// that a newdev.dll put beside them is found first.
std::string MakeWorkFolder(const char *name);
std::string CopyProgramTo(const std::string &folder, const char *exeName);
void InstallNewdevRecorder(const std::string &folder);
std::string NewdevLogPath(const std::string &folder);

// Starts a program; useRecorder selects the newdev stand-in for that run.
HANDLE StartProgram(const std::string &exePath, const std::string &arguments,
                    bool useRecorder, const std::string &newdevLog);
// Starts a whole command line, as Explorer starts a Run entry: the program
// is the first word (quoted or not); folder may be null.
HANDLE StartCommandLine(const std::string &commandLine, const char *folder);
// Waits for the process to end: its exit code, or STILL_ACTIVE after ms.
DWORD WaitForExit(HANDLE process, DWORD ms);
// Runs a whole command line (as StartCommandLine) to its end, exactly as
// given: a setup's /D= must reach it unquoted. Its full exit code; when it
// has not ended within ms, it is killed and the result is STILL_ACTIVE.
DWORD RunCommandLine(const std::string &commandLine, DWORD ms);
// Runs a program to its end (at most ms) and returns its exit code.
DWORD RunProgram(const std::string &exePath, const std::string &arguments,
                 bool useRecorder, const std::string &newdevLog, DWORD ms);
void KillProgram(HANDLE process);
// Waits up to ms for the process to end, kills it when it did not, and
// closes its handle: its exit code, or STILL_ACTIVE when it had to be killed.
DWORD FinishProgram(HANDLE process, DWORD ms);
// Waits up to ms for the process to end, noting whether a top-level window
// of className (any visible one of the process, when className is null)
// appeared meanwhile; then as FinishProgram. It polls fast: a window that
// lives a few milliseconds must not slip by.
DWORD FinishProgramWatchingWindow(HANDLE process, const char *className, DWORD ms,
                                  bool *windowSeen);
// The test driver package laid out in the Windows directory as the reader's
// maker installs it: ZELMOT\ZELMOT.INF and the reference zelmot\zelmot.sys.
bool LayOutDriverPackage(void);
// A resident program's start-up pass and nothing more: starts it, waits for
// its window of className to come up and go idle, then File > Exit. Its exit
// code; STILL_ACTIVE when it never came up or did not end.
DWORD RunStartupPass(const std::string &exePath, const char *className, bool useRecorder,
                     const std::string &newdevLog);

// The process of the running program whose main window has this class;
// 0 when none runs.
DWORD ProcessOfClass(const char *className);
// Top-level window of a class owned by the process (any process when pid 0).
HWND FindWindowOfClass(const char *className, DWORD pid);
HWND WaitForWindowOfClass(const char *className, DWORD pid, DWORD ms);
// Any visible top-level window of the process.
bool ProcessHasVisibleWindow(DWORD pid);

// ---- newdev recorder ------------------------------------------------------
struct InstallRequest {
    std::string hardwareId;
    std::string infPath;
    unsigned long flags;
    unsigned long tick = 0; // GetTickCount at the request; 0 when not logged
    // Requests of the program already in progress when this one was made
    // (the stand-in's modal wait lets the caller's messages run meanwhile).
    unsigned long depth = 0;
};
std::vector<InstallRequest> ReadInstallRequests(const std::string &logPath);
// Polls until the log holds more than count requests; false after ms.
bool WaitForRequestsBeyond(const std::string &logPath, size_t count, DWORD ms);

// ---- morvex's rescan ------------------------------------------------------
// Its wait after the last volume arrival; a check that no scan comes waits
// half as long again (a late scan on a busy machine can only slip past it,
// never make it fail); a scan that must come is waited for far longer, as a
// busy machine delays it well past the timer.
enum { AbsenceWait = RescanDelay * 3 / 2, ScanDeadline = 120000 };
// Waits out AbsenceWait from the tick since, then until morvex's window has
// handled what it had, so that a scan under way is logged. False when it
// stopped answering.
bool WaitQuietSince(HWND window, DWORD since);

// ---- devices --------------------------------------------------------------
// Creates and registers a device with the hardware ID list given as strings
// (a multi-string is built from them), optionally a service, and optionally
// a USB device interface so that the present-USB-device enumeration sees it.
// hardwareIdsRaw, when non-empty, is stored as the property bytes unchanged.
bool AddDevice(const char *instanceId, const std::vector<std::string> &hardwareIds,
               const char *service, bool usbInterface,
               const std::string &hardwareIdsRaw = std::string());
bool SetDeviceService(const char *instanceId, const char *service);
std::string GetDeviceService(const char *instanceId);
bool RemoveDevice(const char *instanceId);
// A device's own registry value (HardwareID, Service, ...) written or
// removed directly, as raw bytes of any type: the Setup API would add the
// NUL that a hostile value lacks.
bool PutDeviceValueBytes(const char *instanceId, const char *valueName, DWORD type,
                         const std::string &data);
bool RemoveDeviceValue(const char *instanceId, const char *valueName);

// ---- registry ---------------------------------------------------------------
bool RegPutString(HKEY root, const char *key, const char *name, const char *value);
bool RegPutBytes(HKEY root, const char *key, const char *name, DWORD type,
                 const void *data, DWORD size);
bool RegPutDword(HKEY root, const char *key, const char *name, DWORD value);
// Value as bytes; false when absent. type may be null.
bool RegReadBytes(HKEY root, const char *key, const char *name, std::string *data,
                 DWORD *type);
bool RegKeyExists(HKEY root, const char *key);
bool RegValueExists(HKEY root, const char *key, const char *name);
void RegRemoveTree(HKEY root, const char *key);
// A volatile key refuses a non-volatile child (ERROR_CHILD_MUST_BE_VOLATILE).
bool RegKeyIsVolatile(HKEY root, const char *key);
// Deletes one value; false when the key or the value is absent.
bool RegRemoveValue(HKEY root, const char *key, const char *name);
// Replaces the key's access list with the one an SDDL text gives, as an
// administrator sets it for the machine's keys: "D:P(A;OICI;KR;;;WD)" lets
// everyone only read (what a limited account meets), "D:P(D;OICI;KA;;;WD)"
// lets nobody in. Wine checks a key's own list, not its parent's.
bool RegSetAccess(HKEY root, const char *key, const char *sddl);

// Windows version that Wine reports to one program ("win2k", "winxp",
// "win7", ...); empty clears it.
void SetProgramWindowsVersion(const char *exeName, const char *version);

// ---- broadcasts ---------------------------------------------------------------
// A volume broadcast; flags as dbcv_flags (DBTF_MEDIA: only the medium in
// the drive changed, the drive and its letter stay).
LRESULT SendVolumeEvent(HWND window, WPARAM event, DWORD unitMask, WORD flags = 0);
// Rounds of the broadcasts a resident program follows (a node change, then
// a removal and an arrival of volume F with volumeFlags), each sent as the
// system sends it, which gives a window 5 s to answer. How many were not
// answered with 0 in that time, and the answers' time, in all and at most.
struct BroadcastAnswers {
    int late;
    DWORD total;
    DWORD slowest;
};
BroadcastAnswers SendBroadcastRounds(HWND window, int rounds, WORD volumeFlags);
LRESULT SendDeviceEvent(HWND window, WPARAM event, LPARAM header);

// ---- files --------------------------------------------------------------------
// The whole file's bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);
// Creates each missing folder of a Windows path; false when one cannot be.
bool MakeFolders(const std::string &folder);
// Makes path a new file of a few bytes with the given last-write time, and
// the folders above it when missing. An old file there is deleted first,
// never written: the prefix shares its unchanged files with the template.
bool MakeFileWithTime(const std::string &path, const FILETIME &lastWrite);
// A fixed last-write time (whole seconds) moved by seconds.
FILETIME FileTimeAtSeconds(long long seconds);
bool ReadLastWrite(const std::string &path, FILETIME *lastWrite);

// ---- windows of a running program -----------------------------------------------
// Waits until the window's thread answers a sent message, that is, until it
// has left window creation and pumps messages. False after ms.
bool WaitUntilIdle(HWND window, DWORD ms);
// Visible top-level dialog (class #32770) of the process with this caption.
HWND FindDialogOfProcess(const char *caption, DWORD pid);
HWND WaitForDialogOfProcess(const char *caption, DWORD pid, DWORD ms);
// Waits until window is gone; false after ms.
bool WaitForWindowGone(HWND window, DWORD ms);
// Posts to window the key message of a character typed with Alt held (the
// Alt key down in the window thread's key state, as the keyboard leaves it)
// and waits for the process to show a dialog with this caption. The
// dialog, or null after ms.
HWND OpenDialogWithAltCharacter(HWND window, char character, const char *caption, DWORD ms);
// Sets the last-write time of a file the test made (never one of the
// template's).
bool SetLastWrite(const std::string &path, const FILETIME &lastWrite);

#endif
