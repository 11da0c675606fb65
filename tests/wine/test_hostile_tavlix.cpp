// tavlix against a registry and broadcasts that a broken or malicious
// system could hold: mounted-devices data, disk-service values, Count and
// ParentIdPrefix at and past their sizes, without their NUL or of another
// type; keys missing at each level; instance paths at the longest a device
// key name takes; volume headers too short or with every bit set. Each
// case checks that tavlix keeps running (a crash ends it) and answers,
// that exactly the drives whose data is still valid get their icon, and
// that it stops cleanly, leaving nothing behind.
//
// Wine's ANSI registry query adds a NUL to REG_SZ data that lacks one, so
// data without NUL is stored as REG_BINARY (the program does not look at
// the type).
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include <string.h>

static const DWORD DrivesDToZ = 0x03FFFFF8;
static const char VolumeHead[] = "\\??\\STORAGE#RemovableMedia#";
static const char VolumeTail[] = "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

static DWORD Bit(char letter)
{
    return 1u << (letter - 'A');
}

// A card-slot disk of the reader's family: the product pattern at 28, the
// kind code at 40, the serial behind; padded with pad up to length.
static std::string CardPath(const char *code, const char *serial, size_t length = 0,
                            char pad = 'p')
{
    std::string path = std::string("USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_") + code +
                       "&REV_1.00\\" + serial;
    if (path.size() < length)
        path += std::string(length - path.size(), pad);
    return path;
}

// UTF-16LE of an ANSI text that may hold NULs, as mounted-devices data.
static std::string Utf16(const std::string &text)
{
    std::string data;
    for (size_t i = 0; i < text.size(); i++) {
        data += text[i];
        data += '\0';
    }
    return data;
}

static std::string Padded(const std::string &data, size_t size)
{
    return data + std::string(size - data.size(), 'x');
}

// Overwrites a volume's mounted-devices value, which PutMountedDevice has
// made (and will clear), with data of any type.
static bool RetypeMountedDevice(char letter, DWORD type, const std::string &data)
{
    std::string name = std::string("\\DosDevices\\") + letter + ":";
    return RegPutBytes(HKEY_LOCAL_MACHINE, MountedDevicesKeyName, name.c_str(), type,
                       data.data(), (DWORD)data.size());
}

// The text as a REG_SZ written through the wide API, as a system writes one.
static bool PutMountedDeviceText(char letter, const std::string &text)
{
    std::wstring name = std::wstring(L"\\DosDevices\\") + (wchar_t)letter + L":";
    std::wstring wide(text.begin(), text.end());
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, MountedDevicesKeyName, 0, KEY_SET_VALUE, &key))
        return false;
    LONG rc = RegSetValueExW(key, name.c_str(), 0, REG_SZ, (const BYTE *)wide.c_str(),
                             (DWORD)(wide.size() + 1) * sizeof(wchar_t));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// ---- running tavlix -----------------------------------------------------------

struct Icon {
    char letter;
    const char *file;
};

static void CheckRunning(int line, const TavlixRun &run)
{
    CheckAt(__FILE__, line,
            WaitForExit(run.process, 0) == STILL_ACTIVE && WaitUntilIdle(run.window, 30000),
            "tavlix ended or stopped answering");
}

// Once every pass the last broadcast started has ended, exactly these
// letters have their icons.
static void CheckIcons(int line, const TavlixRun &run, const std::vector<Icon> &icons)
{
    std::string letters;
    for (size_t i = 0; i < icons.size(); i++)
        letters += icons[i].letter;
    CheckAt(__FILE__, line, WaitForTavlixPasses(run), "passes still running");
    std::string now = LettersWithIcons();
    CheckAt(__FILE__, line, now == letters, "icons on '%s', expected '%s'", now.c_str(),
            letters.c_str());
    for (size_t i = 0; i < icons.size(); i++) {
        std::string text;
        ReadDriveIcon(icons[i].letter, &text, NULL, NULL);
        CheckAt(__FILE__, line, text == DefaultIconPath(icons[i].file), "%c: icon '%s', want %s",
                icons[i].letter, text.c_str(), icons[i].file);
    }
}

// Starts tavlix on what the case has seeded; returns once its window
// creation, which reads Count, and its start-up scan are over.
static TavlixRun StartSeeded(const char *version)
{
    ClearIconState();
    TavlixRun run = StartTavlix(version);
    ok(run.window != NULL && WaitForTavlixPasses(run), "%s: no main window or start-up not over",
       version);
    return run;
}

// Nothing seeded but a system disk; tavlix started, past its start-up
// scan (which must not see what the case seeds next), and answering.
static TavlixRun StartEmpty(const char *version)
{
    ClearSimulatedDisks();
    AddNonCardDisk(SystemDiskPath, NULL);
    return StartSeeded(version);
}

static void Stop(TavlixRun *run)
{
    ok(StopTavlixBySecondLaunch(run), "second launch did not stop tavlix with 0");
    ok(LettersWithIcons().empty() && LettersWithMarkers().empty(), "left icons '%s' markers '%s'",
       LettersWithIcons().c_str(), LettersWithMarkers().c_str());
    EndTavlix(run);
    ClearSimulatedDisks();
}

// On 5.0, a node change takes the new Count and a volume arrival resolves
// each letter of the mask.
static void ArriveAfterSeeding(const TavlixRun &run, DWORD mask)
{
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, mask) == 0, "arrival answered");
}

// ---- mounted-devices data -----------------------------------------------------

// Each letter's volume carries its disk's prefix in data of some size, type
// or shape; only the data that still holds the prefix at UTF-16 unit 27
// within 78 to 260 bytes resolves.
static void test_mounted_devices_data(void)
{
    TavlixRun run = StartEmpty("win2k");
    struct Volume {
        char letter;
        const char *code;
        const char *prefix;
    };
    const Volume volumes[] = {
        {'H', "SD", "7&0000a078&0"}, {'I', "CF", "7&0000a077&0"}, {'J', "SM", "7&0000a260&0"},
        {'K', "MS", "7&0000a261&0"}, {'L', "CF", "7&00000sz0&0"}, {'M', "SD", "7&00000dw0&0"},
        {'N', "CF", "7&ab"},         {'P', "SM", "8&abcdefgh&1"}, {'Q', "MS", "8&abc&0"},
    };
    DWORD mask = 0;
    for (size_t i = 0; i < sizeof(volumes) / sizeof(volumes[0]); i++) {
        const Volume &v = volumes[i];
        std::string serial(1, v.letter);
        ok(AddNonCardDisk(CardPath(v.code, serial.c_str()).c_str(), v.prefix) > 0, "disk %c",
           v.letter);
        ok(PutMountedDevice(v.letter, RemovableVolumeData(v.prefix)), "volume %c", v.letter);
        mask |= Bit(v.letter);
    }
    // Then each letter's data takes its shape (PutMountedDevice has made the
    // drives exist and clears the values at the end).
    ok(PutMountedDevice('H', RemovableVolumeData("7&0000a078&0").substr(0, 78)), "78 bytes");
    ok(PutMountedDevice('I', RemovableVolumeData("7&0000a077&0").substr(0, 77)), "77 bytes");
    ok(PutMountedDevice('J', Padded(RemovableVolumeData("7&0000a260&0"), 260)), "260 bytes");
    ok(PutMountedDevice('K', Padded(RemovableVolumeData("7&0000a261&0"), 261)), "261 bytes");
    ok(PutMountedDeviceText('L', std::string(VolumeHead) + "7&00000sz0&0" + VolumeTail),
       "the device name as a REG_SZ text");
    ok(RetypeMountedDevice('M', REG_DWORD, std::string("7&00", 4)), "a REG_DWORD");
    // A NUL unit ends the prefix early: "7&ab", which disk N carries.
    std::string nulInside = std::string(VolumeHead) + "7&ab" + '\0' + "cdef&0" + VolumeTail;
    ok(PutMountedDevice('N', Utf16(nulInside)), "a NUL unit inside the prefix");
    // No third ampersand: the prefix is cut at 12 characters, which is all
    // of P's prefix but runs past Q's.
    ok(PutMountedDevice('P', Utf16(std::string(VolumeHead) + "8&abcdefgh&1234RM#{53f5630d}")),
       "no third ampersand after 12 characters");
    ok(PutMountedDevice('Q', Utf16(std::string(VolumeHead) + "8&abc&0RM#{53f5630d-b6bf}")),
       "no third ampersand after a short prefix");

    ArriveAfterSeeding(run, mask);
    CheckIcons(__LINE__, run, {{'H', "sdico.ico"}, {'J', "smico.ico"}, {'N', "cfico.ico"},
                          {'P', "smico.ico"}});
    // Too short and too long say so; a prefix cut wrong finds no disk.
    for (char letter : {'I', 'K'})
        ok(TavlixSaid(run, std::string("drive ") + letter +
                               ": skipped: its mounted-device entry is too short or too long"),
           "%c's reason is not traced", letter);
    ok(TavlixSaid(run, "drive Q: skipped: no listed disk has parent prefix 8&abc&0RM#{5"),
       "Q's reason is not traced");
    CheckRunning(__LINE__, run);
    Stop(&run);
}

// ---- ParentIdPrefix -----------------------------------------------------------

// A ParentIdPrefix is read in 20 bytes and compared whole with the volume's
// prefix of at most 12 characters; data without NUL ends where it ends; a
// disk whose value cannot be read, or that has no key, is passed over for
// the next disk with the prefix.
static void test_parent_id_prefix_values(void)
{
    TavlixRun run = StartEmpty("win2k");
    // Passed over by every search: no device key, a key without the value.
    ListDisk(CardPath("CF", "NOKEY").c_str());
    ok(AddNonCardDisk(CardPath("SD", "NOVALUE").c_str(), NULL) > 0, "disk without value");

    struct Disk {
        const char *code;
        const char *serial;
        DWORD type;
        std::string value;
    };
    const Disk disks[] = {
        {"SD", "P12", REG_SZ, std::string("7&aaaaaaa&0", 12)},
        {"CF", "P12N", REG_BINARY, "7&bbbbbbbb&0"},
        {"SM", "P19", REG_SZ, std::string("7&dddddddd&0dddddd", 19)},
        {"MS", "P20", REG_SZ, std::string("7&eeeeeeee&0eeeeeee", 20)},
        // Its first 12 bytes are L's prefix, but 21 bytes cannot be read:
        // the SD disk after it is L's.
        {"CF", "P21", REG_BINARY, std::string("7&ffffffff&0", 12) + std::string(9, '\0')},
        {"SD", "P21B", REG_SZ, std::string("7&ffffffff&0", 13)},
        {"MS", "PDW", REG_DWORD, "7&gg"},
        // Without NUL, ending where N's prefix goes on: not equal.
        {"SM", "PSHORT", REG_BINARY, "7&hh"},
    };
    for (size_t i = 0; i < sizeof(disks) / sizeof(disks[0]); i++) {
        std::string path = CardPath(disks[i].code, disks[i].serial);
        ok(PutParentIdPrefixBytes(path.c_str(), disks[i].value, disks[i].type) &&
               ListDisk(path.c_str()) > 0,
           "disk %s", disks[i].serial);
    }
    PutMountedDevice('H', RemovableVolumeData("7&aaaaaaa&0"));
    PutMountedDevice('I', RemovableVolumeData("7&bbbbbbbb&0"));
    PutMountedDevice('J', RemovableVolumeData("7&dddddddd&0dddddd"));
    PutMountedDevice('K', RemovableVolumeData("7&eeeeeeee&0eeeeeee"));
    PutMountedDevice('L', RemovableVolumeData("7&ffffffff&0"));
    PutMountedDevice('M', Utf16(std::string(VolumeHead) + "7&gg" + '\0' + "&0" + VolumeTail));
    PutMountedDevice('N', RemovableVolumeData("7&hhhhhhhh&0"));

    ArriveAfterSeeding(run, Bit('H') | Bit('I') | Bit('J') | Bit('K') | Bit('L') | Bit('M') |
                                Bit('N'));
    CheckIcons(__LINE__, run, {{'H', "sdico.ico"}, {'I', "cfico.ico"}, {'L', "sdico.ico"},
                          {'M', "msico.ico"}});
    CheckRunning(__LINE__, run);
    Stop(&run);
}

// ---- disk-service values and instance paths -------------------------------------

// A device key for the first 229 characters of a long path, with its own
// prefix: a program that cut the path instead of passing it over would find
// it and give the disk a letter.
static void AddKeyForCutPath(const std::string &path, const char *prefix)
{
    ok(AddDiskDevice(path.substr(0, 229).c_str(), prefix), "key for the cut path");
}

// The start-up scan over listed values of every shape: a path without NUL
// is used (whatever the value before it left behind), one that is no card
// slot gives nothing, paths too long for a device key name (230
// characters, 259 in a value of 259 or 260 bytes) are passed over, one of
// 229 characters is used.
static void test_disk_values_and_long_paths(void)
{
    ClearSimulatedDisks();
    std::string v259 = CardPath("SM", "V0", 258, 's') + '\0';
    std::string noNul = CardPath("CF", "V1");
    std::string v260 = CardPath("MS", "V3", 260, 'm');
    std::string fits = CardPath("SD", "V4", 229, 'd');
    std::string tooLong = CardPath("MS", "V5", 230, 'n');
    ok(PutDiskValueBytes(0, v259, REG_SZ), "value 0: 259 bytes");
    AddKeyForCutPath(v259, "7&000000v0&0");
    ok(PutDiskValueBytes(1, noNul, REG_BINARY) && AddDiskDevice(noNul.c_str(), "7&000000v1&0"),
       "value 1: a path without NUL");
    ok(PutDiskValueBytes(2, "AAAA", REG_DWORD), "value 2: a REG_DWORD");
    ok(PutDiskValueBytes(3, v260, REG_BINARY), "value 3: 260 bytes without NUL");
    AddKeyForCutPath(v260, "7&000000v3&0");
    ok(PutDiskValue(4, fits.c_str()) && AddDiskDevice(fits.c_str(), "7&000000v4&0"),
       "value 4: 229 characters");
    ok(PutMountedDevice('F', RemovableVolumeData("7&000000v4&0")), "its volume");
    ok(PutDiskValue(5, tooLong.c_str()), "value 5: 230 characters");
    AddKeyForCutPath(tooLong, "7&000000v5&0");
    ok(PutMountedDevice('G', RemovableVolumeData("7&000000v5&0")), "the cut path's volume");
    ok(SetDiskCount(6), "Count 6");

    TavlixRun run = StartSeeded("win2k");
    // The CF disk has no volume: the first free letter.
    CheckIcons(__LINE__, run, {{'D', "cfico.ico"}, {'F', "sdico.ico"}});
    CheckRunning(__LINE__, run);
    Stop(&run);
}

// A listed value that cannot be read (261 bytes) ends the list there: the
// start-up scan gives nothing, an arrival still finds the disk listed before
// it but none after it.
static void test_unreadable_disk_value(void)
{
    ClearSimulatedDisks();
    const char *sd = ReaderDiskPaths[ReaderSlotSD];
    const char *cf = ReaderDiskPaths[ReaderSlotCF];
    ok(AddDiskDevice(sd, ReaderParentPrefixes[ReaderSlotSD]) && PutDiskValue(0, sd), "value 0");
    ok(PutDiskValueBytes(1, std::string(261, 'x'), REG_BINARY), "value 1: 261 bytes");
    ok(AddDiskDevice(cf, ReaderParentPrefixes[ReaderSlotCF]) && PutDiskValue(2, cf), "value 2");
    ok(SetDiskCount(3), "Count 3");
    ok(InsertCard(ReaderSlotSD, 'F') && InsertCard(ReaderSlotCF, 'G'), "cards");

    TavlixRun run = StartSeeded("win2k");
    CheckIcons(__LINE__, run, {});
    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('F') | Bit('G')) == 0, "answered");
    CheckIcons(__LINE__, run, {{'F', "sdico.ico"}});
    CheckRunning(__LINE__, run);
    Stop(&run);
}

// ---- Count --------------------------------------------------------------------

// 27 values: an MS card-slot disk at 3, a CF one at 25 (neither with a
// volume), an SD one at 26 with its card as F; the rest no card slots.
static void SeedTwentySevenDisks(void)
{
    ClearSimulatedDisks();
    for (int i = 0; i < 27; i++)
        PutDiskValue(i, FlashDiskPath);
    const struct {
        int index;
        int slot;
    } cards[] = {{3, ReaderSlotMS}, {25, ReaderSlotCF}, {26, ReaderSlotSD}};
    for (int i = 0; i < 3; i++) {
        const char *path = ReaderDiskPaths[cards[i].slot];
        ok(AddDiskDevice(path, ReaderParentPrefixes[cards[i].slot]) &&
               PutDiskValue(cards[i].index, path),
           "card-slot disk at %d", cards[i].index);
    }
    ok(InsertCard(ReaderSlotSD, 'F'), "SD card as F");
}

// On 5.1 a node change that finds more disks than DiskCount scans; a
// removal of D to Z clears the icons and sets DiskCount back to 0.
static void ScanWithCount(int line, const TavlixRun &run, DWORD type, const std::string &count,
                          const std::vector<Icon> &icons)
{
    RegPutBytes(HKEY_LOCAL_MACHINE, DiskServiceKeyName, "Count", type, count.data(),
                (DWORD)count.size());
    CheckAt(__FILE__, line, SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0,
            "node change not answered with 0");
    CheckIcons(line, run, icons);
    CheckAt(__FILE__, line, SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, DrivesDToZ) == 0,
            "removal not answered with 0");
    // Waited for to the end: a removal pass still running would cut the
    // next step's scan short.
    CheckIcons(line, run, {});
}

static std::string Dword(DWORD value)
{
    return std::string((const char *)&value, sizeof(value));
}

// The list has room for 26 disks: a larger Count is cut to 26 (the 27th
// disk is never read), a negative one counts as none, and a Count of
// another size or type is read by its bytes.
static void test_disk_count_values(void)
{
    SeedTwentySevenDisks();
    SetDiskCount(0);
    TavlixRun run = StartSeeded("winxp");
    const std::vector<Icon> firstTwentySix = {{'D', "msico.ico"}, {'E', "cfico.ico"}};
    // Two bytes: 4, whatever lies beyond them.
    ScanWithCount(__LINE__, run, REG_BINARY, std::string("\4\0", 2), {{'D', "msico.ico"}});
    ScanWithCount(__LINE__, run, REG_DWORD, Dword(27), firstTwentySix);
    ScanWithCount(__LINE__, run, REG_DWORD, Dword(1000), firstTwentySix);
    ScanWithCount(__LINE__, run, REG_DWORD, Dword(0xFFFFFFFF), {});
    ScanWithCount(__LINE__, run, REG_DWORD, Dword(0), {});
    // The text "4" is the bytes 0x34 0x00: 52, cut to 26.
    ScanWithCount(__LINE__, run, REG_SZ, std::string("4", 2), firstTwentySix);
    // Five bytes do not fit the four read: no disk.
    ScanWithCount(__LINE__, run, REG_BINARY, std::string("\4\0\0\0\0", 5), {});
    CheckRunning(__LINE__, run);
    Stop(&run);
}

// ---- missing keys ---------------------------------------------------------------

// No disk service key at start: no disk, and each later read tries the key
// again. The settings key is made at start; icons use the defaults.
static void test_missing_disk_service_key(void)
{
    ClearSimulatedDisks();
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, DiskServiceKeyName), "no disk service key");
    TavlixRun run = StartSeeded("winxp");
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    CheckIcons(__LINE__, run, {});
    ok(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\BrindIco") &&
           !RegKeyIsVolatile(HKEY_LOCAL_MACHINE, "Software\\BrindIco"),
       "the settings key was made, non-volatile");

    ok(PlugInReader() && InsertCard(ReaderSlotSD, 'F'), "reader plugged in");
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    CheckIcons(__LINE__, run, {{'D', "cfico.ico"}, {'E', "smico.ico"}, {'F', "sdico.ico"},
                          {'G', "msico.ico"}});
    ok(LettersWithMarkers() == "DEFG", "markers %s", LettersWithMarkers().c_str());
    CheckRunning(__LINE__, run);
    Stop(&run);
}

// The disk service key without Count: no disk, at start and on arrival,
// until a Count appears.
static void test_missing_count(void)
{
    ClearSimulatedDisks();
    ok(PlugInReader() && InsertCard(ReaderSlotSD, 'F'), "reader plugged in");
    ok(RegRemoveValue(HKEY_LOCAL_MACHINE, DiskServiceKeyName, "Count"), "Count removed");
    TavlixRun run = StartSeeded("win2k");
    CheckIcons(__LINE__, run, {});
    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('F')) == 0, "arrival answered");
    CheckIcons(__LINE__, run, {});

    ok(SetDiskCount(4), "Count 4");
    ArriveAfterSeeding(run, Bit('F'));
    CheckIcons(__LINE__, run, {{'F', "sdico.ico"}});
    CheckRunning(__LINE__, run);
    Stop(&run);
}

// ---- broadcasts ---------------------------------------------------------------------

static LRESULT SendVolumeHeader(HWND window, WPARAM event, DWORD size, DWORD mask)
{
    DEV_BROADCAST_VOLUME volume;
    memset(&volume, 0, sizeof(volume));
    volume.dbcv_size = size;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = mask;
    return SendDeviceEvent(window, event, (LPARAM)&volume);
}

// Volume headers too short to hold a unit mask are ignored (one shorter
// than the common header may not even be delivered; tavlix must survive
// it either way); the mask without the flags behind it is enough; every
// bit set means every letter, and bits above Z mean nothing.
static void test_hostile_broadcasts(void)
{
    TavlixRun run = StartEmpty("win2k");
    ok(PlugInReader() && InsertCard(ReaderSlotSD, 'H') && InsertCard(ReaderSlotCF, 'I'),
       "reader with two cards");
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");

    const DWORD shortSizes[] = {0, 4, sizeof(DEV_BROADCAST_HDR), sizeof(DEV_BROADCAST_HDR) + 3};
    for (size_t i = 0; i < sizeof(shortSizes) / sizeof(shortSizes[0]); i++)
        SendVolumeHeader(run.window, DBT_DEVICEARRIVAL, shortSizes[i], 0xFFFFFFFF);
    CheckRunning(__LINE__, run);
    CheckIcons(__LINE__, run, {});

    ok(SendVolumeHeader(run.window, DBT_DEVICEARRIVAL, sizeof(DEV_BROADCAST_HDR) + 4,
                        Bit('H')) == 0,
       "header with the mask only answered");
    CheckIcons(__LINE__, run, {{'H', "sdico.ico"}});

    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, 0xFFFFFFFF) == 0, "every bit answered");
    CheckIcons(__LINE__, run, {{'H', "sdico.ico"}, {'I', "cfico.ico"}});
    ok(!DriveIconExists('A') && !DriveIconExists('B') && !DriveIconExists('C'),
       "an icon for A, B or C");

    ok(SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, 0xFFFFFFFF) == 0,
       "removal of every bit answered");
    CheckIcons(__LINE__, run, {});
    ok(LettersWithMarkers().empty(), "markers left: %s", LettersWithMarkers().c_str());
    CheckRunning(__LINE__, run);
    Stop(&run);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    CheckReaderFixture();
    RUN_TEST(test_mounted_devices_data);
    RUN_TEST(test_parent_id_prefix_values);
    RUN_TEST(test_disk_values_and_long_paths);
    RUN_TEST(test_unreadable_disk_value);
    RUN_TEST(test_disk_count_values);
    RUN_TEST(test_missing_disk_service_key);
    RUN_TEST(test_missing_count);
    RUN_TEST(test_hostile_broadcasts);
    ClearSimulatedDisks();
    ClearIconState();
    return FinishTests();
}
