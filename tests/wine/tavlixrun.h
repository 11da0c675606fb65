// Running tavlix in the tests: start and stop it the way a user does, and
// read back the icon keys and markers it writes.
#ifndef TAVLIXRUN_H
#define TAVLIXRUN_H

#include <windows.h>
#include <string>
#include "harness.h"

struct TavlixRun {
    HANDLE process;
    DWORD pid;
    HWND window;      // the hidden main window, null when none came up
    size_t traceMark; // the trace's length when it was started
};

// Copies tavlix.exe into a work folder once and returns its path.
std::string TavlixPath(void);
// Starts tavlix with the Windows version Wine reports to it ("win2k",
// "winxp", "win7", ...) and waits, up to ms each, for its main window, for
// the end of window creation and for the end of the start-up pass, so that
// nothing a test changes next can reach that pass. With ms 0 it waits for
// nothing and leaves window null (for a run that shows no main window).
TavlixRun StartTavlix(const char *version, const char *arguments = "", DWORD ms = 60000);
// tavlix traces every broadcast it gets, in order, and one of an event it
// does not know says how many passes still run. These send it such an
// event, which changes nothing, and wait for its line: every broadcast
// sent before it is then answered in the trace. WaitForPassesOf also waits
// until no pass runs any more: what tavlix writes is then all written, and
// a check that nothing was written holds.
bool WaitForBroadcastsTraced(HWND window, DWORD ms = 60000);
bool WaitForPassesOf(HWND window, DWORD ms = 60000);
bool WaitForTavlixPasses(const TavlixRun &run, DWORD ms = 60000);
// Whether tavlix's trace since its start holds a line containing text.
bool TavlixSaid(const TavlixRun &run, const std::string &text);
// Stops it by launching it a second time; returns true when both copies
// ended with exit code 0.
bool StopTavlixBySecondLaunch(TavlixRun *run);
// Checks that its trace since its start holds a line containing text.
void CheckTraced_(At at, const TavlixRun &run, const std::string &text);
#define CheckTraced(run, text) CheckTraced_(HERE, run, text)
// Stops it by a second launch and checks that both copies ended with 0 and
// that it left no icon and no marker in the place watched.
void CheckStopped_(At at, TavlixRun *run);
#define CheckStopped(run) CheckStopped_(HERE, run)
// Kills a run that is still there (clean-up after a failed check).
void EndTavlix(TavlixRun *run);

// Where the helpers below read and write icon keys and markers: the
// machine's places (HKLM Software\Classes\Applications\Explorer.exe\Drives,
// HKLM Software\BrindIco; the default) or a user's own (the same keys under
// HKCU), where tavlix writes for an account that may not write the
// machine's.
enum IconKeysPlace { MachineIconKeys, UserIconKeys };
void WatchIconKeysOf(IconKeysPlace place);
// The root and the Drives key of the place watched.
HKEY IconKeysRoot(void);
std::string DrivesKeyName(void);

// <Drives key>\<letter>\DefaultIcon below IconKeysRoot()
std::string DriveIconKey(char letter);
bool DriveIconExists(char letter);
// The default value's text, its type, and the count of characters stored
// (bytes as the ANSI writer counted them).
bool ReadDriveIcon(char letter, std::string *text, DWORD *type, DWORD *bytes);
bool DriveMarkerExists(char letter);
// Another program's icon key for the drive (OtherProgramsIcon): kept over
// a restart, or volatile where the keys above it are, as a volatile key
// takes only volatile children. False when it could not be written.
bool PutOtherProgramsDriveIcon(char letter);
#define OtherProgramsIcon "C:\\other\\drive.ico"
// The kit's icon key for the drive with its marker, as a run of tavlix that
// was ended without its clean-up leaves them (the icon file is
// OtherProgramsIcon, which tells it from one the test's run gives).
bool PutKitDriveIcon(char letter);
// Letters D..Z with an icon key, as a string such as "DEFG".
std::string LettersWithIcons(void);
std::string LettersWithMarkers(void);
// Polls until the icon key of letter holds expected (or, with expected
// null, until the key is gone); true when reached within ms. A pass writes
// the key, then its value, then the marker: to read more than the value,
// wait for the passes instead.
bool WaitForDriveIcon(char letter, const char *expected, DWORD ms = 30000);
// Polls until the set of letters with icon keys equals letters.
bool WaitForIconLetters(const char *letters, DWORD ms = 30000);
// Removes, in both places, every icon key D..Z with the keys above it that
// tavlix makes, and the settings key with its markers.
void ClearIconState(void);

// The icon path tavlix writes for a slot kind with the default table.
std::string DefaultIconPath(const char *fileName);

#endif
