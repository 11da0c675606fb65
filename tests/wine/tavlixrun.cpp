#include "tavlixrun.h"
#include "harness.h"
#include "tracereader.h"
#include <stdio.h>

static const char SettingsKey[] = "Software\\BrindIco";
static IconKeysPlace Watched = MachineIconKeys;

void WatchIconKeysOf(IconKeysPlace place)
{
    Watched = place;
}

HKEY IconKeysRoot(void)
{
    return Watched == UserIconKeys ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

static HKEY SettingsRoot(void)
{
    return Watched == UserIconKeys ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::string DrivesKeyName(void)
{
    return "Software\\Classes\\Applications\\Explorer.exe\\Drives";
}

std::string TavlixPath(void)
{
    static std::string path;
    if (path.empty()) {
        std::string folder = MakeWorkFolder("tavlix");
        path = CopyProgramTo(folder, "tavlix.exe");
    }
    return path;
}

TavlixRun StartTavlix(const char *version, const char *arguments, DWORD ms)
{
    SetProgramWindowsVersion("tavlix.exe", version);
    TavlixRun run;
    run.traceMark = TraceMark();
    run.process = StartProgram(TavlixPath(), arguments, false, "");
    run.pid = run.process ? GetProcessId(run.process) : 0;
    run.window = run.pid && ms ? WaitForWindowOfClass("TAVLIX", run.pid, ms) : NULL;
    if (run.window && !WaitForTavlixPasses(run, ms))
        printf("tavlix (%s) did not finish its start-up\n", version);
    return run;
}

// Sends the event that tavlix does not know and waits for its line: the
// line's index, or -1.
static long SendTraceMarker(HWND window, DWORD pid, DWORD ms)
{
    static unsigned markers;
    WPARAM marker = 0x7E00 + (markers++ & 0xFF);
    size_t from = TraceMark();
    if (SendDeviceEvent(window, marker, 0) != 0)
        return -1;
    char text[48];
    snprintf(text, sizeof(text), "tavlix: broadcast 0x%04x: ", (unsigned)marker);
    return WaitForTrace(pid, text, from, ms);
}

static bool TracedInTime(HWND window, DWORD ms, bool passesToo)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    DWORD start = GetTickCount();
    size_t from = TraceMark();
    long at = pid ? SendTraceMarker(window, pid, ms) : -1;
    bool done = at >= 0;
    if (done && passesToo) {
        // No pass starts after the marker: the one that ends last says so.
        std::vector<TraceLine> line = TraceLinesFrom((size_t)at, 0, (size_t)at + 1);
        done = line.size() == 1 && line[0].text.find("(0 passes running)") != std::string::npos;
        DWORD spent = GetTickCount() - start;
        if (!done)
            done = WaitForTrace(pid, "(0 still running)", (size_t)at, ms > spent ? ms - spent : 0) >= 0;
    }
    if (!done) {
        printf("tavlix (process %lu) did not answer in its trace within %lu ms:\n",
               (unsigned long)pid, (unsigned long)ms);
        PrintTrace(from, pid);
    }
    return done;
}

bool WaitForBroadcastsTraced(HWND window, DWORD ms)
{
    return TracedInTime(window, ms, false);
}

bool WaitForPassesOf(HWND window, DWORD ms)
{
    return TracedInTime(window, ms, true);
}

bool WaitForTavlixPasses(const TavlixRun &run, DWORD ms)
{
    return run.window && WaitForPassesOf(run.window, ms);
}

bool TavlixSaid(const TavlixRun &run, const std::string &text)
{
    return run.pid && WaitForTrace(run.pid, text.c_str(), run.traceMark, 0) >= 0;
}

bool StopTavlixBySecondLaunch(TavlixRun *run)
{
    DWORD second = RunProgram(TavlixPath(), "", false, "", 60000);
    DWORD first = FinishProgram(run->process, 60000);
    run->process = NULL;
    if (second != 0 || first != 0)
        printf("second launch exit %lu, running copy exit %lu\n", second, first);
    return second == 0 && first == 0;
}

void CheckTraced_(At at, const TavlixRun &run, const std::string &text)
{
    ok_at(at, TavlixSaid(run, text), "not traced: %s", text.c_str());
}

void CheckStopped_(At at, TavlixRun *run)
{
    ok_at(at, StopTavlixBySecondLaunch(run), "the second launch did not stop tavlix with 0");
    ok_at(at, LettersWithIcons().empty() && LettersWithMarkers().empty(),
          "left icons '%s' markers '%s'", LettersWithIcons().c_str(), LettersWithMarkers().c_str());
    EndTavlix(run);
}

void EndTavlix(TavlixRun *run)
{
    if (run->process && WaitForExit(run->process, 0) == STILL_ACTIVE)
        KillProgram(run->process);
    else if (run->process)
        CloseHandle(run->process);
    run->process = NULL;
}

std::string DriveIconKey(char letter)
{
    return DrivesKeyName() + "\\" + letter + "\\DefaultIcon";
}

bool DriveIconExists(char letter)
{
    return RegKeyExists(IconKeysRoot(), DriveIconKey(letter).c_str());
}

bool ReadDriveIcon(char letter, std::string *text, DWORD *type, DWORD *bytes)
{
    std::string data;
    if (!RegReadBytes(IconKeysRoot(), DriveIconKey(letter).c_str(), NULL, &data, type))
        return false;
    if (text)
        *text = std::string(data.c_str(), strnlen(data.data(), data.size()));
    if (bytes) {
        // The ANSI query adds a NUL the writer may not have stored; the
        // stored UTF-16 data tells how many characters were written.
        *bytes = 0;
        HKEY key;
        if (RegOpenKeyExA(IconKeysRoot(), DriveIconKey(letter).c_str(), 0, KEY_QUERY_VALUE,
                          &key) == ERROR_SUCCESS) {
            DWORD wideBytes = 0;
            if (RegQueryValueExW(key, NULL, NULL, NULL, NULL, &wideBytes) == ERROR_SUCCESS)
                *bytes = wideBytes / 2;
            RegCloseKey(key);
        }
    }
    return true;
}

bool DriveMarkerExists(char letter)
{
    char name[2] = {letter, '\0'};
    return RegValueExists(SettingsRoot(), SettingsKey, name);
}

bool PutKitDriveIcon(char letter)
{
    char name[2] = {letter, '\0'};
    return PutOtherProgramsDriveIcon(letter) && RegPutString(SettingsRoot(), SettingsKey, name, "");
}

bool PutOtherProgramsDriveIcon(char letter)
{
    const DWORD options[] = {REG_OPTION_NON_VOLATILE, REG_OPTION_VOLATILE};
    for (DWORD option : options) {
        HKEY key;
        LONG rc = RegCreateKeyExA(IconKeysRoot(), DriveIconKey(letter).c_str(), 0, NULL, option,
                                  KEY_ALL_ACCESS, NULL, &key, NULL);
        if (rc == ERROR_CHILD_MUST_BE_VOLATILE)
            continue;
        if (rc != ERROR_SUCCESS)
            return false;
        rc = RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)OtherProgramsIcon,
                            sizeof(OtherProgramsIcon));
        RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }
    return false;
}

std::string LettersWithIcons(void)
{
    std::string letters;
    for (char c = 'D'; c <= 'Z'; c++)
        if (DriveIconExists(c))
            letters += c;
    return letters;
}

std::string LettersWithMarkers(void)
{
    std::string letters;
    for (char c = 'A'; c <= 'Z'; c++)
        if (DriveMarkerExists(c))
            letters += c;
    return letters;
}

bool WaitForDriveIcon(char letter, const char *expected, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string text;
        bool present = ReadDriveIcon(letter, &text, NULL, NULL);
        if (expected ? present && text == expected : !DriveIconExists(letter))
            return true;
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
}

bool WaitForIconLetters(const char *letters, DWORD ms)
{
    DWORD start = GetTickCount();
    while (LettersWithIcons() != letters) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
    return true;
}

void ClearIconState(void)
{
    // The whole Drives tree goes: a volatile parent left by an earlier case
    // would refuse the non-volatile keys of the next one.
    RegRemoveTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\Applications\\Explorer.exe");
    if (RegKeyIsVolatile(HKEY_LOCAL_MACHINE, "Software\\Classes\\Applications"))
        RegRemoveTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\Applications");
    RegRemoveTree(HKEY_LOCAL_MACHINE, SettingsKey);
    RegRemoveTree(HKEY_CURRENT_USER, "Software\\Classes\\Applications\\Explorer.exe");
    RegRemoveTree(HKEY_CURRENT_USER, SettingsKey);
}

std::string DefaultIconPath(const char *fileName)
{
    char windowsDir[MAX_PATH];
    GetWindowsDirectoryA(windowsDir, sizeof(windowsDir));
    return std::string(windowsDir) + "\\" + fileName;
}
