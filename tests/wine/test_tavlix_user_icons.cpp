// tavlix for an account that may not write the machine's places: a limited
// user on Windows 2000 and XP, and every user from Vista on. Wine runs every
// program as an administrator but checks each key's own access list, so the
// machine's keys are locked here the way such an account finds them:
// HKLM\Software\Classes\Applications, its Explorer.exe and Drives keys, and
// HKLM\Software\BrindIco. tavlix then gives the icons to its own user, under
// HKCU\Software\Classes\Applications\Explorer.exe\Drives with its markers in
// HKCU\Software\BrindIco, by the same version rules, with the machine's icon
// names where it may read them, and leaves the machine's keys as they were.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"

static const char ReadOnly[] = "D:P(A;OICI;KR;;;WD)";
static const char NoAccess[] = "D:P(D;OICI;KA;;;WD)";
static const char MachineSettings[] = "Software\\BrindIco";
static const char *const MachineClasses[] = {
    "Software\\Classes\\Applications",
    "Software\\Classes\\Applications\\Explorer.exe",
    "Software\\Classes\\Applications\\Explorer.exe\\Drives",
};
// The administrator's icon names for the machine: CF, SD, SM, MS, combo.
static const char *const MachineNames[] = {"m-cf.ico", "m-sd.ico", "m-sm.ico", "m-ms.ico",
                                           "m-combo.ico"};

static DWORD Bit(char letter)
{
    return 1u << (letter - 'A');
}

// The machine's classes keys, made where missing, become read-only; the
// settings key holds the administrator's names and gets settingsAccess.
static void LockMachineClasses(void)
{
    for (const char *key : MachineClasses) {
        HKEY handle;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle,
                            NULL) == ERROR_SUCCESS)
            RegCloseKey(handle);
        ok(RegSetAccess(HKEY_LOCAL_MACHINE, key, ReadOnly), "%s locked", key);
    }
}

static void LockMachineSettings(const char *settingsAccess)
{
    for (int i = 0; i < 5; i++) {
        char name[2] = {(char)('0' + i), '\0'};
        RegPutString(HKEY_LOCAL_MACHINE, MachineSettings, name, MachineNames[i]);
    }
    ok(RegSetAccess(HKEY_LOCAL_MACHINE, MachineSettings, settingsAccess), "settings key locked");
}

// Nothing of tavlix in the machine's places: no key below Drives, no
// marker (where the settings key can be read at all).
static void CheckMachineUntouched(int line)
{
    WatchIconKeysOf(MachineIconKeys);
    HKEY drives;
    DWORD subkeys = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DrivesKeyName().c_str(), 0, KEY_READ, &drives) == 0) {
        RegQueryInfoKeyA(drives, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL,
                         NULL);
        RegCloseKey(drives);
    }
    CheckAt(__FILE__, line, subkeys == 0, "the machine's Drives key has %lu keys", subkeys);
    CheckAt(__FILE__, line, LettersWithMarkers().empty(), "machine markers %s",
            LettersWithMarkers().c_str());
    WatchIconKeysOf(UserIconKeys);
}

// The user's keys above the letters are kept keys, whatever the version.
static void CheckUserParentsKept(int line)
{
    for (const char *key : {"Software\\Classes\\Applications",
                            "Software\\Classes\\Applications\\Explorer.exe",
                            "Software\\Classes\\Applications\\Explorer.exe\\Drives"})
        CheckAt(__FILE__, line, RegKeyExists(HKEY_CURRENT_USER, key) &&
                                    !RegKeyIsVolatile(HKEY_CURRENT_USER, key),
                "HKCU\\%s missing or volatile", key);
}

static std::string MachineIconPath(int slot)
{
    return DefaultIconPath(MachineNames[slot]);
}

// The exit takes away the kit's icons, and only those: others' stay.
static void Stop(TavlixRun *run, const char *version, const char *othersIcons = "")
{
    ok(StopTavlixBySecondLaunch(run), "%s: stopped", version);
    ok(LettersWithIcons() == othersIcons && LettersWithMarkers().empty(),
       "%s: the exit left icons '%s' markers '%s'", version, LettersWithIcons().c_str(),
       LettersWithMarkers().c_str());
    CheckUserParentsKept(__LINE__);
    CheckMachineUntouched(__LINE__);
}

// 2000 and 7 assign at start-up: the reader's slots get the machine's
// names, in volatile keys of the user's own. On 2000 a card's volume
// leaving and coming back takes and gives its icon there too.
static void CheckUserStartup(const char *version)
{
    TavlixRun run = StartTavlix(version);
    ok(run.window != NULL, "%s: no main window", version);
    ok(TavlixSaid(run, "start: icons for this user only: keys under "
                       "HKCU\\Software\\Classes\\Applications\\Explorer.exe\\Drives, markers in "
                       "HKCU\\Software\\BrindIco: the machine's drive icon keys may not be made: "
                       "5 (Access denied.)"),
       "%s: the place and its reason are not traced", version);
    ok(TavlixSaid(run, "m-combo.ico, from Software\\BrindIco"),
       "%s: the machine's names are not used", version);
    ok(LettersWithIcons() == "DEFG", "%s: user icons on %s", version, LettersWithIcons().c_str());
    const char letters[] = "DEFG";
    const int slots[] = {0, 2, 1, 3}; // CF, SM, SD (the card's F), MS
    for (int i = 0; i < 4; i++) {
        std::string icon;
        ReadDriveIcon(letters[i], &icon, NULL, NULL);
        ok(icon == MachineIconPath(slots[i]), "%s: %c icon %s", version, letters[i],
           icon.c_str());
        ok(RegKeyIsVolatile(HKEY_CURRENT_USER, DriveIconKey(letters[i]).c_str()),
           "%s: %c kept across a restart", version, letters[i]);
    }
    ok(LettersWithMarkers() == "DEFG", "%s: user markers %s", version,
       LettersWithMarkers().c_str());
    CheckUserParentsKept(__LINE__);
    CheckMachineUntouched(__LINE__);

    if (lstrcmpA(version, "win2k") == 0) {
        // The reader unplugged takes the card's drive and its icon; plugged
        // in again, the card's volume arriving gives it back.
        UnplugReader();
        ok(SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit('F')) == 0, "answered");
        ok(WaitForTavlixPasses(run) && !DriveIconExists('F') && !DriveMarkerExists('F'),
           "F's icon and marker not removed with its volume");
        PlugInReader();
        InsertCard(ReaderSlotSD, 'F');
        ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0 &&
               SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('F')) == 0,
           "answered");
        ok(WaitForTavlixPasses(run) && WaitForDriveIcon('F', MachineIconPath(1).c_str()) &&
               DriveMarkerExists('F'),
           "the arriving card's volume got no icon");
    }
    Stop(&run, version);
}

// XP assigns when the disk count grows, in kept keys. Here only the
// settings key is closed, so that it can be neither made nor read: the
// user's own place all the same, the defaults, and the user's own markers.
static void test_windows_xp(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    LockMachineSettings(NoAccess);
    WatchIconKeysOf(UserIconKeys);
    AddNonCardDisk(SystemDiskPath, NULL);
    ok(PutOtherProgramsDriveIcon('L'), "another program's icon for L");
    TavlixRun run = StartTavlix("winxp");
    ok(run.window != NULL && LettersWithIcons() == "L", "icons at start: %s",
       LettersWithIcons().c_str());
    ok(TavlixSaid(run, "markers in HKCU\\Software\\BrindIco: HKLM\\Software\\BrindIco may not be "
                       "written: 5 (Access denied.)"),
       "the place and why are not traced");
    ok(TavlixSaid(run, "sdico.ico \\smico.ico \\msico.ico \\comboico.ico, the defaults "
                       "(HKLM\\Software\\BrindIco cannot be read)"),
       "the defaults and why are not traced");

    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    ok(WaitForTavlixPasses(run), "scan over");
    ok(LettersWithIcons() == "DEFGL" && LettersWithMarkers() == "DEFG", "icons %s markers %s",
       LettersWithIcons().c_str(), LettersWithMarkers().c_str());
    ok(WaitForDriveIcon('F', DefaultIconPath("sdico.ico").c_str()), "F has the default SD icon");
    for (char letter : std::string("DEFG"))
        ok(!RegKeyIsVolatile(HKEY_CURRENT_USER, DriveIconKey(letter).c_str()),
           "%c not kept across a restart", letter);
    // The other program's key stays through its volume's removal and the exit.
    SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit('L'));
    ok(WaitForTavlixPasses(run) && DriveIconExists('L'), "L's key removed with its volume");
    Stop(&run, "winxp", "L");
    RegRemoveTree(HKEY_CURRENT_USER, DriveIconKey('L').c_str());
}

// Runs after XP's, whose kept letter keys take volatile keys below them (a
// volatile key would refuse XP's kept ones: Windows changes its version
// only with a restart, which takes volatile keys away).
static void test_windows_2000_and_7(void)
{
    LockMachineClasses();
    ok(RegSetAccess(HKEY_LOCAL_MACHINE, MachineSettings, ReadOnly), "settings key readable");
    WatchIconKeysOf(UserIconKeys);
    ClearSimulatedDisks();
    AddNonCardDisk(SystemDiskPath, NULL);
    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
    CheckUserStartup("win2k");
    CheckUserStartup("win7");
}

// No icon without its marker: when the user's own markers key cannot be
// made either, tavlix gives no icon at all and ends.
static void test_no_place_for_markers(void)
{
    ok(RegPutString(HKEY_CURRENT_USER, "Software\\BrindIco", "0", "x.ico") &&
           RegSetAccess(HKEY_CURRENT_USER, "Software\\BrindIco", NoAccess),
       "the user's settings key locked");
    TavlixRun run = StartTavlix("win2k", "", 0);
    DWORD code = WaitForExit(run.process, 60000);
    ok(code == 0 && LettersWithIcons().empty(), "exit code %lu, icons %s", code,
       LettersWithIcons().c_str());
    CheckTracedAt(__FILE__, __LINE__, run.pid, run.traceMark,
                  {"start: ends: HKCU\\Software\\BrindIco cannot be made: 5 (Access denied.)"});
    EndTavlix(&run);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_windows_xp);
    RUN_TEST(test_windows_2000_and_7);
    RUN_TEST(test_no_place_for_markers);
    ClearSimulatedDisks();
    ClearIconState();
    return FinishTests();
}
