// tavlix against icon file values under "Software\BrindIco" that a broken
// or malicious system could hold: names at and past the 19 bytes read,
// without their NUL, empty, of another type. Either all five values are
// used or all five defaults; an entry never runs past its 20 bytes and
// never names the Windows folder itself. Each run gives the reader's four
// slots and a combo slot their icons at start-up, keeps running, and stops
// cleanly.
//
// Wine's ANSI registry query adds a NUL to REG_SZ data that lacks one, so
// data without NUL is stored as REG_BINARY (the program does not look at
// the type).
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"

static const char SettingsKey[] = "Software\\BrindIco";
static const char ComboDiskPath[] =
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_Combo&REV_1.00\\20040716000001&4";

struct IconValue {
    DWORD type;
    std::string data;
};

// Names that fit: 17 and 18 characters with their NUL, 18 without one, a
// REG_DWORD of four characters, a REG_EXPAND_SZ.
static const char Name17[] = "abcdefghijklm.ico";
static const char Name18[] = "abcdefghijklmn.ico";
static const char Name18NoNul[] = "smsmsmsmsmsmsm.ico";
static const IconValue ValidValues[5] = {
    {REG_SZ, std::string(Name17, 18)},
    {REG_SZ, std::string(Name18, 19)},
    {REG_BINARY, std::string(Name18NoNul, 18)},
    {REG_DWORD, "x.ic"},
    {REG_EXPAND_SZ, std::string("combo-2.ico", 12)},
};

// Drives of the start-up scan: the reader's CF, SM and MS slots and the
// combo slot without a card take D, E, G and H; the SD card is F.
static void SeedReader(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    ok(PlugInReader() && AddNonCardDisk(ComboDiskPath, "7&5e6f7081&0") == 4 &&
           InsertCard(ReaderSlotSD, 'F'),
       "reader with a combo slot and an SD card");
}

static void PutIconValues(const IconValue values[5])
{
    for (int i = 0; i < 5; i++) {
        char name[2] = {(char)('0' + i), '\0'};
        ok(RegPutBytes(HKEY_LOCAL_MACHINE, SettingsKey, name, values[i].type,
                       values[i].data.data(), (DWORD)values[i].data.size()),
           "value %s", name);
    }
}

// Starts tavlix on 5.0 with these values and checks the icon files of the
// CF, SM, SD, MS and combo drives (D to H).
static void CheckStartupIcons(int line, const IconValue values[5], const char *const files[5])
{
    SeedReader();
    PutIconValues(values);
    TavlixRun run = StartTavlix("win2k");
    CheckAt(__FILE__, line, run.window != NULL && WaitForTavlixPasses(run),
            "no main window or start-up not over");
    CheckAt(__FILE__, line, LettersWithIcons() == "DEFGH", "icons on '%s'",
            LettersWithIcons().c_str());
    const char letters[5] = {'D', 'F', 'E', 'G', 'H'}; // in SlotType order
    for (int slot = 0; slot < 5; slot++) {
        std::string text;
        ReadDriveIcon(letters[slot], &text, NULL, NULL);
        CheckAt(__FILE__, line, text == DefaultIconPath(files[slot]), "%c: icon '%s', want %s",
                letters[slot], text.c_str(), files[slot]);
    }
    CheckAt(__FILE__, line, LettersWithMarkers() == "DEFGH", "markers '%s'",
            LettersWithMarkers().c_str());
    CheckAt(__FILE__, line, WaitForExit(run.process, 0) == STILL_ACTIVE, "tavlix ended");
    CheckAt(__FILE__, line, StopTavlixBySecondLaunch(&run), "not stopped with 0");
    CheckAt(__FILE__, line, LettersWithIcons().empty(), "icons left: %s",
            LettersWithIcons().c_str());
    EndTavlix(&run);
}

static void test_values_that_fit(void)
{
    const char *const files[5] = {Name17, Name18, Name18NoNul, "x.ic", "combo-2.ico"};
    CheckStartupIcons(__LINE__, ValidValues, files);
}

// One bad value, the SD slot's, makes all five entries the defaults, also
// those read before it.
static void CheckValueGivesDefaults(int line, const IconValue &bad)
{
    static const char *const defaults[5] = {"cfico.ico", "sdico.ico", "smico.ico", "msico.ico",
                                            "comboico.ico"};
    IconValue values[5];
    for (int i = 0; i < 5; i++)
        values[i] = ValidValues[i];
    values[1] = bad;
    CheckStartupIcons(line, values, defaults);
}

static void test_values_that_do_not_fit(void)
{
    // 19 characters and the NUL: more than the 19 bytes read.
    CheckValueGivesDefaults(__LINE__, {REG_SZ, std::string("abcdefghijklmno.ico", 20)});
    // 19 bytes without NUL: no room for it in the entry.
    CheckValueGivesDefaults(__LINE__, {REG_BINARY, "abcdefghijklmno.ico"});
    // Empty, or a NUL first: the icon would be the Windows folder itself.
    CheckValueGivesDefaults(__LINE__, {REG_SZ, ""});
    CheckValueGivesDefaults(__LINE__, {REG_DWORD, std::string(4, '\0')});
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_values_that_fit);
    RUN_TEST(test_values_that_do_not_fit);
    ClearSimulatedDisks();
    ClearIconState();
    return FinishTests();
}
