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
        if (search.found || GetTickCount() - start > 30000)
            return search.found;
        Sleep(20);
    }
}

static bool Responds(HWND window)
{
    return WaitUntilIdle(window, 30000);
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
    HWND dialog = WaitForDialogOfProcess("TAVLI Verion", box.pid, 60000);
    ok(dialog != NULL, "'%s': no version box captioned TAVLI Verion", arguments);
    if (dialog) {
        ok(WindowHasChildText(dialog, "0.0.11.030306"), "version text missing");
        ok(FindWindowOfClass("TAVLIX", box.pid) == NULL, "a main window exists beside the box");
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
    DWORD code = WaitForExit(box.process, 60000);
    ok(code == 0, "'%s': exit code %lu", arguments, code);
    EndTavlix(&box);
}

static void test_version_box(void)
{
    CheckVersionBox("v");
    // Also while a copy runs: the running copy is left alone.
    SeedReader();
    TavlixRun running = StartTavlix("win2k");
    ok(WaitForTavlixPasses(running) && LettersWithIcons() == "DEFG", "icons %s",
       LettersWithIcons().c_str());
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
    ok(WaitForTavlixPasses(first) && LettersWithIcons() == "DEFG", "icons %s",
       LettersWithIcons().c_str());
    // A key written by another program on a letter tavlix never used goes
    // too: the exit clears D to Z.
    RegPutString(HKEY_CLASSES_ROOT, DriveIconKey('Y').c_str(), "", "C:\\other.ico");
    ok(StopTavlixBySecondLaunch(&first), "both copies end with 0");
    ok(FindWindowOfClass("TAVLIX", 0) == NULL, "a copy still runs");
    ok(LettersWithIcons().empty(), "icons left: %s", LettersWithIcons().c_str());
    ok(LettersWithMarkers().empty(), "markers left: %s", LettersWithMarkers().c_str());

    TavlixRun third = StartTavlix("win2k");
    ok(third.window != NULL, "a third launch starts normally");
    ok(WaitForTavlixPasses(third) && LettersWithIcons() == "DEFG", "icons again %s",
       LettersWithIcons().c_str());
    ok(StopTavlixBySecondLaunch(&third), "stopped");
}

static void test_file_exit(void)
{
    SeedReader();
    TavlixRun run = StartTavlix("win2k");
    ok(WaitForTavlixPasses(run) && LettersWithIcons() == "DEFG", "icons %s",
       LettersWithIcons().c_str());
    SendMessageA(run.window, WM_COMMAND, 105, 0);
    DWORD code = WaitForExit(run.process, 60000);
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
    HWND about;
    if (msg == WM_SYSCHAR) {
        about = OpenDialogWithAltCharacter(run->window, (char)wParam, "About", 30000);
    } else {
        PostMessageA(run->window, msg, wParam, lParam);
        about = WaitForDialogOfProcess("About", run->pid, 30000);
    }
    ok(about != NULL, "%s: no About box", how);
    if (!about)
        return false;
    ok(WindowHasChildText(about, "tavlix Version 1.0"), "%s: version line missing", how);
    ok(GetWindow(about, GW_OWNER) == run->window, "%s: not owned by the main window", how);
    PostMessageA(about, closeMsg, closeWParam, 0);
    ok(WaitForWindowGone(about, 30000), "%s: the About box stayed", how);
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
    ok(WaitForExit(run.process, 0) == STILL_ACTIVE && FindDialogOfProcess("About", run.pid) == NULL,
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
