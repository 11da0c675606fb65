// tavlix as a user starts and stops it: the version box, the second launch
// that stops the running copy, File > Exit, the About box, and a main
// window that is never shown.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"

struct TextSearch {
    const char *text;
    bool found;
};

static BOOL CALLBACK MatchChildText(HWND child, LPARAM param)
{
    TextSearch *search = (TextSearch *)param;
    char text[256] = "";
    GetWindowTextA(child, text, sizeof(text));
    if (strcmp(text, search->text) == 0)
        search->found = true;
    return TRUE;
}

// Polls for a child window with that text: a dialog fills its controls
// while it initialises.
static bool WindowHasChildText(HWND window, const char *text)
{
    DWORD start = GetTickCount();
    for (;;) {
        TextSearch search = {text, false};
        EnumChildWindows(window, MatchChildText, (LPARAM)&search);
        if (search.found || GetTickCount() - start > 5000)
            return search.found;
        Sleep(20);
    }
}

static std::string Caption(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

// A dialog gets its caption and texts while it initialises: wait for them.
static bool WaitForCaption(HWND window, const char *caption, DWORD ms)
{
    DWORD start = GetTickCount();
    while (Caption(window) != caption) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(20);
    }
    return true;
}

// Alt held down in the key state the program's thread sees, as when the
// user presses it: posted key messages do not carry it.
static void SetAltState(HWND window, bool down)
{
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_MENU] = down ? 0x80 : 0;
    SetKeyboardState(keys);
    if (!down)
        AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
}

// A dialog of the process (class #32770), waited for up to ms.
static HWND WaitForDialog(DWORD pid, DWORD ms)
{
    return WaitForWindowOfClass("#32770", pid, ms);
}

static bool Responds(HWND window)
{
    DWORD_PTR result;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
}

static void SeedReader(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
}

static void CheckVersionBox(const char *arguments)
{
    TavlixRun box = StartTavlix("win2k", arguments, 0);
    HWND dialog = WaitForDialog(box.pid, 10000);
    ok(dialog != NULL, "'%s': no version box", arguments);
    if (dialog) {
        ok(WaitForCaption(dialog, "TAVLI Verion", 5000), "caption '%s'", Caption(dialog).c_str());
        ok(WindowHasChildText(dialog, "0.0.11.030306"), "version text missing");
        ok(FindWindowOfClass("TAVLIX", box.pid) == NULL, "a main window exists beside the box");
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
    DWORD code = WaitForExit(box.process, 10000);
    ok(code == 0, "'%s': exit code %lu", arguments, code);
    EndTavlix(&box);
}

static void test_version_box(void)
{
    CheckVersionBox("v");
    // Also while a copy runs: the running copy is left alone.
    SeedReader();
    TavlixRun running = StartTavlix("win2k");
    ok(WaitForIconLetters("DEFG"), "icons %s", LettersWithIcons().c_str());
    CheckVersionBox("version");
    ok(WaitForExit(running.process, 0) == STILL_ACTIVE, "the running copy ended");
    ok(LettersWithIcons() == "DEFG", "icons changed: %s", LettersWithIcons().c_str());
    ok(StopTavlixBySecondLaunch(&running), "stopped");

    // An upper-case V starts the program.
    TavlixRun upper = StartTavlix("win2k", "Verbose");
    ok(upper.window != NULL, "'Verbose' did not start tavlix");
    ok(StopTavlixBySecondLaunch(&upper), "stopped");
}

static void test_second_launch_stops_the_running_copy(void)
{
    SeedReader();
    TavlixRun first = StartTavlix("win2k");
    ok(first.window != NULL, "first copy");
    ok(WaitForIconLetters("DEFG"), "icons %s", LettersWithIcons().c_str());
    // A key written by another program on a letter tavlix never used goes
    // too: the exit clears D to Z.
    RegPutString(HKEY_CLASSES_ROOT, DriveIconKey('Y').c_str(), "", "C:\\other.ico");
    ok(StopTavlixBySecondLaunch(&first), "both copies end with 0");
    ok(FindWindowOfClass("TAVLIX", 0) == NULL, "a copy still runs");
    ok(LettersWithIcons().empty(), "icons left: %s", LettersWithIcons().c_str());
    ok(LettersWithMarkers().empty(), "markers left: %s", LettersWithMarkers().c_str());

    TavlixRun third = StartTavlix("win2k");
    ok(third.window != NULL, "a third launch starts normally");
    ok(WaitForIconLetters("DEFG"), "icons again %s", LettersWithIcons().c_str());
    ok(StopTavlixBySecondLaunch(&third), "stopped");
}

static void test_file_exit(void)
{
    SeedReader();
    TavlixRun run = StartTavlix("win2k");
    ok(WaitForIconLetters("DEFG"), "icons %s", LettersWithIcons().c_str());
    SendMessageA(run.window, WM_COMMAND, 105, 0);
    DWORD code = WaitForExit(run.process, 10000);
    ok(code == 0, "exit code %lu", code);
    ok(LettersWithIcons().empty() && LettersWithMarkers().empty(), "left icons %s markers %s",
       LettersWithIcons().c_str(), LettersWithMarkers().c_str());
    EndTavlix(&run);
}

// Opens the About box by posting msg to the main window; closes it with
// close (a message to the dialog); true when it came and went.
static bool AboutBoxRoundTrip(TavlixRun *run, UINT msg, WPARAM wParam, LPARAM lParam,
                              UINT closeMsg, WPARAM closeWParam, const char *how)
{
    bool alt = msg == WM_SYSCHAR;
    if (alt)
        SetAltState(run->window, true);
    PostMessageA(run->window, msg, wParam, lParam);
    HWND about = WaitForDialog(run->pid, 5000);
    if (alt)
        SetAltState(run->window, false);
    ok(about != NULL, "%s: no About box", how);
    if (!about)
        return false;
    ok(WaitForCaption(about, "About", 5000), "%s: caption '%s'", how, Caption(about).c_str());
    ok(WindowHasChildText(about, "tavlix Version 1.0"), "%s: version line missing", how);
    ok(GetWindow(about, GW_OWNER) == run->window, "%s: not owned by the main window", how);
    PostMessageA(about, closeMsg, closeWParam, 0);
    DWORD start = GetTickCount();
    while (IsWindow(about) && GetTickCount() - start < 5000)
        Sleep(20);
    ok(!IsWindow(about), "%s: the About box stayed", how);
    ok(Responds(run->window) && WaitForExit(run->process, 0) == STILL_ACTIVE,
       "%s: tavlix stopped answering", how);
    return true;
}

static void test_about_box(void)
{
    SeedReader();
    TavlixRun run = StartTavlix("win2k");
    ok(run.window != NULL, "main window");
    AboutBoxRoundTrip(&run, WM_COMMAND, 104, 0, WM_COMMAND, IDOK, "command 104, OK");
    // The high word (menu or accelerator) is not looked at.
    AboutBoxRoundTrip(&run, WM_COMMAND, MAKEWPARAM(104, 1), 0, WM_COMMAND, IDCANCEL,
                      "accelerator-style command, Escape");
    AboutBoxRoundTrip(&run, WM_SYSCHAR, '?', 0x20000001, WM_SYSCOMMAND, SC_CLOSE,
                      "Alt+?, close box");
    AboutBoxRoundTrip(&run, WM_SYSCHAR, '/', 0x20000001, WM_COMMAND, IDOK, "Alt+/");
    // A command that is neither About nor Exit changes nothing.
    SendMessageA(run.window, WM_COMMAND, 999, 0);
    ok(WaitForExit(run.process, 0) == STILL_ACTIVE && FindWindowOfClass("#32770", run.pid) == NULL,
       "command 999 did something");
    ok(!IsWindowVisible(run.window), "main window visible");
    ok(StopTavlixBySecondLaunch(&run), "stopped");
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_version_box);
    RUN_TEST(test_second_launch_stops_the_running_copy);
    RUN_TEST(test_file_exit);
    RUN_TEST(test_about_box);
    ClearSimulatedDisks();
    return FinishTests();
}
