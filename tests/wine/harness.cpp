#include "harness.h"
#include "tracereader.h"
#include <dbt.h>
#include <sddl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static int Passed;
static int Failed;
static int Skipped;
static int Differences;
static const char *CurrentTest = "";
static std::string ProgramDir; // Windows path of the kit's programs
static std::string HelperDir;  // Windows path of the test helpers

// ---- checks -------------------------------------------------------------

static void Report(const char *file, int line, const char *what, const char *format,
                   va_list args)
{
    const char *base = strrchr(file, '/');
    printf("%s:%d: [%s] %s: ", base ? base + 1 : file, line, CurrentTest, what);
    vprintf(format, args);
    printf("\n");
    fflush(stdout);
}

void CheckAt(const char *file, int line, bool condition, const char *format, ...)
{
    if (condition) {
        Passed++;
        return;
    }
    Failed++;
    va_list args;
    va_start(args, format);
    Report(file, line, "check failed", format, args);
    va_end(args);
}

void SkipAt(const char *file, int line, const char *format, ...)
{
    Skipped++;
    va_list args;
    va_start(args, format);
    Report(file, line, "skipped", format, args);
    va_end(args);
}

void WineDiffersAt(const char *file, int line, bool condition, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    if (condition) {
        Failed++;
        Report(file, line, "passes now, drop its wine_differs mark", format, args);
    } else {
        Differences++;
        Report(file, line, "known Wine difference", format, args);
    }
    va_end(args);
}

void CheckTracedAt(const char *file, int line, DWORD pid, size_t from,
                   const std::vector<std::string> &parts)
{
    bool found = WaitForTraceParts(pid, parts, from, 30000) >= 0;
    std::string wanted;
    for (const std::string &part : parts)
        wanted += (wanted.empty() ? "\"" : " ... \"") + part + "\"";
    CheckAt(file, line, found, "the trace has no line with %s", wanted.c_str());
    if (!found)
        PrintTrace(from, pid);
}

void RunTest(const char *name, void (*fn)(void))
{
    CurrentTest = name;
    int before = Failed;
    DWORD start = GetTickCount();
    fn();
    printf("%s %s (%lu ms)\n", Failed == before ? "PASS" : "FAIL", name,
           (unsigned long)(GetTickCount() - start));
    fflush(stdout);
}

int FinishTests(void)
{
    // KIT_SHOW_TRACE=1 in the environment: every trace line the test read.
    if (GetEnvironmentVariableA("KIT_SHOW_TRACE", NULL, 0) > 0)
        PrintTrace(0);
    printf("%d passed, %d failed, %d skipped, %d known Wine differences\n", Passed, Failed,
           Skipped, Differences);
    fflush(stdout);
    return Failed == 0 && Passed > 0 ? 0 : 1;
}

// A Unix folder as Wine's Z: drive shows it; a relative one is taken from
// the current folder, which Wine sets from the Unix one.
std::string WindowsPathOf(const char *unixPath)
{
    std::string path = unixPath[0] == '/' ? std::string("Z:") + unixPath : unixPath;
    for (size_t i = 0; i < path.size(); i++)
        if (path[i] == '/')
            path[i] = '\\';
    if (unixPath[0] != '/') {
        char full[MAX_PATH];
        DWORD n = GetFullPathNameA(path.c_str(), sizeof(full), full, NULL);
        if (n > 0 && n < sizeof(full))
            path = full;
    }
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

void StartTests(int argc, char **argv, bool readTrace)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc < 3) {
        printf("usage: test PROGRAM_DIR HELPER_DIR (Unix paths)\n");
        ExitProcess(2);
    }
    ProgramDir = WindowsPathOf(argv[1]);
    HelperDir = WindowsPathOf(argv[2]);
    if (readTrace)
        ok(StartTraceReader(), "the trace cannot be read");
}

std::string SetupArgument(int argc, char **argv)
{
    if (argc < 4) {
        printf("usage: test PROGRAM_DIR HELPER_DIR SETUP (Unix paths)\n");
        ExitProcess(2);
    }
    return WindowsPathOf(argv[3]);
}

// ---- programs -----------------------------------------------------------

std::string KitProgramPath(const char *exeName)
{
    return ProgramDir + "\\" + exeName;
}

std::string TestFilePath(const char *fileName)
{
    return HelperDir + "\\" + fileName;
}

std::string MakeWorkFolder(const char *name)
{
    CreateDirectoryA("C:\\kit-test", NULL);
    std::string folder = std::string("C:\\kit-test\\") + name;
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

std::string CopyProgramTo(const std::string &folder, const char *exeName)
{
    std::string target = folder + "\\" + exeName;
    if (!CopyFileA(KitProgramPath(exeName).c_str(), target.c_str(), FALSE))
        printf("cannot copy %s: error %lu\n", exeName, GetLastError());
    return target;
}

void InstallNewdevRecorder(const std::string &folder)
{
    std::string target = folder + "\\newdev.dll";
    if (!CopyFileA(TestFilePath("newdev.dll").c_str(), target.c_str(), FALSE))
        printf("cannot copy the newdev recorder: error %lu\n", GetLastError());
}

std::string NewdevLogPath(const std::string &folder)
{
    return folder + "\\newdev.log";
}

HANDLE StartProgram(const std::string &exePath, const std::string &arguments,
                    bool useRecorder, const std::string &newdevLog)
{
    // The recorder is picked per program through Wine's own per-program DLL
    // overrides; the log path reaches it through the child's environment.
    std::string exeName = exePath.substr(exePath.find_last_of('\\') + 1);
    std::string overrides = "Software\\Wine\\AppDefaults\\" + exeName + "\\DllOverrides";
    if (useRecorder)
        RegPutString(HKEY_CURRENT_USER, overrides.c_str(), "newdev", "native");
    else
        RegRemoveTree(HKEY_CURRENT_USER, overrides.c_str());
    SetEnvironmentVariableA("KIT_NEWDEV_LOG", newdevLog.empty() ? NULL : newdevLog.c_str());

    std::string commandLine = "\"" + exePath + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::string folder = exePath.substr(0, exePath.find_last_of('\\'));
    return StartCommandLine(commandLine, folder.c_str());
}

HANDLE StartCommandLine(const std::string &commandLine, const char *folder)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, folder, &si, &pi)) {
        printf("cannot start %s: error %lu\n", commandLine.c_str(), GetLastError());
        return NULL;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

DWORD WaitForExit(HANDLE process, DWORD ms)
{
    if (!process)
        return 0xFFFFFFFF;
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process, &code);
    return code;
}

DWORD RunCommandLine(const std::string &commandLine, DWORD ms)
{
    return FinishProgram(StartCommandLine(commandLine, NULL), ms);
}

DWORD RunProgram(const std::string &exePath, const std::string &arguments,
                 bool useRecorder, const std::string &newdevLog, DWORD ms)
{
    return FinishProgram(StartProgram(exePath, arguments, useRecorder, newdevLog), ms);
}

DWORD FinishProgram(HANDLE process, DWORD ms)
{
    DWORD code = WaitForExit(process, ms);
    if (code == STILL_ACTIVE)
        KillProgram(process);
    else if (process)
        CloseHandle(process);
    return code;
}

DWORD FinishProgramWatchingWindow(HANDLE process, const char *className, DWORD ms,
                                  bool *windowSeen)
{
    DWORD pid = process ? GetProcessId(process) : 0;
    *windowSeen = false;
    DWORD start = GetTickCount();
    while (WaitForExit(process, 0) == STILL_ACTIVE && GetTickCount() - start < ms) {
        *windowSeen = *windowSeen || (className ? FindWindowOfClass(className, pid) != NULL
                                                : ProcessHasVisibleWindow(pid));
        Sleep(1);
    }
    return FinishProgram(process, 0);
}

DWORD RunStartupPass(const std::string &exePath, const char *className, bool useRecorder,
                     const std::string &newdevLog)
{
    HANDLE process = StartProgram(exePath, "", useRecorder, newdevLog);
    DWORD pid = process ? GetProcessId(process) : 0;
    HWND window = pid ? WaitForWindowOfClass(className, pid, 60000) : NULL;
    if (!window || !WaitUntilIdle(window, 60000)) {
        printf("%s did not come up\n", exePath.c_str());
        FinishProgram(process, 0);
        return STILL_ACTIVE;
    }
    PostMessageA(window, WM_COMMAND, 105, 0); // File > Exit
    return FinishProgram(process, 60000);
}

bool LayOutDriverPackage(void)
{
    CreateDirectoryA("C:\\windows\\zelmot", NULL);
    // Where the installation copies the driver to, as a 32-bit program sees it.
    return MakeFolders("C:\\windows\\system32\\drivers") &&
           CopyFileA(TestFilePath("driverpkg\\ZELMOT.INF").c_str(),
                     "C:\\windows\\ZELMOT\\ZELMOT.INF", FALSE) &&
           CopyFileA(TestFilePath("driverpkg\\zelmot.sys").c_str(),
                     "C:\\windows\\zelmot\\zelmot.sys", FALSE);
}

void KillProgram(HANDLE process)
{
    if (!process)
        return;
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

// A top-level window of a class, of a process (any when pid is 0), with a
// caption (any when null), visible or not.
struct WindowSearch {
    const char *className;
    DWORD pid;
    const char *caption;
    bool visibleOnly;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    char text[256];
    if (!GetClassNameA(window, text, sizeof(text)) || strcmp(text, search->className) != 0)
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (search->pid != 0 && pid != search->pid)
        return TRUE;
    if (search->visibleOnly && !IsWindowVisible(window))
        return TRUE;
    if (search->caption) {
        text[0] = '\0';
        GetWindowTextA(window, text, sizeof(text));
        if (strcmp(text, search->caption) != 0)
            return TRUE;
    }
    search->found = window;
    return FALSE;
}

static HWND FindTopWindow(WindowSearch search)
{
    search.found = NULL;
    EnumWindows(MatchWindow, (LPARAM)&search);
    return search.found;
}

static HWND WaitForTopWindow(const WindowSearch &search, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindTopWindow(search);
        if (window || GetTickCount() - start > ms)
            return window;
        Sleep(20);
    }
}

DWORD ProcessOfClass(const char *className)
{
    DWORD pid = 0;
    HWND window = FindWindowOfClass(className, 0);
    if (window)
        GetWindowThreadProcessId(window, &pid);
    return pid;
}

HWND FindWindowOfClass(const char *className, DWORD pid)
{
    return FindTopWindow({className, pid, NULL, false, NULL});
}

HWND WaitForWindowOfClass(const char *className, DWORD pid, DWORD ms)
{
    return WaitForTopWindow({className, pid, NULL, false, NULL}, ms);
}

struct VisibleSearch {
    DWORD pid;
    bool visible;
};

static BOOL CALLBACK MatchVisible(HWND window, LPARAM param)
{
    VisibleSearch *search = (VisibleSearch *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window))
        search->visible = true;
    return TRUE;
}

bool ProcessHasVisibleWindow(DWORD pid)
{
    VisibleSearch search = {pid, false};
    EnumWindows(MatchVisible, (LPARAM)&search);
    return search.visible;
}

// ---- newdev recorder ------------------------------------------------------

std::vector<InstallRequest> ReadInstallRequests(const std::string &logPath)
{
    std::vector<InstallRequest> requests;
    FILE *log = fopen(logPath.c_str(), "rb");
    if (!log)
        return requests;
    char line[2048];
    while (fgets(line, sizeof(line), log)) {
        line[strcspn(line, "\r\n")] = '\0';
        char *bar1 = strchr(line, '|');
        char *bar2 = bar1 ? strchr(bar1 + 1, '|') : NULL;
        if (!bar2)
            continue;
        char *bar3 = strchr(bar2 + 1, '|');
        char *bar4 = bar3 ? strchr(bar3 + 1, '|') : NULL;
        *bar1 = *bar2 = '\0';
        InstallRequest request;
        request.hardwareId = line;
        request.infPath = bar1 + 1;
        request.flags = strtoul(bar2 + 1, NULL, 0);
        if (bar3)
            request.tick = strtoul(bar3 + 1, NULL, 0);
        if (bar4)
            request.depth = strtoul(bar4 + 1, NULL, 0);
        requests.push_back(request);
    }
    fclose(log);
    return requests;
}

bool WaitForRequestsBeyond(const std::string &logPath, size_t count, DWORD ms)
{
    DWORD start = GetTickCount();
    while (ReadInstallRequests(logPath).size() <= count) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(50);
    }
    return true;
}

bool WaitQuietSince(HWND window, DWORD since)
{
    DWORD waited = GetTickCount() - since;
    if (waited < AbsenceWait)
        Sleep(AbsenceWait - waited);
    return WaitUntilIdle(window, 60000);
}

// ---- registry ---------------------------------------------------------------

bool RegPutBytes(HKEY root, const char *key, const char *name, DWORD type,
                 const void *data, DWORD size)
{
    HKEY handle;
    if (RegCreateKeyExA(root, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &handle, NULL))
        return false;
    LONG rc = RegSetValueExA(handle, name, 0, type, (const BYTE *)data, size);
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

bool RegPutString(HKEY root, const char *key, const char *name, const char *value)
{
    return RegPutBytes(root, key, name, REG_SZ, value, (DWORD)strlen(value) + 1);
}

bool RegPutDword(HKEY root, const char *key, const char *name, DWORD value)
{
    return RegPutBytes(root, key, name, REG_DWORD, &value, sizeof(value));
}

bool RegReadBytes(HKEY root, const char *key, const char *name, std::string *data,
                 DWORD *type)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &handle))
        return false;
    DWORD size = 0;
    DWORD valueType = 0;
    LONG rc = RegQueryValueExA(handle, name, NULL, &valueType, NULL, &size);
    if (rc == ERROR_SUCCESS) {
        std::vector<char> buffer(size + 1);
        rc = RegQueryValueExA(handle, name, NULL, &valueType, (BYTE *)buffer.data(), &size);
        if (data)
            data->assign(buffer.data(), size);
    }
    RegCloseKey(handle);
    if (type)
        *type = valueType;
    return rc == ERROR_SUCCESS;
}

bool RegKeyExists(HKEY root, const char *key)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, &handle))
        return false;
    RegCloseKey(handle);
    return true;
}

bool RegValueExists(HKEY root, const char *key, const char *name)
{
    return RegReadBytes(root, key, name, NULL, NULL);
}

void RegRemoveTree(HKEY root, const char *key)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_ENUMERATE_SUB_KEYS, &handle) == ERROR_SUCCESS) {
        char child[256];
        DWORD size = sizeof(child);
        while (RegEnumKeyExA(handle, 0, child, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
            std::string path = std::string(key) + "\\" + child;
            RegRemoveTree(root, path.c_str());
            size = sizeof(child);
        }
        RegCloseKey(handle);
    }
    RegDeleteKeyA(root, key);
}

bool RegKeyIsVolatile(HKEY root, const char *key)
{
    std::string probe = std::string(key) + "\\kit-volatility-probe";
    HKEY handle;
    LONG rc = RegCreateKeyExA(root, probe.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE,
                              KEY_QUERY_VALUE, NULL, &handle, NULL);
    if (rc == ERROR_SUCCESS) {
        RegCloseKey(handle);
        RegDeleteKeyA(root, probe.c_str());
    }
    return rc == ERROR_CHILD_MUST_BE_VOLATILE;
}

bool RegRemoveValue(HKEY root, const char *key, const char *name)
{
    HKEY handle;
    if (RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, &handle))
        return false;
    LONG rc = RegDeleteValueA(handle, name);
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

bool RegSetAccess(HKEY root, const char *key, const char *sddl)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                              NULL))
        return false;
    HKEY handle;
    LONG rc = RegOpenKeyExA(root, key, 0, WRITE_DAC, &handle);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(handle);
    }
    LocalFree(descriptor);
    if (rc != ERROR_SUCCESS)
        printf("cannot set the access of %s to %s: error %ld\n", key, sddl, rc);
    return rc == ERROR_SUCCESS;
}

void SetProgramWindowsVersion(const char *exeName, const char *version)
{
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + exeName;
    if (version && *version)
        RegPutString(HKEY_CURRENT_USER, key.c_str(), "Version", version);
    else
        RegRemoveTree(HKEY_CURRENT_USER, key.c_str());
}

// ---- broadcasts ---------------------------------------------------------------

LRESULT SendDeviceEvent(HWND window, WPARAM event, LPARAM header)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_DEVICECHANGE, event, header, SMTO_NORMAL,
                             10000, &result))
        return (LRESULT)-12345;
    return (LRESULT)result;
}

LRESULT SendVolumeEvent(HWND window, WPARAM event, DWORD unitMask, WORD flags)
{
    DEV_BROADCAST_VOLUME volume;
    memset(&volume, 0, sizeof(volume));
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unitMask;
    volume.dbcv_flags = flags;
    return SendDeviceEvent(window, event, (LPARAM)&volume);
}

BroadcastAnswers SendBroadcastRounds(HWND window, int rounds, WORD volumeFlags)
{
    BroadcastAnswers answers = {0, 0, 0};
    DEV_BROADCAST_VOLUME volume;
    memset(&volume, 0, sizeof(volume));
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('F' - 'A');
    volume.dbcv_flags = volumeFlags;
    const WPARAM events[] = {DBT_DEVNODES_CHANGED, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEARRIVAL};
    for (int round = 0; round < rounds; round++) {
        for (WPARAM event : events) {
            DWORD_PTR result = 1;
            DWORD start = GetTickCount();
            LPARAM header = event == DBT_DEVNODES_CHANGED ? 0 : (LPARAM)&volume;
            bool answered = SendMessageTimeoutA(window, WM_DEVICECHANGE, event, header,
                                                SMTO_NORMAL, 5000, &result) != 0;
            DWORD spent = GetTickCount() - start;
            answers.total += spent;
            answers.slowest = spent > answers.slowest ? spent : answers.slowest;
            answers.late += !answered || result != 0;
        }
    }
    return answers;
}

// ---- files --------------------------------------------------------------------

std::string ReadWholeFile(const std::string &path)
{
    std::string data;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return data;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
        data.append(buffer, n);
    fclose(file);
    return data;
}

bool MakeFolders(const std::string &folder)
{
    // Each folder of the path from the top down; those that exist stay.
    for (size_t at = folder.find('\\', 3); ; at = folder.find('\\', at + 1)) {
        std::string part = folder.substr(0, at);
        if (!CreateDirectoryA(part.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (at == std::string::npos)
            return true;
    }
}

bool MakeFileWithTime(const std::string &path, const FILETIME &lastWrite)
{
    // Fixtures lie in folders a fresh prefix may lack (Wine's SysWOW64 has
    // no drivers folder, the reader's package folder is the maker's).
    size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos && slash > 2)
        MakeFolders(path.substr(0, slash));
    DeleteFileA(path.c_str());
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot create %s: error %lu\n", path.c_str(), GetLastError());
        return false;
    }
    static const char content[] = "test driver file\r\n";
    DWORD written = 0;
    bool done = WriteFile(file, content, sizeof(content) - 1, &written, NULL) &&
                SetFileTime(file, NULL, NULL, &lastWrite);
    CloseHandle(file);
    return done;
}

FILETIME FileTimeAtSeconds(long long seconds)
{
    // 2004-05-31 08:00:00 UTC in 100-ns units since 1601.
    unsigned long long base = 127304640000000000ULL;
    unsigned long long value = base + (unsigned long long)(seconds * 10000000LL);
    FILETIME time;
    time.dwLowDateTime = (DWORD)value;
    time.dwHighDateTime = (DWORD)(value >> 32);
    return time;
}

bool ReadLastWrite(const std::string &path, FILETIME *lastWrite)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    *lastWrite = data.ftLastWriteTime;
    return true;
}

// ---- windows of a running program -----------------------------------------------

bool WaitUntilIdle(HWND window, DWORD ms)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, ms, &result) != 0;
}

// A dialog is shown only once its controls exist and it is ready for input.
HWND FindDialogOfProcess(const char *caption, DWORD pid)
{
    return FindTopWindow({"#32770", pid, caption, true, NULL});
}

HWND WaitForDialogOfProcess(const char *caption, DWORD pid, DWORD ms)
{
    return WaitForTopWindow({"#32770", pid, caption, true, NULL}, ms);
}

bool WaitForWindowGone(HWND window, DWORD ms)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
    return true;
}

HWND OpenDialogWithAltCharacter(HWND window, char character, const char *caption, DWORD ms)
{
    // Accelerators read the Alt key from the thread's key state, which a
    // posted message does not carry: share the input state with the window's
    // thread and hold Alt down there until the dialog is up (or never came).
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    DWORD self = GetCurrentThreadId();
    DWORD pid = 0;
    DWORD target = GetWindowThreadProcessId(window, &pid);
    if (!AttachThreadInput(self, target, TRUE)) {
        printf("cannot share input with the window's thread: error %lu\n", GetLastError());
        return NULL;
    }
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = keys[VK_MENU];
    keys[VK_MENU] |= 0x80;
    SetKeyboardState(keys);
    HWND dialog = NULL;
    // Bit 29: the Alt key was down when the character was typed.
    if (PostMessageA(window, WM_SYSCHAR, (WPARAM)(unsigned char)character,
                     (LPARAM)(0x20000000 | 1)))
        dialog = WaitForDialogOfProcess(caption, pid, ms);
    keys[VK_MENU] = saved;
    SetKeyboardState(keys);
    AttachThreadInput(self, target, FALSE);
    return dialog;
}

bool SetLastWrite(const std::string &path, const FILETIME &lastWrite)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool done = SetFileTime(file, NULL, NULL, &lastWrite) != FALSE;
    CloseHandle(file);
    return done;
}

