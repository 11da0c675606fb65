// tavlix as a user starts and stops it. One running copy carries the About
// box, the commands of its hidden window, the version box of a launch beside
// it and the second launch that stops it; then a stop of each kind (File >
// Exit, a second launch) meets more broadcasts and a second stop while its
// exit is under way.
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

// The reader with an SD card as F: a start on 2000 gives D, E, F and G.
static void SeedReader(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
}

static std::string IconsAndMarkers(void)
{
    return "icons '" + LettersWithIcons() + "' markers '" + LettersWithMarkers() + "'";
}

// The ways to the About box and out of it; the high word of the command
// (menu or accelerator) is not looked at.
struct AboutRoute {
    const char *how;
    UINT open;      // WM_COMMAND, or WM_SYSCHAR typed with Alt
    WPARAM openWParam;
    UINT close;     // sent to the box
    WPARAM closeWParam;
};
static const AboutRoute AboutRoutes[] = {
    {"command 104, OK", WM_COMMAND, 104, WM_COMMAND, IDOK},
    {"accelerator-style command, Escape", WM_COMMAND, MAKEWPARAM(104, 1), WM_COMMAND, IDCANCEL},
    {"Alt+?, close box", WM_SYSCHAR, '?', WM_SYSCOMMAND, SC_CLOSE},
    {"Alt+/, OK", WM_SYSCHAR, '/', WM_COMMAND, IDOK},
};

static HWND OpenAbout(const TavlixRun &run, const AboutRoute &route)
{
    if (route.open == WM_SYSCHAR)
        return OpenDialogWithAltCharacter(run.window, (char)route.openWParam, "About", 30000);
    PostMessageA(run.window, route.open, route.openWParam, 0);
    return WaitForDialogOfProcess("About", run.pid, 30000);
}

// The box comes, owned by the main window, shows the version line and
// goes; tavlix keeps running and answering.
static void CheckAboutRoute_(At at, const TavlixRun &run, const AboutRoute &route)
{
    HWND about = OpenAbout(run, route);
    ok_at(at, about != NULL, "%s: no About box", route.how);
    if (!about)
        return;
    ok_at(at, WindowHasChildText(about, "tavlix Version 1.0"), "%s: version line missing",
          route.how);
    ok_at(at, GetWindow(about, GW_OWNER) == run.window, "%s: not owned by the main window",
          route.how);
    PostMessageA(about, route.close, route.closeWParam, 0);
    ok_at(at, WaitForWindowGone(about, 30000), "%s: the About box stayed", route.how);
    ok_at(at, WaitUntilIdle(run.window, 30000) && WaitForExit(run.process, 0) == STILL_ACTIVE,
          "%s: tavlix stopped answering", route.how);
}
#define CheckAboutRoute(run, route) CheckAboutRoute_(HERE, run, route)

// A launch whose argument text begins with a lower-case v shows the version
// box and nothing else: no main window, no search for a running copy.
static void CheckVersionBox_(At at, const char *arguments)
{
    TavlixRun box = StartTavlix("win2k", arguments, 0);
    HWND dialog = WaitForDialogOfProcess("TAVLI Verion", box.pid, 60000);
    ok_at(at, dialog != NULL, "'%s': no version box captioned TAVLI Verion", arguments);
    if (dialog) {
        ok_at(at, WindowHasChildText(dialog, "0.0.11.030306"), "'%s': version text missing",
              arguments);
        ok_at(at, FindWindowOfClass("TAVLIX", box.pid) == NULL,
              "'%s': a main window exists beside the box", arguments);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
    DWORD code = FinishProgram(box.process, 60000);
    ok_at(at, code == 0, "'%s': exit code %lu", arguments, code);
}
#define CheckVersionBox(arguments) CheckVersionBox_(HERE, arguments)

static void test_running_copy(void)
{
    SeedReader();
    TavlixRun run = StartTavlix("win2k");
    ok(run.window != NULL && LettersWithIcons() == "DEFG", "at start: %s",
       IconsAndMarkers().c_str());
    ok(run.window && !IsWindowVisible(run.window), "main window visible");
    for (const AboutRoute &route : AboutRoutes)
        CheckAboutRoute(run, route);
    // A command that is neither About nor Exit is handled and changes nothing.
    DWORD_PTR answer;
    ok(SendMessageTimeoutA(run.window, WM_COMMAND, 999, 0, SMTO_NORMAL, 30000, &answer) &&
           IsWindow(run.window) && FindDialogOfProcess("About", run.pid) == NULL,
       "command 999 did something");

    CheckVersionBox("v");
    CheckVersionBox("version");
    ok(IsWindow(run.window) && LettersWithIcons() == "DEFG",
       "a version box stopped the running copy: %s", IconsAndMarkers().c_str());

    // An upper-case V is an ordinary launch: the second one, which stops the
    // running copy, whose exit takes its icons away.
    DWORD second = RunProgram(TavlixPath(), "Verbose", false, "", 60000);
    DWORD first = FinishProgram(run.process, 60000);
    ok(second == 0 && first == 0, "'Verbose' launch exit %lu, running copy exit %lu", second,
       first);
    ok(FindWindowOfClass("TAVLIX", 0) == NULL, "a copy still runs");
    ok(LettersWithIcons().empty() && LettersWithMarkers().empty(), "the exit left %s",
       IconsAndMarkers().c_str());
}

// A stop, and what reaches the window between the end of its exit clean-up
// and the end of its message loop: more disks (XP scans on that), a card's
// volume coming (2000 gives it an icon), the removal of a kit's icon that
// appeared meanwhile, and a second stop (two launches at once). The exit
// begun, none may start a pass or touch a key.
struct StopCase {
    const char *version;
    bool byFileExit; // File > Exit, else a second launch
};
static const StopCase StopCases[] = {{"win2k", true}, {"winxp", false}};

// Stops the run as the case says and waits until the probe holds it after
// its exit clean-up. The second launch, or null.
static HANDLE StopAndHold_(At at, const TavlixRun &run, const StopCase &stop, bool *held)
{
    HANDLE launch = NULL;
    // Posted: File > Exit destroys the window inside the command, which
    // the probe then holds.
    if (stop.byFileExit)
        PostMessageA(run.window, WM_COMMAND, 105, 0);
    else
        launch = StartProgram(TavlixPath(), "", false, "");
    *held = WaitForExitHeld(60000);
    ok_at(at, *held, "%s: the exit clean-up never ended", stop.version);
    return launch;
}

// Lets the held copy go on; it and the launch that stopped it end with 0.
static void FinishStop_(At at, TavlixRun *run, HANDLE launch, const char *version)
{
    ReleaseExit();
    DWORD second = launch ? FinishProgram(launch, 60000) : 0;
    DWORD first = FinishProgram(run->process, 60000);
    run->process = NULL;
    ok_at(at, second == 0 && first == 0, "%s: second launch exit %lu, running copy exit %lu",
          version, second, first);
    ok_at(at, FindWindowOfClass("TAVLIX", 0) == NULL, "%s: a copy still runs", version);
}

static void CheckStopDuringExit_(At at, const StopCase &stop)
{
    SeedReader();
    TavlixRun run = StartTavlix(stop.version);
    ExitProbeState *probe = run.window ? WatchExit(run.window) : NULL;
    ok_at(at, probe != NULL, "%s: no main window, or the exit probe not loaded", stop.version);
    bool held = false;
    HANDLE launch = probe ? StopAndHold_(at, run, stop, &held) : NULL;
    if (!held) {
        EndExitWatch();
        EndTavlix(&run);
        return;
    }
    ok_at(at, LettersWithIcons().empty() && LettersWithMarkers().empty(),
          "%s: the clean-up left %s", stop.version, IconsAndMarkers().c_str());
    ok_at(at, PutKitDriveIcon('Y'), "%s: a kit's icon for Y", stop.version);
    probe->deliverNodeChange = 1;
    probe->arrivalMask = 1u << ('F' - 'A');
    probe->removalMask = 1u << ('Y' - 'A');
    probe->deliverSecondStop = 1;
    FinishStop_(at, &run, launch, stop.version);
    ok_at(at, probe->destroysHandled == 2, "%s: %ld stops reached the window, expected 2",
          stop.version, probe->destroysHandled);
    ok_at(at, probe->threadsAfterExit == 0, "%s: %ld threads started after the stop",
          stop.version, probe->threadsAfterExit);
    ok_at(at, LettersWithIcons() == "Y" && LettersWithMarkers() == "Y",
          "%s: after the stop, want Y's alone: %s", stop.version, IconsAndMarkers().c_str());
    CheckTracedAt(at.file, at.line, run.pid, run.traceMark,
                  {"exit begun already, nothing more to do"});
    EndExitWatch();
    ClearIconState();
}
#define CheckStopDuringExit(stop) CheckStopDuringExit_(HERE, stop)

static void test_stop_during_exit(void)
{
    for (const StopCase &stop : StopCases)
        CheckStopDuringExit(stop);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_running_copy);
    RUN_TEST(test_stop_during_exit);
    ClearSimulatedDisks();
    return FinishTests();
}
