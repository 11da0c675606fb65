// tavlix at start-up: which drive letters get which icon, in which keys,
// with the icon file names an administrator may set under
// "Software\BrindIco" (all five used, or all five defaults); and when it
// refuses to run. One start carries every check of its state; what each
// Windows version does after its start is the events test's.
//
// Wine's ANSI registry query adds a NUL to REG_SZ data that lacks one, so
// icon names without their NUL are stored as REG_BINARY (the program does
// not look at the type).
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"

static const char SettingsKey[] = "Software\\BrindIco";
static const char ComboDiskPath[] =
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_Combo&REV_1.00\\20040716000001&4";

// The reader and a combo slot behind a disk that is no card slot, an SD
// card as F. The slots without a card take the first free letters from D
// in list order: CF -> D, SM -> E, MS -> G, combo -> H.
static void SeedReader(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    PlugInReader();
    AddNonCardDisk(ComboDiskPath, "7&5e6f7081&0");
    InsertCard(ReaderSlotSD, 'F');
}

// The drives of the slot kinds in SlotType order: CF, SD, SM, MS, combo.
static const char SlotLetters[5] = {'D', 'F', 'E', 'G', 'H'};

struct IconValue {
    DWORD type;
    std::string data;
};

static void PutIconValues_(At at, const IconValue values[5])
{
    for (int i = 0; i < 5; i++) {
        char name[2] = {(char)('0' + i), '\0'};
        ok_at(at, RegPutBytes(HKEY_LOCAL_MACHINE, SettingsKey, name, values[i].type,
                              values[i].data.data(), (DWORD)values[i].data.size()),
              "value %s not seeded", name);
    }
}

// Names that fit the 19 bytes the query takes: 18 characters and their
// NUL, the most it takes; 18 without a NUL, which end where the data does;
// names of other types, whose bytes are taken as they are.
static const IconValue FittingValues[5] = {
    {REG_SZ, std::string("abcdefghijklmn.ico", 19)},
    {REG_BINARY, "smsmsmsmsmsmsm.ico"},
    {REG_DWORD, "x.ic"},
    {REG_EXPAND_SZ, std::string("combo-2.ico", 12)},
    {REG_SZ, std::string("cardcombo.ico", 14)},
};
static const char *const FittingFiles[5] = {"abcdefghijklmn.ico", "smsmsmsmsmsmsm.ico", "x.ic",
                                            "combo-2.ico", "cardcombo.ico"};
static const char *const DefaultFiles[5] = {"cfico.ico", "sdico.ico", "smico.ico", "msico.ico",
                                            "comboico.ico"};

// Each slot's drive has its icon key, a REG_SZ of the Windows folder and
// the file, in a key that goes with the session (volatile) on 2000 and on 6
// and later, with its marker; the keys above the letters are kept.
static void CheckSlotIcons_(At at, const char *const files[5])
{
    ok_at(at, LettersWithIcons() == "DEFGH" && LettersWithMarkers() == "DEFGH",
          "icons '%s', markers '%s'", LettersWithIcons().c_str(), LettersWithMarkers().c_str());
    bool withoutNul = true;
    for (int slot = 0; slot < 5; slot++) {
        char letter = SlotLetters[slot];
        std::string text, want = DefaultIconPath(files[slot]);
        DWORD type = 0, characters = 0;
        ReadDriveIcon(letter, &text, &type, &characters);
        ok_at(at, text == want && type == REG_SZ, "%c: icon '%s' of type %lu, want '%s'", letter,
              text.c_str(), type, want.c_str());
        ok_at(at, RegKeyIsVolatile(IconKeysRoot(), DriveIconKey(letter).c_str()),
              "%c: the icon key is kept over a restart", letter);
        withoutNul = withoutNul && characters == want.size();
    }
    // Windows stores the bytes given; Wine's ANSI write adds a NUL to text
    // written without one, so the count stored is one more either way.
    WineDiffersAt(at.file, at.line, withoutNul, "the icon texts are stored without their NUL");
    const char explorerKey[] = "Software\\Classes\\Applications\\Explorer.exe";
    ok_at(at, !RegKeyIsVolatile(HKEY_LOCAL_MACHINE, explorerKey) &&
                  !RegKeyIsVolatile(HKEY_LOCAL_MACHINE, DrivesKeyName().c_str()),
          "the keys above the letters are volatile");
}
#define CheckSlotIcons(files) CheckSlotIcons_(HERE, files)

// The markers lie in Software\BrindIco as this build's programs see it: on
// 64-bit Windows, in the 64-bit view, never in the 32-bit one.
static void CheckMarkersView_(At at)
{
    std::string data;
    ok_at(at, RegReadBytes(HKEY_LOCAL_MACHINE, SettingsKey, "F", &data, NULL),
          "F's marker is not in Software\\BrindIco");
    if (sizeof(void *) == 4) {
        SkipAt(at.file, at.line, "the marker's view: 32-bit Windows has one registry view");
        return;
    }
    HKEY key;
    bool inOtherView = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0,
                                     KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS;
    if (inOtherView) {
        inOtherView = RegQueryValueExA(key, "F", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ok_at(at, !inOtherView, "the 64-bit tavlix wrote its marker into the 32-bit view");
}
#define CheckMarkersView() CheckMarkersView_(HERE)

// Windows 2000, with five names that fit.
static void test_windows_2000_names_that_fit(void)
{
    SeedReader();
    PutIconValues_(HERE, FittingValues);
    TavlixRun run = StartTavlix("win2k");
    ok(run.window != NULL && !IsWindowVisible(run.window), "no main window, or a visible one");
    CheckSlotIcons(FittingFiles);
    CheckMarkersView();
    CheckTraced(run, "start: icons for every user: keys under HKLM\\Software\\Classes\\"
                     "Applications\\Explorer.exe\\Drives, markers in HKLM\\Software\\BrindIco");
    CheckTraced(run, "icon files \\abcdefghijklmn.ico \\smsmsmsmsmsmsm.ico \\x.ic \\combo-2.ico "
                     "\\cardcombo.ico, from Software\\BrindIco");
    CheckTraced(run, std::string("disk ") + SystemDiskPath + ": skipped: not a card slot");
    CheckTraced(run, "drive F: given icon " + DefaultIconPath("smsmsmsmsmsmsm.ico") + " (SD slot");
    CheckStopped(&run);
}

// Windows 7, the SD slot's name one byte longer than the query takes (19
// characters and the NUL): all five entries are the defaults, also the CF
// one read before it.
static void test_windows_7_name_too_long(void)
{
    SeedReader();
    IconValue values[5];
    for (int i = 0; i < 5; i++)
        values[i] = FittingValues[i];
    values[1] = {REG_SZ, std::string("abcdefghijklmno.ico", 20)};
    PutIconValues_(HERE, values);
    TavlixRun run = StartTavlix("win7");
    ok(run.window != NULL, "no main window");
    CheckSlotIcons(DefaultFiles);
    CheckTraced(run, "icon files \\cfico.ico \\sdico.ico \\smico.ico \\msico.ico \\comboico.ico, "
                     "the defaults (");
    CheckStopped(&run);
}

// A refusal as the user sees it: the program ends by itself with 0 instead
// of staying resident. Whether a main window was seen on the way.
static bool ExpectRefusal_(At at, const char *version, const char *why)
{
    TavlixRun run = StartTavlix(version, "", 0);
    bool windowSeen = false;
    DWORD code = FinishProgramWatchingWindow(run.process, "TAVLIX", 60000, &windowSeen);
    ok_at(at, code == 0, "%s: exit code %lu (%s)", why, code,
          code == STILL_ACTIVE ? "kept running" : "ended");
    return windowSeen;
}
#define ExpectRefusal(version, why) ExpectRefusal_(HERE, version, why)

static void test_refusals(void)
{
    ClearIconState();
    // Refused before any window is made.
    ok(!ExpectRefusal("nt40", "Windows NT 4.0"), "Windows NT 4.0: a main window came up");

    // No mounted-devices table: window creation is refused, after the
    // settings key was made.
    RegRemoveTree(HKEY_LOCAL_MACHINE, MountedDevicesKeyName);
    ExpectRefusal("win2k", "no mounted-devices key");
    ok(RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), "the settings key was not made");
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, MountedDevicesKeyName, 0, NULL, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, NULL) == 0)
        RegCloseKey(key);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_windows_2000_names_that_fit);
    RUN_TEST(test_windows_7_name_too_long);
    RUN_TEST(test_refusals);
    ClearSimulatedDisks();
    ClearIconState();
    return FinishTests();
}
