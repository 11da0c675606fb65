// tavlix against a registry and broadcasts that a broken or malicious
// system could hold, where what the program does depends on what the
// registry calls answer: data one byte longer than the buffer a query
// offers (ERROR_MORE_DATA), data whose NUL the query does not add, text
// that the ANSI query converts, keys and values missing; volume headers
// too short or with every bit set. How the bytes are then read (prefix
// sizes, cut names, path lengths) is the native tests' and the fuzzers'.
// One run of 2000 carries every drive's case, one of XP the disk count's;
// each checks that exactly the drives whose data is still valid get their
// icon and that tavlix stops cleanly, leaving nothing behind.
//
// Wine's ANSI registry query adds a NUL to REG_SZ data that lacks one, so
// data without NUL is stored as REG_BINARY (the program does not look at
// the type).
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include <string.h>

static const DWORD DrivesDToZ = 0x03FFFFF8;

static DWORD Bit(char letter)
{
    return 1u << (letter - 'A');
}

// A card-slot disk of the reader's family: the kind code at 40, the serial
// behind; padded with pad up to length.
static std::string CardPath(const char *code, const char *serial, size_t length = 0,
                            char pad = 'p')
{
    std::string path = std::string("USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_") + code +
                       "&REV_1.00\\" + serial;
    if (path.size() < length)
        path += std::string(length - path.size(), pad);
    return path;
}

// A listed card-slot disk with its ParentIdPrefix and its card's volume.
static void AddCard_(At at, char letter, const char *code, const char *prefix)
{
    std::string serial(1, letter);
    ok_at(at, AddNonCardDisk(CardPath(code, serial.c_str()).c_str(), prefix) > 0 &&
                  PutMountedDevice(letter, RemovableVolumeData(prefix)),
          "card %c not seeded", letter);
}
#define AddCard(letter, code, prefix) AddCard_(HERE, letter, code, prefix)

// The device name as a REG_SZ written through the wide API, as a system
// writes one: the ANSI query hands it over converted to ANSI.
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

struct Icon {
    char letter;
    const char *file;
};

// Once every pass the last broadcast started has ended, exactly these
// letters have their icons.
static void CheckIcons_(At at, const TavlixRun &run, const std::vector<Icon> &icons)
{
    std::string letters;
    for (const Icon &icon : icons)
        letters += icon.letter;
    ok_at(at, WaitForTavlixPasses(run), "passes still running");
    std::string now = LettersWithIcons();
    ok_at(at, now == letters, "icons on '%s', expected '%s'", now.c_str(), letters.c_str());
    for (const Icon &icon : icons) {
        std::string text;
        ReadDriveIcon(icon.letter, &text, NULL, NULL);
        ok_at(at, text == DefaultIconPath(icon.file), "%c: icon '%s', want %s", icon.letter,
              text.c_str(), icon.file);
    }
}
#define CheckIcons(run, ...) CheckIcons_(HERE, run, __VA_ARGS__)

// ---- what the queries answer, on 2000 -------------------------------------------

// Mounted-devices data, read into 260 bytes: 260 bytes resolve (H), 261
// are more than the query takes (I), 77 are too few for the prefix, as the
// query reports their size (J), and a REG_SZ device name comes converted to
// ANSI, so no prefix lies at unit 27 (K).
static void SeedMountedDevicesData(void)
{
    AddCard('H', "SD", "7&0000a260&0");
    AddCard('I', "CF", "7&0000a261&0");
    AddCard('J', "SM", "7&00000a77&0");
    AddCard('K', "MS", "7&00000sz0&0");
    std::string data = RemovableVolumeData("7&0000a260&0");
    ok(PutMountedDevice('H', data + std::string(260 - data.size(), 'x')), "260 bytes");
    data = RemovableVolumeData("7&0000a261&0");
    ok(PutMountedDevice('I', data + std::string(261 - data.size(), 'x')), "261 bytes");
    ok(PutMountedDevice('J', RemovableVolumeData("7&00000a77&0").substr(0, 77)), "77 bytes");
    ok(PutMountedDeviceText('K', "\\??\\STORAGE#RemovableMedia#7&00000sz0&0&RM#{53f5630d-"
                                 "b6bf-11d0-94f2-00a0c91efb8b}"),
       "the device name as a REG_SZ");
}

// ParentIdPrefix values, read into 20 bytes: the prefix, its NUL and
// padding to 20 bytes match (L); 21 bytes cannot be read, so the CF disk is
// passed over for the SD disk after it (M); 12 bytes without a NUL end
// where the data does and match (N). Disks without a device key, or without
// the value, listed before them, are passed over by every search.
static void SeedParentIdPrefixValues(void)
{
    ListDisk(CardPath("CF", "NOKEY").c_str());
    ok(AddNonCardDisk(CardPath("SD", "NOVALUE").c_str(), NULL) > 0, "disk without the value");
    struct Disk {
        const char *code;
        const char *serial;
        DWORD type;
        std::string value;
    };
    const Disk disks[] = {
        {"CF", "P20", REG_BINARY, std::string("7&0000p020&0\0padding", 20)},
        {"CF", "P21", REG_BINARY, std::string("7&0000p021&0", 12) + std::string(9, '\0')},
        {"SD", "P21B", REG_SZ, std::string("7&0000p021&0", 13)},
        {"MS", "P12", REG_BINARY, "7&0000p012&0"},
    };
    for (const Disk &disk : disks) {
        std::string path = CardPath(disk.code, disk.serial);
        ok(PutParentIdPrefixBytes(path.c_str(), disk.value, disk.type) &&
               ListDisk(path.c_str()) > 0,
           "disk %s", disk.serial);
    }
    PutMountedDevice('L', RemovableVolumeData("7&0000p020&0"));
    PutMountedDevice('M', RemovableVolumeData("7&0000p021&0"));
    PutMountedDevice('N', RemovableVolumeData("7&0000p012&0"));
}

// The disk service's values, read into 260 bytes: a path without its NUL
// ends where the data does (O); a value of 260 bytes is read (too long a
// path, passed over), so the disk after it is found (P); a value of 261
// bytes cannot be read and ends the list: the disk after it is never
// found (Q), and a scan gives nothing.
static void SeedDiskServiceValues(void)
{
    std::string noNul = CardPath("SM", "V001");
    ok(AddDiskDevice(noNul.c_str(), "7&0000v001&0") &&
           ListDiskValueBytes(noNul, REG_BINARY) > 0 &&
           PutMountedDevice('O', RemovableVolumeData("7&0000v001&0")),
       "a path without its NUL");
    ok(ListDiskValueBytes(CardPath("MS", "V260", 260, 'm'), REG_BINARY) > 0, "260 bytes");
    AddCard('P', "SD", "7&0000v260&0");
    ok(ListDiskValueBytes(CardPath("MS", "V261", 261, 'm'), REG_BINARY) > 0, "261 bytes");
    AddCard('Q', "CF", "7&0000v261&0");
}

static void SendVolumeHeader(HWND window, WPARAM event, DWORD size, DWORD mask)
{
    DEV_BROADCAST_VOLUME volume;
    memset(&volume, 0, sizeof(volume));
    volume.dbcv_size = size;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = mask;
    SendDeviceEvent(window, event, (LPARAM)&volume);
}

// Volume headers too short to hold a unit mask are ignored (one shorter
// than the common header may not even be delivered; tavlix must survive it
// either way); the mask without the flags behind it is enough.
static void CheckVolumeHeaders_(At at, const TavlixRun &run)
{
    const DWORD shortSizes[] = {0, 4, sizeof(DEV_BROADCAST_HDR), sizeof(DEV_BROADCAST_HDR) + 3};
    for (DWORD size : shortSizes)
        SendVolumeHeader(run.window, DBT_DEVICEARRIVAL, size, 0xFFFFFFFF);
    CheckIcons_(at, run, {});
    SendVolumeHeader(run.window, DBT_DEVICEARRIVAL, sizeof(DEV_BROADCAST_HDR) + 4, Bit('H'));
    CheckIcons_(at, run, {{'H', "sdico.ico"}});
}
#define CheckVolumeHeaders(run) CheckVolumeHeaders_(HERE, run)

static void test_registry_data_on_2000(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    SeedParentIdPrefixValues();
    SeedMountedDevicesData();
    SeedDiskServiceValues();
    TavlixRun run = StartTavlix("win2k");
    ok(run.window != NULL, "no main window");
    CheckIcons(run, {});
    CheckTraced(run, "no disk listed, or the disk list cannot be read");
    CheckVolumeHeaders(run);
    // Every bit: every letter, none of A to C, nothing above Z.
    SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, 0xFFFFFFFF);
    CheckIcons(run, {{'H', "sdico.ico"},
                     {'L', "cfico.ico"},
                     {'M', "sdico.ico"},
                     {'N', "msico.ico"},
                     {'O', "smico.ico"},
                     {'P', "sdico.ico"}});
    ok(!DriveIconExists('A') && !DriveIconExists('B') && !DriveIconExists('C'),
       "an icon for A, B or C");
    for (char letter : {'I', 'J'})
        CheckTraced(run, std::string("drive ") + letter +
                             ": skipped: its mounted-device entry is too short or too long");
    CheckTraced(run, "drive K: skipped: no listed disk has parent prefix ");
    SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, 0xFFFFFFFF);
    CheckIcons(run, {});
    ok(LettersWithMarkers().empty(), "markers left: %s", LettersWithMarkers().c_str());
    CheckStopped(&run);
}

// ---- the disk count, on XP ----------------------------------------------------------

// 27 values: an MS card-slot disk at 3, a CF one at 25 (neither with a
// volume), an SD one at 26 with its card as F; the rest no card slots.
static void SeedTwentySevenDisks(void)
{
    for (int i = 0; i < 27; i++)
        PutDiskValue(i, FlashDiskPath);
    const struct {
        int index;
        int slot;
    } cards[] = {{3, ReaderSlotMS}, {25, ReaderSlotCF}, {26, ReaderSlotSD}};
    for (const auto &card : cards) {
        const char *path = ReaderDiskPaths[card.slot];
        ok(AddDiskDevice(path, ReaderParentPrefixes[card.slot]) && PutDiskValue(card.index, path),
           "card-slot disk at %d", card.index);
    }
    ok(InsertCard(ReaderSlotSD, 'F'), "SD card as F");
}

// Count, read into 4 bytes, as the query hands it over; on XP a node
// change that finds more disks than before scans, and a removal of D to Z
// clears the icons and the count.
struct CountCase {
    const char *what;
    DWORD type;
    std::string data; // none: no Count value
    const char *letters;
};
static const CountCase CountCases[] = {
    // Two bytes: 4, whatever lies beyond them.
    {"two bytes", REG_BINARY, std::string("\4\0", 2), "D"},
    // The text "4" comes as the bytes 0x34 0x00: 52, cut to the list's 26:
    // the 27th disk is never read.
    {"the text 4", REG_SZ, std::string("4", 2), "DE"},
    {"five bytes", REG_BINARY, std::string("\4\0\0\0\0", 5), ""},
    {"no Count", REG_NONE, "", ""},
};

static void CheckCount_(At at, const TavlixRun &run, const CountCase &count)
{
    if (count.data.empty())
        RegRemoveValue(HKEY_LOCAL_MACHINE, DiskServiceKeyName, "Count");
    else
        RegPutBytes(HKEY_LOCAL_MACHINE, DiskServiceKeyName, "Count", count.type,
                    count.data.data(), (DWORD)count.data.size());
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    bool ended = WaitForTavlixPasses(run);
    std::string icons = LettersWithIcons();
    ok_at(at, ended && icons == count.letters, "%s: icons on '%s', want '%s'", count.what,
          icons.c_str(), count.letters);
    // Waited for to the end: a removal pass still running would cut the
    // next case's scan short.
    SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, DrivesDToZ);
    ended = WaitForTavlixPasses(run);
    icons = LettersWithIcons();
    ok_at(at, ended && icons.empty(), "%s: icons left on '%s'", count.what, icons.c_str());
}
#define CheckCount(run, count) CheckCount_(HERE, run, count)

// No disk service key at start: no disk, and a later read tries the key
// again.
static void test_disk_count_on_xp(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    TavlixRun run = StartTavlix("winxp");
    ok(run.window != NULL, "no main window");
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    CheckIcons(run, {});
    SeedTwentySevenDisks();
    for (const CountCase &count : CountCases)
        CheckCount(run, count);
    CheckStopped(&run);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_registry_data_on_2000);
    RUN_TEST(test_disk_count_on_xp);
    ClearSimulatedDisks();
    ClearIconState();
    return FinishTests();
}
