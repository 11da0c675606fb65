// The setup program under Wine, as an administrator meets it: refusals (on
// Windows NT 4, and where a restart could undo the run), a fresh silent
// install on Windows 2000 that starts both programs at once, the setup run
// again over the running kit, a second launch of morvex, an older setup
// over a newer kit, the uninstallation
// (with both programs running, and after tavlix died, here and in other
// accounts logged on), a kit installed to a folder of its own, and runs
// before a restart that a file in use asked for: the setup twice, the
// setup after an uninstallation, an uninstallation after a setup. Each
// uninstallation is compared with the machine as it was before. The i686
// test runs in a 32-bit Windows and gets the 32-bit programs; the x86_64
// test runs in a 64-bit Windows, where the same 32-bit setup installs the
// 64-bit programs and writes the 64-bit registry view.
// A copy whose process the setup cannot open is not here: Wine grants
// SYNCHRONIZE on any process whatever its access list, so it cannot show
// that case. Nor is the merged HKEY_CLASSES_ROOT of Windows, which Wine
// does not have.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include "tracereader.h"
#include <shlobj.h>
#include <tlhelp32.h>
#include <algorithm>
#include <stdio.h>
#include <string.h>

static const char *const Programs[] = {"tavlix.exe", "morvex.exe", "vorbind.exe",
                                       "vorbind-oem.exe", "vorbind-bare.exe", "kittrace.exe"};
// tavlix's default icon table, in slot order: CF, SD, SM, MS, combo.
static const char *const CardIcons[] = {"cfico.ico", "sdico.ico", "smico.ico", "msico.ico",
                                        "comboico.ico"};
static const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char UninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\CardReaderKit";
static const char SettingsKey[] = "Software\\BrindIco";
static const char ExplorerKey[] = "Applications\\Explorer.exe";
// Where a tavlix that may not write the machine-wide places keeps its keys;
// below HKLM, the machine's own.
static const char UserExplorerKey[] = "Software\\Classes\\Applications\\Explorer.exe";
static const char SessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
static const char SetupCaption[] = "Card Reader Kit " KIT_VERSION " Setup";
// Two other accounts, logged on meanwhile (fast user switching).
static const char FirstAccount[] = "S-1-5-21-1004336348-1177238915-682003330-1003";
static const char SecondAccount[] = "S-1-5-21-1004336348-1177238915-682003330-1004";
static const DWORD SetupDeadline = 120000;

static std::string SetupPath;  // the setup the 32-bit tree made
static std::string DefaultInstallDir; // C:\Program Files\Card Reader Kit
static std::string InstallDir;        // where the kit under test is
static std::string WindowsDir;
static std::string StartMenuDir;

// ---- helpers ------------------------------------------------------------------

static bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static bool FolderExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static bool SameFile(const std::string &a, const std::string &b)
{
    std::string bytes = ReadWholeFile(a);
    return !bytes.empty() && bytes == ReadWholeFile(b);
}

static std::string ReadString(HKEY root, const char *key, const char *name)
{
    std::string data;
    if (!RegReadBytes(root, key, name, &data, NULL))
        return "";
    return data.c_str();
}

static std::vector<std::string> FilesIn(const std::string &pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// Names of the subkeys (recursive: their paths below key) or of the values.
static void CollectKeys(HKEY root, const std::string &key, const std::string &prefix,
                        bool recursive, std::vector<std::string> *names)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle))
        return;
    char name[256];
    for (DWORD i = 0;; i++) {
        DWORD size = sizeof(name);
        if (RegEnumKeyExA(handle, i, name, &size, NULL, NULL, NULL, NULL))
            break;
        names->push_back(prefix + name);
        if (recursive)
            CollectKeys(root, key + "\\" + name, prefix + name + "\\", true, names);
    }
    RegCloseKey(handle);
}

static std::vector<std::string> ValueNames(HKEY root, const char *key)
{
    std::vector<std::string> names;
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &handle))
        return names;
    char name[256];
    for (DWORD i = 0;; i++) {
        DWORD size = sizeof(name);
        if (RegEnumValueA(handle, i, name, &size, NULL, NULL, NULL, NULL))
            break;
        names.push_back(name);
    }
    RegCloseKey(handle);
    std::sort(names.begin(), names.end());
    return names;
}

// What an uninstallation must leave as it found it.
struct MachineState {
    std::vector<std::string> softwareKeys; // top-level keys of HKLM\Software
    std::vector<std::string> explorerKeys; // keys under HKCR\Applications\Explorer.exe
    std::vector<std::string> runValues;
    std::vector<std::string> uninstallKeys;
    std::vector<std::string> windowsIcons; // .ico files of the Windows folder
    bool programFolder;
};

static MachineState ReadMachineState(void)
{
    MachineState state;
    CollectKeys(HKEY_LOCAL_MACHINE, "Software", "", false, &state.softwareKeys);
    if (RegKeyExists(HKEY_CLASSES_ROOT, ExplorerKey))
        state.explorerKeys.push_back("(Explorer.exe)");
    CollectKeys(HKEY_CLASSES_ROOT, ExplorerKey, "", true, &state.explorerKeys);
    state.runValues = ValueNames(HKEY_LOCAL_MACHINE, RunKey);
    CollectKeys(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "",
                false, &state.uninstallKeys);
    state.windowsIcons = FilesIn(WindowsDir + "\\*.ico");
    state.programFolder = FolderExists(InstallDir);
    for (std::vector<std::string> *list : {&state.softwareKeys, &state.explorerKeys,
                                           &state.uninstallKeys})
        std::sort(list->begin(), list->end());
    return state;
}

static bool EndsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

static std::string Joined(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : ", ") + name;
    return "[" + text + "]";
}

#define CheckSameState(before, after) CheckSameState_(HERE, before, after)
static void CheckSameState_(At at, const MachineState &before, const MachineState &after)
{
    struct {
        const char *what;
        const std::vector<std::string> &was, &is;
    } lists[] = {{"HKLM\\Software", before.softwareKeys, after.softwareKeys},
                 {"HKCR\\Applications\\Explorer.exe", before.explorerKeys, after.explorerKeys},
                 {"Run values", before.runValues, after.runValues},
                 {"Uninstall keys", before.uninstallKeys, after.uninstallKeys},
                 {"icons of the Windows folder", before.windowsIcons, after.windowsIcons}};
    for (const auto &list : lists)
        ok_at(at, list.was == list.is, "%s were %s, are %s", list.what, Joined(list.was).c_str(),
              Joined(list.is).c_str());
    ok_at(at, before.programFolder == after.programFolder,
          "the program folder existed: %d, exists: %d", before.programFolder, after.programFolder);
}

// Entries of PendingFileRenameOperations that name the kit's files.
static std::vector<std::string> PendingKitFiles(void)
{
    std::string data;
    std::vector<std::string> kit;
    if (!RegReadBytes(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations", &data,
                      NULL))
        return kit;
    for (size_t at = 0; at < data.size();) {
        std::string entry = data.c_str() + at;
        at += entry.size() + 1;
        std::string lower = entry;
        CharLowerBuffA(&lower[0], (DWORD)lower.size());
        bool isKit = lower.find("card reader kit") != std::string::npos;
        for (const char *icon : CardIcons)
            isKit = isKit || lower.find(icon) != std::string::npos;
        if (isKit)
            kit.push_back(entry);
    }
    return kit;
}

// The tavlix the setup started has ended its start-up pass, as its trace
// says.
static bool TavlixStartedUp(void)
{
    HWND window = WaitForWindowOfClass("TAVLIX", 0, 60000);
    return window && WaitForPassesOf(window);
}

// The silent setup with more of a command line, run to its end: its full
// exit code (STILL_ACTIVE when it did not end in time).
static DWORD RunSilentSetup(const std::string &more = "")
{
    return RunCommandLine("\"" + SetupPath + "\" /S" + more, SetupDeadline);
}

// Both programs the setup started are up: tavlix has ended its start-up
// pass and morvex answers, so that a setup run next finds both windows.
static bool KitRunning(void)
{
    HWND morvex = WaitForWindowOfClass("MORVEX", 0, 60000);
    return TavlixStartedUp() && morvex && WaitUntilIdle(morvex, 60000);
}

#define WriteText(path, text) WriteText_(HERE, path, text)
static void WriteText_(At at, const std::string &path, const char *text)
{
    FILE *file = fopen(path.c_str(), "wb");
    ok_at(at, file && fputs(text, file) >= 0, "cannot write %s", path.c_str());
    if (file)
        fclose(file);
}

// Held open without sharing, as a virus scanner holds a file it reads.
#define HoldFile(path) HoldFile_(HERE, path)
static HANDLE HoldFile_(At at, const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ok_at(at, file != INVALID_HANDLE_VALUE, "cannot hold %s open", path.c_str());
    return file;
}

static void SetWindowsVersion(const char *version)
{
    RegPutString(HKEY_CURRENT_USER, "Software\\Wine", "Version", version);
}

static int CountProcessesNamed(const char *exeName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        count += lstrcmpiA(entry.szExeFile, exeName) == 0;
    CloseHandle(snapshot);
    return count;
}

#define CheckOneCopyOfEach() CheckOneCopyOfEach_(HERE)
static void CheckOneCopyOfEach_(At at)
{
    int tavlix = CountProcessesNamed("tavlix.exe");
    int morvex = CountProcessesNamed("morvex.exe");
    ok_at(at, tavlix == 1 && morvex == 1, "%d tavlix and %d morvex running, want one each",
          tavlix, morvex);
}

// The copy of itself that the uninstaller starts and leaves to: a child of
// the process that was started.
static HANDLE OpenChildProcess(DWORD parent)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return NULL;
    HANDLE child = NULL;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more && !child;
         more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == parent)
            child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE,
                                entry.th32ProcessID);
    CloseHandle(snapshot);
    return child;
}

// An uninstall string of the entry run as Add/Remove Programs runs it: it
// returns at once, and the copy it started does the work. The copy.
#define StartUninstall(name, want) StartUninstall_(HERE, name, want)
static HANDLE StartUninstall_(At at, const char *name, const std::string &want)
{
    std::string command = ReadString(HKEY_LOCAL_MACHINE, UninstallKey, name);
    ok_at(at, command == want, "%s is [%s], want [%s]", name, command.c_str(), want.c_str());
    HANDLE first = StartCommandLine(command, NULL);
    DWORD code = WaitForExit(first, SetupDeadline);
    // The copy's process entry keeps the id of the parent that started it;
    // the parent's handle, still open, keeps that id from being reused.
    HANDLE copy = first ? OpenChildProcess(GetProcessId(first)) : NULL;
    FinishProgram(first, 0);
    ok_at(at, copy != NULL, "the uninstaller started no copy of itself: exit code %lu", code);
    return copy;
}

// The quiet uninstall string run to its end: the copy's exit code.
#define RunQuietUninstall() RunQuietUninstall_(HERE)
static DWORD RunQuietUninstall_(At at)
{
    HANDLE copy = StartUninstall_(at, "QuietUninstallString",
                                  "\"" + InstallDir + "\\uninstall.exe\" /S");
    return copy ? FinishProgram(copy, SetupDeadline) : STILL_ACTIVE;
}

// ---- the pages of an interactive run ---------------------------------------------

struct ChildSearch {
    const char *text; // the control sought, or null to gather every text
    HWND found;
    std::string texts;
};

static BOOL CALLBACK VisitChild(HWND child, LPARAM param)
{
    ChildSearch *search = (ChildSearch *)param;
    char text[2048] = "";
    GetWindowTextA(child, text, sizeof(text));
    if (search->text && strcmp(text, search->text) == 0) {
        search->found = child;
        return FALSE;
    }
    search->texts += std::string(text) + "\n";
    return TRUE;
}

// The control of a window (its pages' too) with this text; null after ms.
static HWND WaitForControl(HWND window, const char *text, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        ChildSearch search = {text, NULL, ""};
        EnumChildWindows(window, VisitChild, (LPARAM)&search);
        if (search.found || !IsWindow(window) || GetTickCount() - start >= ms)
            return search.found;
        Sleep(50);
    }
}

static std::string TextsOf(HWND window)
{
    ChildSearch search = {NULL, NULL, ""};
    EnumChildWindows(window, VisitChild, (LPARAM)&search);
    return search.texts;
}

// An interactive run (the setup, or the uninstaller's copy), its window
// taken past its first page to its end. Its finish page
// asks for a restart: the choice made by default is Restart later, and the
// text names each file that waits. Restart later is then chosen (a restart
// would end this test) and the page left. The run's exit code.
#define FinishAskingForRestart(process, ...) FinishAskingForRestart_(HERE, process, __VA_ARGS__)
static DWORD FinishAskingForRestart_(At at, HANDLE process, const std::vector<std::string> &waiting)
{
    HWND window = process ? WaitForDialogOfProcess(NULL, GetProcessId(process), 60000) : NULL;
    ok_at(at, window != NULL, "the run shows no window");
    if (window)
        PostMessageA(window, WM_COMMAND, IDOK, 0); // Next, or Uninstall
    HWND later = window ? WaitForControl(window, "Restart later", SetupDeadline) : NULL;
    HWND now = later ? WaitForControl(window, "Restart now", 0) : NULL;
    ok_at(at, later && now, "the finish page offers no restart: %s",
          window ? TextsOf(window).c_str() : "");
    if (!later || !now)
        return FinishProgram(process, 0);
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &thread);
    ok_at(at, SendMessageA(later, BM_GETCHECK, 0, 0) == BST_CHECKED &&
                  SendMessageA(now, BM_GETCHECK, 0, 0) == BST_UNCHECKED &&
                  thread.hwndFocus == later,
          "the choice made by default is not Restart later, or has not the focus");
    std::string texts = TextsOf(window);
    for (const std::string &name : waiting)
        ok_at(at, texts.find(name) != std::string::npos, "the finish page does not name %s: %s",
              name.c_str(), texts.c_str());
    SendMessageA(now, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageA(later, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageA(window, WM_COMMAND, IDOK, 0); // Finish
    return FinishProgram(process, SetupDeadline);
}

// ---- the installed kit --------------------------------------------------------------

static void CheckInstalledFiles_(At at)
{
    for (const char *program : Programs)
        ok_at(at, SameFile(KitProgramPath(program), InstallDir + "\\" + program),
              "%s of this build not installed into %s", program, InstallDir.c_str());
    std::string readme = ReadWholeFile(InstallDir + "\\readme.txt");
    ok_at(at, readme.find("\r\n") != std::string::npos &&
                  std::count(readme.begin(), readme.end(), '\n') ==
                      (long)std::count(readme.begin(), readme.end(), '\r'),
          "readme.txt is not there with CRLF line ends");
    ok_at(at, FileExists(InstallDir + "\\uninstall.exe"), "no uninstaller");
    ok_at(at, FilesIn(InstallDir + "\\*.new").empty(),
          "replacement files left in the program folder");
    for (const char *icon : CardIcons) {
        std::string path = WindowsDir + "\\" + icon;
        HANDLE image = LoadImageA(NULL, path.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE);
        ok_at(at, image != NULL, "%s is not installed as an icon: error %lu", path.c_str(),
              GetLastError());
        if (image)
            DestroyIcon((HICON)image);
    }
}

static void CheckEntryValues_(At at)
{
    const std::string entry[][2] = {
        {"DisplayName", "Card Reader Kit"},
        {"DisplayVersion", KIT_VERSION},
        {"InstallLocation", InstallDir},
        {"UninstallString", "\"" + InstallDir + "\\uninstall.exe\""},
    };
    for (const auto &value : entry) {
        std::string got = ReadString(HKEY_LOCAL_MACHINE, UninstallKey, value[0].c_str());
        ok_at(at, got == value[1], "%s is [%s], want [%s]", value[0].c_str(), got.c_str(),
              value[1].c_str());
    }
    ok_at(at, !ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "Publisher").empty(), "no publisher");
    ok_at(at, ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayIcon").find(InstallDir) == 0,
          "no display icon from the program folder");
    for (const char *name : {"EstimatedSize", "NoModify", "NoRepair"}) {
        std::string data;
        DWORD type = 0;
        ok_at(at, RegReadBytes(HKEY_LOCAL_MACHINE, UninstallKey, name, &data, &type) &&
                      type == REG_DWORD && *(const DWORD *)data.data() > 0,
              "%s is not a nonzero number", name);
    }
    if (sizeof(void *) == 8) {
        HKEY key;
        bool in32 = RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKey, 0,
                                  KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS;
        if (in32)
            RegCloseKey(key);
        ok_at(at, !in32, "the entry is in the 32-bit view of 64-bit Windows");
    }
}

// The Run values and the Start menu's shortcuts.
static void CheckStartEntries_(At at)
{
    for (const char *name : {"tavlix", "morvex"}) {
        std::string want = "\"" + InstallDir + "\\" + name + ".exe\"";
        std::string got = ReadString(HKEY_LOCAL_MACHINE, RunKey, name);
        ok_at(at, got == want, "Run value %s is [%s], want [%s]", name, got.c_str(),
              want.c_str());
    }
    ok_at(at, FileExists(StartMenuDir + "\\Read me.lnk") &&
                  FileExists(StartMenuDir + "\\Record a trace.lnk") &&
                  FileExists(StartMenuDir + "\\Uninstall Card Reader Kit.lnk"),
          "Start menu folder %s lacks its shortcuts", StartMenuDir.c_str());
}

// The kit whole in InstallDir: its files, the card icons, its entry in
// Add/Remove Programs, its start at log-on and its Start menu folder.
#define CheckInstalled() CheckInstalled_(HERE)
static void CheckInstalled_(At at)
{
    CheckInstalledFiles_(at);
    CheckEntryValues_(at);
    CheckStartEntries_(at);
}

// Where the entry says the kit is, and what it says.
#define CheckEntry(version, folder) CheckEntry_(HERE, version, folder)
static void CheckEntry_(At at, const char *version, const std::string &folder)
{
    std::string got = ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion");
    ok_at(at, got == version, "DisplayVersion is [%s], want [%s]", got.c_str(), version);
    got = ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "InstallLocation");
    ok_at(at, got == folder, "InstallLocation is [%s], want [%s]", got.c_str(), folder.c_str());
}

#define CheckNothingPending() CheckNothingPending_(HERE)
static void CheckNothingPending_(At at)
{
    ok_at(at, PendingKitFiles().empty(), "left for a restart: %s",
          Joined(PendingKitFiles()).c_str());
}

// What Windows does at a restart before anything else: the renames and
// deletions that wait for it. wineboot -r applies them; the rest of a
// restart (ending this session with the test in it) is not needed here.
#define Restart() Restart_(HERE)
static void Restart_(At at)
{
    DWORD code = RunCommandLine("wineboot.exe -r", SetupDeadline);
    ok_at(at, code == 0, "wineboot -r: exit code %lu", code);
    ok_at(at, !RegValueExists(HKEY_LOCAL_MACHINE, SessionManagerKey, "PendingFileRenameOperations"),
          "the restart left renames pending");
}

// ---- scenarios --------------------------------------------------------------------

static MachineState Before;

// Refused, with exit code 2, nothing changed and nothing started: on
// Windows NT 4; and where what waits for a restart cannot be changed (the
// key read-only, as to an account without the rights), as that restart
// could then undo the run.
static void test_refusals(void)
{
    const struct {
        const char *where, *version, *sessionManagerAccess;
    } cases[] = {{"on Windows NT 4", "nt40", NULL},
                 {"with Session Manager read-only", "win2k", "D:P(A;OICI;KR;;;WD)"}};
    for (const auto &refusal : cases) {
        SetWindowsVersion(refusal.version);
        bool locked = refusal.sessionManagerAccess &&
                      RegSetAccess(HKEY_LOCAL_MACHINE, SessionManagerKey,
                                   refusal.sessionManagerAccess);
        ok(locked == (refusal.sessionManagerAccess != NULL), "Session Manager not locked");
        DWORD code = RunSilentSetup();
        if (locked)
            RegSetAccess(HKEY_LOCAL_MACHINE, SessionManagerKey, "D:P(A;OICI;KA;;;WD)");
        SetWindowsVersion("win2k");
        ok(code == 2, "setup %s: exit code %lu, want 2", refusal.where, code);
        CheckSameState(Before, ReadMachineState());
        ok(CountProcessesNamed("tavlix.exe") + CountProcessesNamed("morvex.exe") == 0,
           "a program started");
    }
}

// Both programs run, once each, right after a silent install on Windows
// 2000, and tavlix has given the reader's slots their icons: no log-on.
static void test_fresh_install(void)
{
    DWORD start = GetTickCount();
    HANDLE setup = StartCommandLine("\"" + SetupPath + "\" /S", NULL);
    DWORD running = 0;
    while (setup && GetTickCount() - start < SetupDeadline) {
        if (FindWindowOfClass("TAVLIX", 0) && FindWindowOfClass("MORVEX", 0)) {
            running = GetTickCount() - start;
            break;
        }
        Sleep(20);
    }
    DWORD code = FinishProgram(setup, SetupDeadline);
    ok(code == 0, "setup: exit code %lu", code);
    ok(running != 0, "tavlix and morvex are not both running after the setup");
    ok(WaitForTrace(ProcessOfClass("MORVEX"), "morvex: scan 1 ended", 0, 60000) >= 0,
       "morvex's start-up scan did not end");
    printf("from the start of the silent install to both programs running: %lu ms (%s)\n",
           (unsigned long)running, sizeof(void *) == 8 ? "64-bit path" : "32-bit path");
    CheckInstalled();
    CheckOneCopyOfEach();
    ok(TavlixStartedUp() && LettersWithIcons() == "DEFG", "the reader's slots have icons %s, want DEFG",
       LettersWithIcons().c_str());
    CheckNothingPending();
}

// The setup run again over the running kit stops both programs (tavlix's
// exit clean-up runs), replaces the files and starts the new ones; the
// icon files a user chose stay.
static void test_setup_again_while_running(void)
{
    DWORD tavlix = ProcessOfClass("TAVLIX");
    DWORD morvex = ProcessOfClass("MORVEX");
    ok(tavlix && morvex, "the kit is not running");
    ok(RegPutString(HKEY_LOCAL_MACHINE, SettingsKey, "0", "mycf.ico"), "a user's CF icon");
    // Changed here, put back by the setup: the files are replaced (a
    // program still running would keep its file, and exit with 3010).
    WriteText(InstallDir + "\\readme.txt", "old");

    DWORD code = RunSilentSetup();
    ok(code == 0, "setup over the running kit: exit code %lu", code);
    ok(ReadWholeFile(InstallDir + "\\readme.txt") != "old", "readme.txt was not replaced");
    ok(FilesIn(InstallDir + "\\*.new").empty(), "replacement files left in the program folder");
    CheckNothingPending();
    ok(ReadString(HKEY_LOCAL_MACHINE, SettingsKey, "0") == "mycf.ico",
       "the user's value 0 is [%s]", ReadString(HKEY_LOCAL_MACHINE, SettingsKey, "0").c_str());
    ok(WaitForWindowOfClass("TAVLIX", 0, 60000) && WaitForWindowOfClass("MORVEX", 0, 60000),
       "the new programs are not running");
    CheckOneCopyOfEach();
    ok(ProcessOfClass("TAVLIX") != tavlix && ProcessOfClass("MORVEX") != morvex,
       "the old programs still run");
    ok(TavlixStartedUp() && LettersWithIcons() == "DEFG", "icons %s after the upgrade",
       LettersWithIcons().c_str());
    RegRemoveValue(HKEY_LOCAL_MACHINE, SettingsKey, "0");
}

// ---- an older setup over a newer kit ------------------------------------------------

// The setup's Yes/No message box (its text control has the id 0xFFFF);
// the setup's own window has the same caption, but other buttons.
static HWND WaitForQuestion(DWORD pid, DWORD ms)
{
    HWND box = WaitForDialogOfProcess(SetupCaption, pid, ms);
    return box && GetDlgItem(box, 0xFFFF) && GetDlgItem(box, IDNO) ? box : NULL;
}

// The question names both versions and keeps the newer kit by default;
// answered with Enter, as a user answers it.
#define AnswerWithTheDefault(box, newer) AnswerWithTheDefault_(HERE, box, newer)
static void AnswerWithTheDefault_(At at, HWND box, const char *newer)
{
    char text[1024] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
    std::string rest = text;
    size_t found = rest.find(newer);
    bool namesNewer = found != std::string::npos;
    while (found != std::string::npos) {
        rest.erase(found, strlen(newer));
        found = rest.find(newer);
    }
    ok_at(at, namesNewer && rest.find(KIT_VERSION) != std::string::npos,
          "the question does not name both versions: [%s]", text);
    HWND yes = GetDlgItem(box, IDYES), no = GetDlgItem(box, IDNO);
    ok_at(at, yes && no && (GetWindowLongA(no, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
          "the default answer is not No (keep the installed kit)");
    // Enter, where the default button has the focus.
    PostMessageA(no, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(no, WM_KEYUP, VK_RETURN, 0xC0000001);
}

// The installed kit says it is 1.10.0, which is newer than this setup's
// 1.0.0 only when the numbers are compared as numbers. Asked, the default
// keeps it: exit code 1 ("cancelled by the user") and nothing changed, the
// running programs not even stopped. A silent run replaces it. Over the
// same version the setup asks nothing.
static void test_older_setup_over_a_newer_kit(void)
{
    const char newer[] = "1.10.0";
    ok(RegPutString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion", newer), "newer kit");
    WriteText(InstallDir + "\\readme.txt", "the newer kit's");
    DWORD tavlix = ProcessOfClass("TAVLIX");
    DWORD morvex = ProcessOfClass("MORVEX");
    MachineState before = ReadMachineState();

    HANDLE setup = StartCommandLine("\"" + SetupPath + "\"", NULL);
    HWND box = setup ? WaitForQuestion(GetProcessId(setup), 60000) : NULL;
    ok(box != NULL, "the setup asked nothing");
    if (box)
        AnswerWithTheDefault(box, newer);
    DWORD code = FinishProgram(setup, box ? SetupDeadline : 0);
    ok(code == 1, "the older setup answered with the default: exit code %lu, want 1", code);
    CheckSameState(before, ReadMachineState());
    ok(ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayVersion") == newer &&
           ReadWholeFile(InstallDir + "\\readme.txt") == "the newer kit's",
       "the newer kit was changed");
    ok(ProcessOfClass("TAVLIX") == tavlix && ProcessOfClass("MORVEX") == morvex,
       "the running programs were stopped");

    code = RunSilentSetup();
    ok(code == 0, "the older setup, silent: exit code %lu", code);
    CheckEntry(KIT_VERSION, InstallDir);
    ok(ReadWholeFile(InstallDir + "\\readme.txt") != "the newer kit's",
       "the newer kit's readme.txt was kept");
    ok(KitRunning() && ProcessOfClass("TAVLIX") != tavlix, "the older kit is not running");

    // The same version again, interactively: no question, its first page.
    setup = StartCommandLine("\"" + SetupPath + "\"", NULL);
    HWND first = setup ? WaitForDialogOfProcess(SetupCaption, GetProcessId(setup), 60000) : NULL;
    ok(first && !GetDlgItem(first, IDNO) && GetDlgItem(first, IDOK),
       "the setup over the same version did not come to its first page");
    FinishProgram(setup, 0); // nothing is changed before that page is left
}

// ---- uninstallation -------------------------------------------------------------------

#define CheckUninstalled(before) CheckUninstalled_(HERE, before)
static void CheckUninstalled_(At at, const MachineState &before)
{
    ok_at(at, CountProcessesNamed("tavlix.exe") + CountProcessesNamed("morvex.exe") == 0,
          "a program of the kit still runs");
    CheckNothingPending_(at);
    ok_at(at, !FileExists(StartMenuDir + "\\Read me.lnk") && !FolderExists(StartMenuDir),
          "the Start menu folder is left");
    CheckSameState_(at, before, ReadMachineState());
}

static void test_uninstall(void)
{
    DWORD code = RunQuietUninstall();
    ok(code == 0, "uninstallation: exit code %lu", code);
    CheckUninstalled(Before);
}

// A tavlix of an account that may not write the machine's places (their
// keys read-only to it, as to a limited user) gives the reader's slots
// icons of this user's own, and is killed: its keys and markers stay.
static void KillTavlixOfLimitedUser(void)
{
    const char *const machinePlaces[] = {"Software\\Classes\\Applications\\Explorer.exe\\Drives",
                                         SettingsKey};
    for (const char *key : machinePlaces)
        ok(RegSetAccess(HKEY_LOCAL_MACHINE, key, "D:P(A;OICI;KR;;;WD)"), "%s locked", key);
    HANDLE tavlix = StartCommandLine("\"" + InstallDir + "\\tavlix.exe\"", NULL);
    WatchIconKeysOf(UserIconKeys);
    ok(TavlixStartedUp() && LettersWithIcons() == "DEFG" && LettersWithMarkers() == "DEFG",
       "the limited user's icons %s, markers %s", LettersWithIcons().c_str(),
       LettersWithMarkers().c_str());
    KillProgram(tavlix);
    ok(PutOtherProgramsDriveIcon('K'), "another program's icon for this user's K");
    WatchIconKeysOf(MachineIconKeys);
    // The uninstaller runs as an administrator.
    for (const char *key : machinePlaces)
        ok(RegSetAccess(HKEY_LOCAL_MACHINE, key, "D:P(A;OICI;KA;;;WD)"), "%s unlocked", key);
}

// An account logged on meanwhile (fast user switching): its registry
// loaded under HKEY_USERS from its hive file, as Windows loads it. A tavlix
// of its own was killed there and left the icon keys of the letters marked,
// with their markers; another program has icon keys for the letters of
// others, without.
// Saving and loading a hive take the rights an administrator's tool enables.
static void EnableRegistryRights(void)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return;
    for (const char *name : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES rights = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (LookupPrivilegeValueA(NULL, name, &rights.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &rights, 0, NULL, NULL);
    }
    CloseHandle(token);
}

static bool LoadAccount(const char *account, const char *marked, const char *others)
{
    const std::string scratch = std::string("Software\\kit-test-hive");
    const std::string drives = scratch + "\\" + UserExplorerKey + "\\Drives\\";
    const std::string markers = scratch + "\\" + SettingsKey;
    bool seeded = true;
    for (const char *letter = marked; *letter; letter++)
        seeded = seeded && RegPutBytes(HKEY_CURRENT_USER, markers.c_str(),
                                       std::string(1, *letter).c_str(), REG_SZ, "", 0);
    for (const std::string &letters : {std::string(marked), std::string(others)})
        for (char letter : letters)
            seeded = seeded && RegPutString(HKEY_CURRENT_USER,
                                            (drives + letter + "\\DefaultIcon").c_str(), "",
                                            OtherProgramsIcon);
    const std::string hive = MakeWorkFolder(account) + "\\ntuser.dat";
    EnableRegistryRights();
    HKEY key = NULL;
    seeded = seeded && RegOpenKeyExA(HKEY_CURRENT_USER, scratch.c_str(), 0, KEY_READ, &key) == 0 &&
             RegSaveKeyA(key, hive.c_str(), NULL) == ERROR_SUCCESS;
    if (key)
        RegCloseKey(key);
    RegRemoveTree(HKEY_CURRENT_USER, scratch.c_str());
    return seeded && RegLoadKeyA(HKEY_USERS, account, hive.c_str()) == ERROR_SUCCESS;
}

// A place of icon keys after the uninstallation: another program's key
// for each letter of others, and nothing of the kit (no key its markers
// named, no key above them left empty, no markers).
#define CheckIconKeysLeft(place) CheckIconKeysLeft_(HERE, place)
struct IconPlace {
    const char *whose;
    HKEY root;
    std::string base; // before Software
    const char *others;
};
static void CheckIconKeysLeft_(At at, const IconPlace &place)
{
    std::vector<std::string> keys, want;
    CollectKeys(place.root, place.base + UserExplorerKey, "", true, &keys);
    if (*place.others)
        want.push_back("Drives");
    for (const char *letter = place.others; *letter; letter++)
        for (const char *below : {"", "\\DefaultIcon"})
            want.push_back(std::string("Drives\\") + *letter + below);
    std::sort(keys.begin(), keys.end());
    bool explorer = RegKeyExists(place.root, (place.base + UserExplorerKey).c_str());
    bool markers = RegKeyExists(place.root, (place.base + SettingsKey).c_str());
    ok_at(at, keys == want && explorer == (*place.others != 0) && !markers,
          "%s: under Explorer.exe (there: %d) %s, want %s; markers left: %d", place.whose,
          explorer, Joined(keys).c_str(), Joined(want).c_str(), markers);
}

// tavlix died and left its icon keys and markers: on the machine, for this
// user (a limited user's tavlix, killed too) and for two other accounts
// logged on. The uninstaller removes in each the keys its markers name,
// the markers and the keys above left empty; another program's key for K,
// which no marker names, stays, as does the user's own Open With entry.
// This time the uninstaller is run the way that waits for it.
static void test_uninstall_after_tavlix_died(void)
{
    RegRemoveTree(HKEY_CLASSES_ROOT, ExplorerKey);
    MachineState before = ReadMachineState();
    ok(RunSilentSetup() == 0, "setup");
    ok(TavlixStartedUp() && LettersWithIcons() == "DEFG", "icons %s", LettersWithIcons().c_str());
    DWORD pid = ProcessOfClass("TAVLIX");
    HANDLE tavlix = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : NULL;
    ok(tavlix != NULL, "tavlix is not running");
    KillProgram(tavlix);
    ok(LettersWithMarkers() == "DEFG", "markers %s", LettersWithMarkers().c_str());
    KillTavlixOfLimitedUser();
    ok(PutOtherProgramsDriveIcon('K'), "another program's icon for the machine's K");
    ok(LoadAccount(FirstAccount, "DH", "K") && LoadAccount(SecondAccount, "E", ""),
       "the other accounts' registries are not loaded");
    const char openWith[] = "Software\\Classes\\Applications\\other.exe\\shell\\open\\command";
    ok(RegPutString(HKEY_CURRENT_USER, openWith, "", "other.exe \"%1\""), "Open With entry");

    DWORD code = RunCommandLine("\"" + InstallDir + "\\uninstall.exe\" /S _?=" + InstallDir,
                                SetupDeadline);
    ok(code == 0, "uninstallation: exit code %lu", code);
    const IconPlace places[] = {{"the machine's", HKEY_LOCAL_MACHINE, "", "K"},
                                {"this user's", HKEY_CURRENT_USER, "", "K"},
                                {"the first account's", HKEY_USERS, FirstAccount + std::string("\\"), "K"},
                                {"the second account's", HKEY_USERS, SecondAccount + std::string("\\"), ""}};
    for (const IconPlace &place : places)
        CheckIconKeysLeft(place);
    ok(RegKeyExists(HKEY_CURRENT_USER, openWith), "the user's Open With entry was removed");
    RegRemoveTree(HKEY_CURRENT_USER, "Software\\Classes\\Applications\\other.exe");
    RegRemoveTree(HKEY_CURRENT_USER, UserExplorerKey);
    RegRemoveTree(HKEY_CLASSES_ROOT, ExplorerKey);
    for (const char *account : {FirstAccount, SecondAccount})
        RegUnLoadKeyA(HKEY_USERS, account);
    // This form runs the uninstaller in place, which cannot remove itself.
    DeleteFileA((InstallDir + "\\uninstall.exe").c_str());
    RemoveDirectoryA(InstallDir.c_str());
    CheckUninstalled(before);
}

// ---- a folder of its own ---------------------------------------------------------------

// Installed with /D= (the command line exactly as an administrator types
// it, spaces and all), upgraded without it: in the same folder, no second
// copy. Then moved with /D= to another folder, which leaves nothing in the
// first one; uninstalled from there.
static void test_install_to_a_named_folder(void)
{
    const std::string parent = "C:\\kit test";
    const std::string named = parent + "\\Card Reader Kit here";
    const std::string moved = parent + "\\Card Reader Kit moved";
    MachineState before = ReadMachineState();

    InstallDir = named;
    DWORD code = RunSilentSetup(" /D=" + named);
    ok(code == 0, "setup /D=: exit code %lu", code);
    CheckEntry(KIT_VERSION, named);
    ok(SameFile(KitProgramPath("tavlix.exe"), named + "\\tavlix.exe"),
       "tavlix.exe is not installed into %s", named.c_str());
    ok(!FolderExists(DefaultInstallDir), "the setup /D= installed into %s",
       DefaultInstallDir.c_str());
    ok(KitRunning(), "the kit is not running from %s", named.c_str());

    code = RunSilentSetup();
    ok(code == 0, "upgrade: exit code %lu", code);
    CheckEntry(KIT_VERSION, named);
    ok(!FolderExists(DefaultInstallDir), "the upgrade made a second copy in %s",
       DefaultInstallDir.c_str());
    ok(KitRunning(), "the upgraded kit is not running");

    InstallDir = moved;
    code = RunSilentSetup(" /D=" + moved);
    ok(code == 0, "setup /D= elsewhere: exit code %lu", code);
    CheckInstalled();
    ok(!FolderExists(named), "the kit left %s: %s", named.c_str(),
       Joined(FilesIn(named + "\\*")).c_str());
    ok(!FolderExists(DefaultInstallDir), "the move made a copy in %s", DefaultInstallDir.c_str());
    ok(KitRunning(), "the moved kit is not running");
    CheckOneCopyOfEach();

    code = RunQuietUninstall();
    ok(code == 0, "uninstallation: exit code %lu", code);
    CheckUninstalled(before);
    ok(!FolderExists(moved), "%s is left", moved.c_str());
    RemoveDirectoryA(parent.c_str());
    InstallDir = DefaultInstallDir;
}

// ---- before a restart -------------------------------------------------------------------

static MachineState Uninstalled; // before the kit was installed for these scenarios

// The rename of each file's replacement onto it waits for the restart.
#define CheckReplacementsWait(...) CheckReplacementsWait_(HERE, __VA_ARGS__)
static void CheckReplacementsWait_(At at, const std::vector<std::string> &files)
{
    for (const std::string &file : files) {
        bool from = false, onto = false;
        for (const std::string &entry : PendingKitFiles()) {
            from = from || EndsWith(entry, file + ".new");
            onto = onto || EndsWith(entry, file);
        }
        ok_at(at, from && onto, "the new %s does not wait for the restart: %s", file.c_str(),
              Joined(PendingKitFiles()).c_str());
    }
}

// A program file and a card icon in use (held open by this test, as a
// virus scanner might) while the setup runs interactively: their
// replacements wait beside them for the restart, the setup says so with
// 3010 and starts nothing, as the old and new programs would not match;
// its finish page offers Restart later and names both files. Before that
// restart, with the files free again, the setup runs once more: the first
// run's replacements (here an older kit's) must not come over the new
// files at the restart.
static void test_setup_twice_before_the_restart(void)
{
    Uninstalled = ReadMachineState();
    ok(RunSilentSetup() == 0 && KitRunning(), "the kit is not installed and running");
    const std::string program = InstallDir + "\\vorbind.exe";
    const std::string icon = WindowsDir + "\\sdico.ico";
    HANDLE heldProgram = HoldFile(program);
    HANDLE heldIcon = HoldFile(icon);
    HANDLE setup = StartCommandLine("\"" + SetupPath + "\"", NULL);
    DWORD code = FinishAskingForRestart(setup, {"vorbind.exe", "sdico.ico"});
    CloseHandle(heldProgram);
    CloseHandle(heldIcon);
    ok(code == 3010, "setup with files in use: exit code %lu, want 3010", code);
    CheckReplacementsWait({program, icon});
    // Processes, not windows: a program just started has none yet.
    ok(CountProcessesNamed("tavlix.exe") + CountProcessesNamed("morvex.exe") == 0,
       "the setup started programs although a restart is due");

    WriteText(program + ".new", "an older kit's vorbind.exe");
    const std::string cfIcon = WindowsDir + "\\cfico.ico";
    ok(CopyFileA(cfIcon.c_str(), (icon + ".new").c_str(), FALSE), "an older kit's sdico.ico");
    code = RunSilentSetup();
    ok(code == 0, "the setup again before the restart: exit code %lu", code);
    CheckNothingPending();
    Restart();
    CheckInstalled();
    ok(!FileExists(icon + ".new"), "%s.new is left", icon.c_str());
    ok(!SameFile(icon, cfIcon), "the first run's sdico.ico came back at the restart");
}

// Record a trace open (kittrace holds its file) while the kit is
// uninstalled interactively: the finish page offers Restart later and
// names kittrace.exe, whose deletion waits for the restart. The recorder is
// closed and the kit installed again before that restart, which then
// leaves it whole, kittrace.exe with it.
static void test_setup_after_an_uninstallation_before_the_restart(void)
{
    const std::string recorderFile = InstallDir + "\\kittrace.exe";
    HANDLE recorder = StartCommandLine("\"" + recorderFile + "\"", NULL);
    DWORD pid = recorder ? GetProcessId(recorder) : 0;
    for (DWORD start = GetTickCount(); pid && !ProcessHasVisibleWindow(pid) &&
                                       GetTickCount() - start < 60000;)
        Sleep(50);
    ok(pid && ProcessHasVisibleWindow(pid), "the recorder did not open");
    HANDLE copy = StartUninstall("UninstallString", "\"" + InstallDir + "\\uninstall.exe\"");
    DWORD code = FinishAskingForRestart(copy, {"kittrace.exe"});
    ok(code == 3010, "uninstallation with the recorder open: exit code %lu, want 3010", code);
    bool waits = false;
    for (const std::string &entry : PendingKitFiles())
        waits = waits || EndsWith(entry, recorderFile);
    ok(waits, "the deletion of kittrace.exe does not wait for the restart: %s",
       Joined(PendingKitFiles()).c_str());
    KillProgram(recorder);

    code = RunSilentSetup();
    ok(code == 0, "the setup before the restart: exit code %lu", code);
    CheckNothingPending();
    Restart();
    CheckInstalled();
}

// The setup with a file in use again; the kit is uninstalled before that
// restart, while the scanner reads the new vorbind.exe: the restart then
// leaves nothing of the kit, no program folder and no card icon.
static void test_uninstall_before_the_restart(void)
{
    ok(KitRunning(), "the kit is not installed and running");
    const std::string program = InstallDir + "\\vorbind.exe";
    const std::string icon = WindowsDir + "\\sdico.ico";
    HANDLE heldProgram = HoldFile(program);
    HANDLE heldIcon = HoldFile(icon);
    DWORD code = RunSilentSetup();
    CloseHandle(heldProgram);
    CloseHandle(heldIcon);
    ok(code == 3010, "setup with files in use: exit code %lu, want 3010", code);

    HANDLE heldNew = HoldFile(program + ".new");
    code = RunQuietUninstall();
    CloseHandle(heldNew);
    ok(code == 3010, "uninstallation with vorbind.exe.new in use: exit code %lu, want 3010",
       code);
    Restart();
    ok(!FolderExists(InstallDir), "the restart left %s: %s", InstallDir.c_str(),
       Joined(FilesIn(InstallDir + "\\*")).c_str());
    CheckUninstalled(Uninstalled);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    SetupPath = SetupArgument(argc, argv);
    ok(FileExists(SetupPath), "no setup at %s (cmake --build build/win32 --target setup)",
       SetupPath.c_str());
    char path[MAX_PATH];
    GetWindowsDirectoryA(path, sizeof(path));
    WindowsDir = path;
    SHGetFolderPathA(NULL, CSIDL_PROGRAM_FILES, NULL, 0, path);
    DefaultInstallDir = std::string(path) + "\\Card Reader Kit";
    InstallDir = DefaultInstallDir;
    SHGetFolderPathA(NULL, CSIDL_COMMON_PROGRAMS, NULL, 0, path);
    StartMenuDir = std::string(path) + "\\Card Reader Kit";

    // The machine before: the reader's driver package, so that morvex
    // stays; the reader with an SD card; another program's start-up entry
    // and drive icon, which must stay.
    SetWindowsVersion("win2k");
    ok(LayOutDriverPackage(), "driver package");
    ok(PlugInReader() && InsertCard(ReaderSlotSD, 'F'), "reader");
    ok(RegPutString(HKEY_LOCAL_MACHINE, RunKey, "kit-test-other", "other.exe"), "other Run value");
    ok(RegPutString(HKEY_CLASSES_ROOT, (std::string(ExplorerKey) + "\\Drives\\C\\DefaultIcon").c_str(),
                    "", "C:\\other.ico"),
       "other drive icon");
    Before = ReadMachineState();

    RUN_TEST(test_refusals);
    RUN_TEST(test_fresh_install);
    RUN_TEST(test_setup_again_while_running);
    RUN_TEST(test_older_setup_over_a_newer_kit);
    RUN_TEST(test_uninstall);
    RUN_TEST(test_uninstall_after_tavlix_died);
    RUN_TEST(test_install_to_a_named_folder);
    // Last, in this order: each starts from the kit the one before left;
    // the restarts they do are more than a scenario's own.
    RUN_TEST(test_setup_twice_before_the_restart);
    RUN_TEST(test_setup_after_an_uninstallation_before_the_restart);
    RUN_TEST(test_uninstall_before_the_restart);
    ClearSimulatedDisks();
    return FinishTests();
}
