// tavlix at start-up, in each Windows version Wine can report: which drive
// letters get which icon, how the keys are kept, and when it refuses to run.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"

// The reader plugged in behind a disk that is no card slot, with an SD card
// inserted as drive F. The disks without a volume get the first free
// letters from D in list order: CF -> D, SM -> E, MS -> G (F is the card's).
static void SeedReaderWithSdCard(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    ok(AddNonCardDisk(SystemDiskPath, NULL) == 0, "system disk listed first");
    ok(PlugInReader(), "reader plugged in");
    ok(InsertCard(ReaderSlotSD, 'F'), "SD card inserted as F");
}

static void CheckIcon(char letter, const char *file, bool volatileKey)
{
    std::string text;
    DWORD type = 0;
    DWORD bytes = 0;
    std::string want = DefaultIconPath(file);
    ok(ReadDriveIcon(letter, &text, &type, &bytes), "%c: no icon key", letter);
    ok(text == want, "%c: icon '%s', want '%s'", letter, text.c_str(), want.c_str());
    // Written without its NUL; Wine's ANSI-to-Unicode conversion stores one.
    ok(type == REG_SZ && (bytes == want.size() || bytes == want.size() + 1),
       "%c: type %lu, %lu characters stored", letter, type, bytes);
    ok(RegKeyIsVolatile(IconKeysRoot(), DriveIconKey(letter).c_str()) == volatileKey,
       "%c: key %s volatile", letter, volatileKey ? "not" : "wrongly");
    ok(DriveMarkerExists(letter), "%c: no marker", letter);
}

static void CheckReaderIcons(bool volatileKeys)
{
    CheckIcon('D', "cfico.ico", volatileKeys);
    CheckIcon('E', "smico.ico", volatileKeys);
    CheckIcon('F', "sdico.ico", volatileKeys);
    CheckIcon('G', "msico.ico", volatileKeys);
    ok(LettersWithMarkers() == "DEFG", "markers %s", LettersWithMarkers().c_str());
}

static void CheckStartupScan(const char *version)
{
    SeedReaderWithSdCard();
    TavlixRun run = StartTavlix(version);
    ok(run.window != NULL && WaitForTavlixPasses(run), "%s: main window, start-up over",
       version);
    // The system disk gets none, and the trace says why.
    ok(LettersWithIcons() == "DEFG", "%s: icons on %s", version, LettersWithIcons().c_str());
    ok(TavlixSaid(run, std::string("disk ") + SystemDiskPath + ": skipped: not a card slot"),
       "%s: the system disk's reason is not traced", version);
    ok(TavlixSaid(run, "drive F: given icon " + DefaultIconPath("sdico.ico") + " (SD slot"),
       "%s: F's icon is not traced", version);
    CheckReaderIcons(true);
    // Only the letters' keys follow the version: the keys above are kept.
    ok(TavlixSaid(run, "start: icons for every user: keys under HKLM\\Software\\Classes\\"
                       "Applications\\Explorer.exe\\Drives, markers in HKLM\\Software\\BrindIco"),
       "%s: the machine's place is not traced", version);
    ok(!RegKeyIsVolatile(HKEY_LOCAL_MACHINE, "Software\\Classes\\Applications\\Explorer.exe") &&
           !RegKeyIsVolatile(HKEY_LOCAL_MACHINE, DrivesKeyName().c_str()),
       "%s: the keys above the letters are volatile", version);
    ok(!IsWindowVisible(run.window), "%s: window visible", version);
    ok(StopTavlixBySecondLaunch(&run), "%s: stopped", version);
    ok(LettersWithIcons().empty() && LettersWithMarkers().empty(),
       "%s: left icons '%s' markers '%s'", version, LettersWithIcons().c_str(),
       LettersWithMarkers().c_str());
}

static void test_windows_2000_assigns_at_startup(void)
{
    CheckStartupScan("win2k");
}

static void test_windows_7_assigns_at_startup(void)
{
    CheckStartupScan("win7");
}

// 5.1: nothing at start-up; icons come with the growth of the disk count,
// without the shell refresh, and the keys survive a restart.
static void test_windows_xp_assigns_on_growth(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    TavlixRun run = StartTavlix("winxp");
    ok(run.window != NULL && WaitForTavlixPasses(run), "main window, start-up over");
    ok(LettersWithIcons().empty(), "icons at start-up: %s", LettersWithIcons().c_str());
    ok(TavlixSaid(run, "no pass at start on XP"), "XP's start is not traced");

    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    ok(WaitForTavlixPasses(run), "scan over");
    ok(LettersWithIcons() == "DEFG", "icons after the reader came: %s",
       LettersWithIcons().c_str());
    CheckReaderIcons(false);

    // A removal resets the count: the next node change that finds disks
    // scans again and gives the returning card its letter back.
    RemoveCard('F');
    ok(SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, 1u << ('F' - 'A')) == 0,
       "removal answered");
    ok(WaitForTavlixPasses(run), "removal over");
    ok(!DriveIconExists('F'), "F not removed");
    ok(!DriveMarkerExists('F'), "F marker not removed");
    InsertCard(ReaderSlotSD, 'F');
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    ok(WaitForTavlixPasses(run), "scan over");
    ok(WaitForDriveIcon('F', DefaultIconPath("sdico.ico").c_str()), "F back");
    ok(StopTavlixBySecondLaunch(&run), "stopped");
    ok(LettersWithIcons().empty(), "left %s", LettersWithIcons().c_str());
}

// The icon file names come from the settings key when all five are there.
static void test_icon_names_from_settings(void)
{
    SeedReaderWithSdCard();
    const char *names[5] = {"cf.ico", "card-sd.ico", "sm.ico", "ms.ico", "combo.ico"};
    for (int i = 0; i < 5; i++) {
        char value[2] = {(char)('0' + i), '\0'};
        RegPutString(HKEY_LOCAL_MACHINE, "Software\\BrindIco", value, names[i]);
    }
    TavlixRun run = StartTavlix("win2k");
    ok(WaitForDriveIcon('F', DefaultIconPath("card-sd.ico").c_str()), "F uses the configured name");
    ok(StopTavlixBySecondLaunch(&run), "stopped");

    // One value missing: all five defaults.
    RegPutString(HKEY_LOCAL_MACHINE, "Software\\BrindIco", "1", "card-sd.ico");
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\BrindIco", 0, KEY_ALL_ACCESS, &key) == 0) {
        RegDeleteValueA(key, "3");
        RegCloseKey(key);
    }
    run = StartTavlix("win2k");
    ok(WaitForDriveIcon('F', DefaultIconPath("sdico.ico").c_str()), "F falls back to the default");
    ok(StopTavlixBySecondLaunch(&run), "stopped");
    ClearIconState();
}

// A refusal as the user sees it: the program ends by itself with 0 instead
// of staying resident. Whether a main window was seen on the way.
static bool ExpectRefusal(const char *version, const char *why)
{
    TavlixRun run = StartTavlix(version, "", 0);
    bool windowSeen = false;
    DWORD code = FinishProgramWatchingWindow(run.process, "TAVLIX", 60000, &windowSeen);
    run.process = NULL;
    ok(code == 0, "%s: exit code %lu (%s)", why, code,
       code == STILL_ACTIVE ? "kept running" : "ended");
    return windowSeen;
}

static void test_refusals(void)
{
    // Refused before any window is made.
    ok(!ExpectRefusal("nt40", "Windows NT 4.0"), "Windows NT 4.0: a main window came up");

    // No mounted-devices table: window creation is refused, so the window
    // exists only while its creation runs.
    RegRemoveTree(HKEY_LOCAL_MACHINE, MountedDevicesKeyName);
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, MountedDevicesKeyName), "mounted-devices key removed");
    ExpectRefusal("win2k", "no mounted-devices key");
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, MountedDevicesKeyName, 0, NULL, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) == 0)
        RegCloseKey(key);
    ok(RegValueExists(HKEY_LOCAL_MACHINE, "Software\\BrindIco", NULL) ||
           RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\BrindIco"),
       "the settings key was created before the refusal");
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    CheckReaderFixture();
    RUN_TEST(test_windows_2000_assigns_at_startup);
    RUN_TEST(test_windows_7_assigns_at_startup);
    RUN_TEST(test_windows_xp_assigns_on_growth);
    RUN_TEST(test_icon_names_from_settings);
    RUN_TEST(test_refusals);
    ClearSimulatedDisks();
    return FinishTests();
}
