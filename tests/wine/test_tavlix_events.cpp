// tavlix following device broadcasts sent the way the system sends them:
// volume arrival and removal with a DEV_BROADCAST_VOLUME, device-tree
// changes, and the headers and masks it must ignore.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include "tracereader.h"
#include <map>
#include <stdio.h>

static DWORD Bit(char letter)
{
    return 1u << (letter - 'A');
}

// Only the system disk listed at start: no icon until something arrives.
static TavlixRun StartWithoutReader(const char *version)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    TavlixRun run = StartTavlix(version);
    ok(run.window != NULL && WaitForTavlixPasses(run), "%s: main window, start-up over", version);
    return run;
}

// Every pass the last broadcast started has ended: what it writes is all
// written, and what it did not write it never will.
static void CheckPassesEnd(int line, const TavlixRun &run)
{
    CheckAt(__FILE__, line, WaitForTavlixPasses(run), "passes still running");
}

static void Stop(TavlixRun *run)
{
    ok(StopTavlixBySecondLaunch(run), "stopped");
    ok(LettersWithIcons().empty() && LettersWithMarkers().empty(), "left icons '%s' markers '%s'",
       LettersWithIcons().c_str(), LettersWithMarkers().c_str());
}

static void test_arrival_on_windows_2000(void)
{
    TavlixRun run = StartWithoutReader("win2k");
    PlugInReader();
    // On 5.0 a growing disk count only updates the count.
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    CheckPassesEnd(__LINE__, run);
    ok(LettersWithIcons().empty(), "node change assigned %s", LettersWithIcons().c_str());

    InsertCard(ReaderSlotSD, 'H');
    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('H')) == 0, "arrival answered");
    CheckPassesEnd(__LINE__, run);
    ok(WaitForDriveIcon('H', DefaultIconPath("sdico.ico").c_str()), "H gets the SD icon");
    ok(RegKeyIsVolatile(HKEY_CLASSES_ROOT, DriveIconKey('H').c_str()), "H volatile");
    ok(DriveMarkerExists('H'), "H marker");

    // Bits above Z are ignored; the CF card still gets its icon.
    InsertCard(ReaderSlotCF, 'K');
    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('K') | 0xFC000000u) == 0, "answered");
    CheckPassesEnd(__LINE__, run);
    ok(WaitForDriveIcon('K', DefaultIconPath("cfico.ico").c_str()), "K gets the CF icon");

    // A volume on a disk that is no card slot gets nothing. The disk comes
    // first, and with it the node change that raises the disk count.
    AddNonCardDisk(FlashDiskPath, "7&5e6f7081&0");
    ok(SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0) == 0, "node change answered");
    PutMountedDevice('J', RemovableVolumeData("7&5e6f7081&0"));
    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('J')) == 0, "answered");
    CheckPassesEnd(__LINE__, run);
    ok(LettersWithIcons() == "HK", "icons %s", LettersWithIcons().c_str());
    ok(TavlixSaid(run, "drive J: skipped: the disk with parent prefix 7&5e6f7081&0 is not a "
                       "card slot"),
       "J's reason is not traced");
    Stop(&run);
}

static void CheckArrivalIgnored(const char *version)
{
    TavlixRun run = StartWithoutReader(version);
    PlugInReader();
    InsertCard(ReaderSlotSD, 'H');
    ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('H')) == 0, "%s: answered", version);
    CheckPassesEnd(__LINE__, run);
    ok(!DriveIconExists('H'), "%s: arrival assigned H", version);
    ok(TavlixSaid(run, "broadcast: arrival of volume H: arrivals start nothing here"),
       "%s: the ignored arrival is not traced", version);
    Stop(&run);
}

static void test_arrival_ignored_on_xp_and_7(void)
{
    CheckArrivalIgnored("winxp");
    CheckArrivalIgnored("win7");
}

// Every version removes the icon key and marker of a removed volume's
// letter, whoever wrote the key.
static void CheckRemoval(const char *version)
{
    TavlixRun run = StartWithoutReader(version);
    ok(PutOtherProgramsDriveIcon('L'), "another program's icon for L");
    ok(PutOtherProgramsDriveIcon('M'), "another program's icon for M");
    RegPutString(HKEY_LOCAL_MACHINE, "Software\\BrindIco", "L", "");
    ok(SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit('L') | 0x80000000u) == 0,
       "%s: answered", version);
    CheckPassesEnd(__LINE__, run);
    ok(WaitForDriveIcon('L', NULL), "%s: L removed", version);
    ok(!DriveMarkerExists('L'), "%s: L marker removed", version);
    ok(RegKeyExists(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\L"),
       "%s: the drive key above DefaultIcon stays", version);
    ok(DriveIconExists('M'), "%s: M untouched", version);
    EndTavlix(&run);
    ClearIconState();
}

static void test_removal_on_every_version(void)
{
    CheckRemoval("win2k");
    CheckRemoval("winxp");
    CheckRemoval("win7");
}

// What a user sees of the drives D..Z: each icon key's text, and the
// markers, as one line to compare.
static std::string IconState(void)
{
    std::string state;
    for (char letter : LettersWithIcons()) {
        std::string icon;
        ReadDriveIcon(letter, &icon, NULL, NULL);
        state += std::string(1, letter) + "=" + icon + " ";
    }
    return state + "markers " + LettersWithMarkers();
}

// A card taken out of its slot and put back in. Windows reports a removal
// and then an arrival of the slot's volume, both flagged as a change of the
// medium only (the drive and its letter stay), and no device-tree change.
// The slot keeps its card icon through both, each time, and nothing else
// changes; the drive itself going still takes its icon.
static void CheckMediumChange(const char *version)
{
    TavlixRun run;
    if (strcmp(version, "winxp") == 0) {
        // XP gives icons when the reader comes in: a node change with more
        // disks than before.
        run = StartWithoutReader(version);
        PlugInReader();
        InsertCard(ReaderSlotSD, 'F');
        SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
        CheckPassesEnd(__LINE__, run);
    } else {
        // 2000 and later give them at start-up.
        ClearSimulatedDisks();
        ClearIconState();
        AddNonCardDisk(SystemDiskPath, NULL);
        PlugInReader();
        InsertCard(ReaderSlotSD, 'F');
        run = StartTavlix(version);
        ok(run.window != NULL, "%s: main window", version);
    }
    std::string before = IconState();
    bool assigned = DriveIconExists('F');
    ok(assigned, "%s: the SD card's F has no icon to begin with: %s", version, before.c_str());
    for (int round = 1; round <= 2 && assigned; round++) {
        // The mounted-devices entry stays: the letter is the drive's.
        ok(SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit('F'), DBTF_MEDIA) == 0,
           "%s: medium removal answered", version);
        CheckPassesEnd(__LINE__, run);
        ok(IconState() == before, "%s, round %d, card out: %s, was %s", version, round,
           IconState().c_str(), before.c_str());
        ok(TavlixSaid(run, "broadcast: removal of volume F: a card taken out, the drive stays: "
                           "icon kept"),
           "%s: the medium change is not traced", version);
        ok(SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('F'), DBTF_MEDIA) == 0,
           "%s: medium arrival answered", version);
        CheckPassesEnd(__LINE__, run);
        ok(IconState() == before, "%s, round %d, card back in: %s, was %s", version, round,
           IconState().c_str(), before.c_str());
    }
    // The reader unplugged: its drives go, without the medium flag.
    RemoveCard('F');
    ok(SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit('F')) == 0, "answered");
    CheckPassesEnd(__LINE__, run);
    ok(!DriveIconExists('F') && !DriveMarkerExists('F'), "%s: the drive went, its icon stayed",
       version);
    Stop(&run);
}

static void test_medium_change_keeps_the_slot_icon(void)
{
    CheckMediumChange("win2k");
    CheckMediumChange("winxp");
    CheckMediumChange("win7");
}

static void test_ignored_broadcasts(void)
{
    TavlixRun run = StartWithoutReader("win2k");
    ok(PutOtherProgramsDriveIcon('N'), "another program's icon for N");

    ok(SendDeviceEvent(run.window, DBT_DEVICEREMOVECOMPLETE, 0) == 0, "null header answered");
    DEV_BROADCAST_HDR port;
    port.dbch_size = sizeof(port);
    port.dbch_devicetype = DBT_DEVTYP_PORT;
    port.dbch_reserved = 0;
    ok(SendDeviceEvent(run.window, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&port) == 0,
       "port header answered");
    ok(SendDeviceEvent(run.window, DBT_DEVICEARRIVAL, (LPARAM)&port) == 0, "port arrival answered");
    // A volume header too short to hold its unit mask.
    DEV_BROADCAST_HDR shortVolume;
    shortVolume.dbch_size = sizeof(shortVolume);
    shortVolume.dbch_devicetype = DBT_DEVTYP_VOLUME;
    shortVolume.dbch_reserved = 0;
    ok(SendDeviceEvent(run.window, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&shortVolume) == 0,
       "short header answered");
    ok(SendDeviceEvent(run.window, DBT_QUERYCHANGECONFIG, 0) == 0, "other event answered");
    CheckPassesEnd(__LINE__, run);
    ok(DriveIconExists('N'), "N removed by a broadcast that names no volume");
    ok(TavlixSaid(run, "broadcast: removal of something that is no volume: nothing started") &&
           TavlixSaid(run, "broadcast 0x0017: nothing started"),
       "broadcasts that name no volume are not traced as such");
    EndTavlix(&run);
    ClearIconState();
}

// The passes whose own lines ("pass N: ...", "pass N ended") came before
// the line that started them ("...: pass N started"). Lines the queue
// dropped leave gaps, never a change of order.
static std::string PassesOutOfOrder(const TavlixRun &run)
{
    std::map<int, size_t> started, first;
    size_t at = 0;
    for (const TraceLine &line : TraceLinesFrom(run.traceMark, run.pid)) {
        int number = 0;
        size_t found = line.text.find(": pass ");
        if (found != std::string::npos && line.text.find(" started", found) != std::string::npos &&
            sscanf(line.text.c_str() + found, ": pass %d", &number) == 1)
            started.emplace(number, at);
        else if (sscanf(line.text.c_str(), "tavlix: pass %d", &number) == 1)
            first.emplace(number, at);
        at++;
    }
    std::string late;
    for (const auto &pass : first)
        if (started.count(pass.first) && started[pass.first] > pass.second)
            late += " " + std::to_string(pass.first);
    return late;
}

// Hundreds of broadcasts as fast as tavlix takes them: it keeps answering,
// its passes' lines each come after the line that started the pass, and
// the exit leaves nothing behind.
static void test_burst(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    PlugInReader();
    InsertCard(ReaderSlotSD, 'H');
    InsertCard(ReaderSlotCF, 'I');
    TavlixRun run = StartTavlix("win2k");
    ok(run.window != NULL && WaitForTavlixPasses(run), "main window, start-up over");
    DWORD slowest = 0;
    int unanswered = 0;
    for (int i = 0; i < 400; i++) {
        DWORD start = GetTickCount();
        LRESULT result = 0;
        switch (i % 4) {
        case 0:
            result = SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('H') | Bit('I'));
            break;
        case 1:
            result = SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit(i % 8 ? 'H' : 'D'));
            break;
        case 2:
            SetDiskCount(i % 8 ? 1 : 5);
            result = SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
            break;
        default:
            result = SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('I'));
            break;
        }
        if (result != 0)
            unanswered++;
        if (GetTickCount() - start > slowest)
            slowest = GetTickCount() - start;
    }
    SetDiskCount(5);
    ok(unanswered == 0, "%d broadcasts not answered with 0", unanswered);
    ok(WaitForExit(run.process, 0) == STILL_ACTIVE, "tavlix ended during the burst");
    printf("burst: 400 broadcasts, slowest answer %lu ms\n", slowest);
    ok(WaitForTavlixPasses(run), "the burst's passes did not end");
    ok(PassesOutOfOrder(run).empty(), "passes traced before their start:%s",
       PassesOutOfOrder(run).c_str());
    Stop(&run);
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_arrival_on_windows_2000);
    RUN_TEST(test_arrival_ignored_on_xp_and_7);
    RUN_TEST(test_removal_on_every_version);
    RUN_TEST(test_medium_change_keeps_the_slot_icon);
    RUN_TEST(test_ignored_broadcasts);
    RUN_TEST(test_burst);
    ClearSimulatedDisks();
    return FinishTests();
}
