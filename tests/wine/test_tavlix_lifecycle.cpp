// tavlix as a user starts and stops it: the version box, the second launch
// that stops the running copy, File > Exit, the About box, and a main
// window that is never shown.
#include "harness.h"
#include "reader.h"
#include "exitwatch.h"
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
    // A key another program wrote on a letter tavlix never used stays: the
    // exit takes away the kit's icons of D to Z only.
    ok(PutOtherProgramsDriveIcon('Y'), "another program's icon for Y");
    ok(StopTavlixBySecondLaunch(&first), "both copies end with 0");
    ok(FindWindowOfClass("TAVLIX", 0) == NULL, "a copy still runs");
    ok(LettersWithIcons() == "Y", "icons left: %s", LettersWithIcons().c_str());
    ok(LettersWithMarkers().empty(), "markers left: %s", LettersWithMarkers().c_str());

    TavlixRun third = StartTavlix("win2k");
    ok(third.window != NULL, "a third launch starts normally");
    ok(WaitForTavlixPasses(third) && LettersWithIcons() == "DEFGY", "icons again %s",
       LettersWithIcons().c_str());
    ok(StopTavlixBySecondLaunch(&third), "stopped");
}

static DWORD Bit(char letter)
{
    return 1u << (letter - 'A');
}

// A second launch, started to stop the copy under watch; the exit probe
// holds that copy once its clean-up is done. The launch waits meanwhile.
static bool StopAndHold(HANDLE *launch)
{
    *launch = StartProgram(TavlixPath(), "", false, "");
    bool held = WaitForExitHeld(60000);
    ok(held, "the running copy's exit clean-up never ended");
    return held;
}

// Lets the held copy go on and checks that it and the launch end with 0.
static void FinishStop(TavlixRun *run, HANDLE launch)
{
    ReleaseExit();
    DWORD second = FinishProgram(launch, 60000);
    DWORD first = FinishProgram(run->process, 60000);
    run->process = NULL;
    ok(second == 0 && first == 0, "second launch exit %lu, running copy exit %lu", second, first);
    ok(FindWindowOfClass("TAVLIX", 0) == NULL, "a copy still runs");
}

// Two launches stopping the running copy at once: the second stop reaches
// the window after the first one's clean-up, before its message loop has
// ended. It must find the exit begun and do nothing more: a drive icon
// that another program set in between stays, and nothing is started.
static void test_two_stops_at_once(void)
{
    SeedReader();
    TavlixRun run = StartTavlix("win2k");
    ok(WaitForTavlixPasses(run) && LettersWithIcons() == "DEFG", "icons %s",
       LettersWithIcons().c_str());
    ExitProbeState *probe = run.window ? WatchExit(run.window) : NULL;
    ok(probe != NULL, "exit probe not loaded");
    HANDLE launch;
    if (!probe || !StopAndHold(&launch)) {
        EndExitWatch();
        EndTavlix(&run);
        return;
    }
    ok(LettersWithIcons().empty() && LettersWithMarkers().empty(),
       "the clean-up left icons '%s' markers '%s'", LettersWithIcons().c_str(),
       LettersWithMarkers().c_str());
    ok(PutOtherProgramsDriveIcon('Y'), "another program's icon for Y");
    probe->deliverSecondStop = 1;
    FinishStop(&run, launch);
    ok(probe->destroysHandled == 2, "%ld stop requests reached the window, expected 2",
       probe->destroysHandled);
    ok(DriveIconExists('Y'), "the second stop cleaned up again and removed another program's icon");
    ok(probe->threadsAfterExit == 0, "%ld threads started after the stop",
       probe->threadsAfterExit);
    EndExitWatch();
    ClearIconState();

    // A later launch starts as usual.
    SeedReader();
    TavlixRun third = StartTavlix("win2k");
    ok(third.window != NULL && LettersWithIcons() == "DEFG", "a later launch starts: icons %s",
       LettersWithIcons().c_str());
    ok(StopTavlixBySecondLaunch(&third), "stopped");
}

// Broadcasts that reach the window once the exit has begun, before its
// message loop ends: more disks (XP scans on that), a card's volume coming
// (2000 assigns on that), a volume going. None may touch the registry keys
// or the disk list on their way out, nor start a pass.
static void CheckBroadcastsAfterStop(const char *version)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    TavlixRun run = StartTavlix(version);
    ExitProbeState *probe = run.window ? WatchExit(run.window) : NULL;
    ok(probe != NULL, "%s: exit probe not loaded", version);
    HANDLE launch;
    if (!probe || !StopAndHold(&launch)) {
        EndExitWatch();
        EndTavlix(&run);
        return;
    }
    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
    ok(PutOtherProgramsDriveIcon('Y'), "another program's icon for Y");
    probe->deliverNodeChange = 1;
    probe->arrivalMask = Bit('F');
    probe->removalMask = Bit('Y');
    FinishStop(&run, launch);
    ok(probe->destroysHandled == 1, "%s: %ld stop requests", version, probe->destroysHandled);
    ok(probe->threadsAfterExit == 0, "%s: %ld passes started after the stop", version,
       probe->threadsAfterExit);
    ok(LettersWithIcons() == "Y" && LettersWithMarkers().empty(),
       "%s: after the stop: icons '%s' markers '%s'", version, LettersWithIcons().c_str(),
       LettersWithMarkers().c_str());
    EndExitWatch();
    ClearIconState();
}

static void test_broadcasts_after_the_stop(void)
{
    CheckBroadcastsAfterStop("win2k");
    CheckBroadcastsAfterStop("winxp");
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
    RUN_TEST(test_two_stops_at_once);
    RUN_TEST(test_broadcasts_after_the_stop);
    RUN_TEST(test_file_exit);
    RUN_TEST(test_about_box);
    ClearSimulatedDisks();
    return FinishTests();
}
