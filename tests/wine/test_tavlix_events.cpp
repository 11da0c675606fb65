// tavlix following device broadcasts sent the way the system sends them,
// one run of each Windows version carrying every check of its state: the
// reader and its cards coming and going, a card taken out and put back,
// another program's icon keys, broadcasts it must ignore, the end of the
// session, and what the next start takes away.
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

// Every pass the last broadcast started has ended: what it writes is all
// written, and what it did not write it never will.
#define CheckPassesEnd(run) ok(WaitForTavlixPasses(run), "passes still running")

// What a user sees of the drives D..Z in the watched place: each icon
// key's text, and the markers, as one line to compare.
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

// What earlier runs and other programs left, before tavlix starts: in the
// machine's place another program's icon for L and the kit's icon for K,
// which a killed run left (K is no card slot); in this user's own place the
// kit's icon for E, left from a run as a limited user, and another
// program's for M.
static void SeedLeftovers(void)
{
    WatchIconKeysOf(UserIconKeys);
    ok(PutKitDriveIcon('E') && PutOtherProgramsDriveIcon('M'), "the user's icons seeded");
    WatchIconKeysOf(MachineIconKeys);
    ok(PutKitDriveIcon('K') && PutOtherProgramsDriveIcon('L'), "the machine's icons seeded");
}

// The start took away the kit's icons of letters no card slot has, and
// this user's own; it left the other program's keys alone.
static void CheckLeftoversAtStart_(At at, const TavlixRun &run)
{
    std::string icon;
    ok_at(at, !DriveIconExists('K') && !DriveMarkerExists('K'),
          "the icon a killed run left on K stayed");
    ok_at(at, ReadDriveIcon('L', &icon, NULL, NULL) && icon == OtherProgramsIcon,
          "another program's icon on L is gone");
    CheckTraced_(at, run, "start: drive K: icon key removed: no card slot of the reader has "
                          "that letter now");
    CheckTraced_(at, run, "start: drive E: icon key removed: this user's own, which would hide "
                          "the machine's icon");
    WatchIconKeysOf(UserIconKeys);
    ok_at(at, LettersWithIcons() == "M" && LettersWithMarkers().empty(),
          "the user's own place: %s", IconState().c_str());
    WatchIconKeysOf(MachineIconKeys);
}
#define CheckLeftoversAtStart(run) CheckLeftoversAtStart_(HERE, run)

// A card taken out of its slot and put back in: Windows reports a removal
// and then an arrival of the slot's volume, both flagged as a change of the
// medium only (the drive and its letter stay), and no device-tree change.
// The slot keeps its card icon through both, each time.
static void CheckMediumChange_(At at, const TavlixRun &run, char letter)
{
    std::string before = IconState();
    for (int round = 1; round <= 2; round++) {
        SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit(letter), DBTF_MEDIA);
        ok_at(at, WaitForTavlixPasses(run) && IconState() == before,
              "round %d, card out: %s, was %s", round, IconState().c_str(), before.c_str());
        SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit(letter), DBTF_MEDIA);
        ok_at(at, WaitForTavlixPasses(run) && IconState() == before,
              "round %d, card back in: %s, was %s", round, IconState().c_str(), before.c_str());
    }
    CheckTraced_(at, run, std::string("broadcast: removal of volume ") + letter +
                              ": a card taken out, the drive stays: icon kept");
}
#define CheckMediumChange(run, letter) CheckMediumChange_(HERE, run, letter)

// The card's drive goes with its icon and marker (the letter's key above
// DefaultIcon stays); the removal of L, whose key is another program's,
// leaves that key. Bits above Z are ignored.
static void CheckRemovals_(At at, const TavlixRun &run, char cardLetter)
{
    RemoveCard(cardLetter);
    SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit(cardLetter) | 0x80000000u);
    SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, Bit('L'));
    ok_at(at, WaitForTavlixPasses(run), "removals not over");
    ok_at(at, !DriveIconExists(cardLetter) && !DriveMarkerExists(cardLetter),
          "%c: icon or marker left", cardLetter);
    ok_at(at, RegKeyExists(IconKeysRoot(), (DrivesKeyName() + "\\" + cardLetter).c_str()),
          "%c: the drive key above DefaultIcon went", cardLetter);
    ok_at(at, DriveIconExists('L'), "another program's icon on L removed with its volume");
    CheckTraced_(at, run, "drive L: icon key kept: not the kit's (no marker)");
}
#define CheckRemovals(run, cardLetter) CheckRemovals_(HERE, run, cardLetter)

// Broadcasts that name no volume start nothing and change nothing.
static void CheckIgnoredBroadcasts_(At at, const TavlixRun &run)
{
    std::string before = IconState();
    SendDeviceEvent(run.window, DBT_DEVICEREMOVECOMPLETE, 0);
    DEV_BROADCAST_HDR port = {sizeof(port), DBT_DEVTYP_PORT, 0};
    SendDeviceEvent(run.window, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&port);
    SendDeviceEvent(run.window, DBT_DEVICEARRIVAL, (LPARAM)&port);
    // A volume header too short to hold its unit mask.
    DEV_BROADCAST_HDR shortVolume = {sizeof(shortVolume), DBT_DEVTYP_VOLUME, 0};
    SendDeviceEvent(run.window, DBT_DEVICEREMOVECOMPLETE, (LPARAM)&shortVolume);
    SendDeviceEvent(run.window, DBT_QUERYCHANGECONFIG, 0);
    ok_at(at, WaitForTavlixPasses(run) && IconState() == before,
          "a broadcast that names no volume changed %s into %s", before.c_str(),
          IconState().c_str());
    CheckTraced_(at, run, "broadcast: removal of something that is no volume: nothing started");
    CheckTraced_(at, run, "broadcast 0x0017: nothing started");
}
#define CheckIgnoredBroadcasts(run) CheckIgnoredBroadcasts_(HERE, run)

// A log-off: the session asks, then ends, and ends the program without
// WM_DESTROY. The kit's icons go unless the version keeps them (XP); the
// other program's icon stays either way.
static void CheckSessionEnd_(At at, TavlixRun *run, const char *kitLetters, bool kept)
{
    ok_at(at, SendMessageA(run->window, WM_QUERYENDSESSION, 0, 0) != 0, "log-off refused");
    SendMessageA(run->window, WM_ENDSESSION, TRUE, 0);
    std::string want = kept ? kitLetters : "";
    std::string icons = LettersWithIcons();
    if (icons.find('L') != std::string::npos)
        icons.erase(icons.find('L'), 1);
    ok_at(at, icons == want && LettersWithMarkers() == want && DriveIconExists('L'),
          "after the log-off: %s, want the kit's %s and L", IconState().c_str(), want.c_str());
    CheckTraced_(at, *run, kept ? "session ends: icons kept" : "session ends: exit begun");
    EndTavlix(run);
}
#define CheckSessionEnd(run, kitLetters, kept) CheckSessionEnd_(HERE, run, kitLetters, kept)

// The reader plugged in behind a disk that is no card slot, an SD card in
// it as drive F: a scan gives D (CF), E (SmartMedia), F (SD), G (Memory
// Stick), the disks without a volume taking the first free letters.
static void SeedReader(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
}

// A disk whose name the digit rule reads as a kind above the combo slot
// (its last character '9'): no card slot, each time its volume comes.
static void CheckKindWithoutIcon_(At at, const TavlixRun &run)
{
    std::string path = VistocardMsDiskPath;
    path.back() = '9';
    AddNonCardDisk(path.c_str(), "7&6a7b8c9d&0");
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    PutMountedDevice('P', RemovableVolumeData("7&6a7b8c9d&0"));
    for (int round = 0; round < 2; round++)
        SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('P'));
    ok_at(at, WaitForTavlixPasses(run) && !DriveIconExists('P') && !DriveMarkerExists('P'),
          "P: %s", IconState().c_str());
    ok_at(at, !TavlixSaid(run, "drive P: skipped: already has its icon"),
          "P counted as given an icon");
    CheckTraced_(at, run, "drive P: skipped: the disk with parent prefix 7&6a7b8c9d&0 is not a "
                          "card slot");
}
#define CheckKindWithoutIcon(run) CheckKindWithoutIcon_(HERE, run)

// The reader with its SD card, and the leftovers, seeded before a start
// that gives the reader's slots their icons (2000 and 7).
static TavlixRun StartWithReader(At at, const char *version)
{
    SeedReader();
    SeedLeftovers();
    TavlixRun run = StartTavlix(version);
    ok_at(at, run.window != NULL && LettersWithIcons() == "DEFGL", "icons at start: %s",
          IconState().c_str());
    CheckLeftoversAtStart_(at, run);
    return run;
}

// Windows 2000: icons at start, and for each card's volume as it arrives,
// in volatile keys.
static void test_windows_2000(void)
{
    TavlixRun run = StartWithReader(HERE, "win2k");
    InsertCard(ReaderSlotCF, 'H');
    SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('H') | 0xFC000000u);
    // A volume on a disk that is no card slot gets nothing; its disk comes
    // first, with the node change that raises the count (and only that).
    AddNonCardDisk(FlashDiskPath, "7&5e6f7081&0");
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    PutMountedDevice('J', RemovableVolumeData("7&5e6f7081&0"));
    SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('J'));
    CheckPassesEnd(run);
    ok(WaitForDriveIcon('H', DefaultIconPath("cfico.ico").c_str()) && DriveMarkerExists('H') &&
           RegKeyIsVolatile(IconKeysRoot(), DriveIconKey('H').c_str()),
       "H: %s", IconState().c_str());
    ok(LettersWithIcons() == "DEFGHL", "icons %s", LettersWithIcons().c_str());
    CheckTraced(run, "drive J: skipped: the disk with parent prefix 7&5e6f7081&0 is not a "
                     "card slot");
    CheckKindWithoutIcon(run);
    CheckMediumChange(run, 'F');
    CheckRemovals(run, 'F');
    CheckIgnoredBroadcasts(run);
    CheckSessionEnd(&run, "DEGH", false);
}

// Windows 7 (6 and later): icons at start only; arrivals start nothing.
static void test_windows_7(void)
{
    TavlixRun run = StartWithReader(HERE, "win7");
    InsertCard(ReaderSlotCF, 'H');
    SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('H'));
    CheckPassesEnd(run);
    ok(!DriveIconExists('H'), "the arrival gave H an icon");
    CheckTraced(run, "broadcast: arrival of volume H: arrivals start nothing here");
    CheckMediumChange(run, 'F');
    CheckRemovals(run, 'F');
    CheckIgnoredBroadcasts(run);
    CheckSessionEnd(&run, "DEG", false);
}

// Windows XP: no icons at start; a scan when the disk count grows, without
// the shell refresh, into kept keys that outlive a log-off. The next start
// keeps them while the reader is still plugged in, and takes them away
// once it was unplugged while no tavlix ran.
static void test_windows_xp(void)
{
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    SeedLeftovers();
    TavlixRun run = StartTavlix("winxp");
    ok(run.window != NULL && LettersWithIcons() == "L", "icons at start: %s", IconState().c_str());
    CheckLeftoversAtStart(run);
    CheckTraced(run, "no pass at start on XP");
    PlugInReader();
    InsertCard(ReaderSlotSD, 'F');
    SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, Bit('F'));
    CheckPassesEnd(run);
    ok(LettersWithIcons() == "L", "the arrival gave icons: %s", IconState().c_str());
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    CheckPassesEnd(run);
    ok(LettersWithIcons() == "DEFGL" && !RegKeyIsVolatile(IconKeysRoot(), DriveIconKey('F').c_str()),
       "after the reader came: %s", IconState().c_str());
    CheckMediumChange(run, 'F');
    // A removal resets the count: the next node change that finds disks
    // scans again and gives the returning card its letter back.
    CheckRemovals(run, 'F');
    InsertCard(ReaderSlotSD, 'F');
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    CheckPassesEnd(run);
    ok(WaitForDriveIcon('F', DefaultIconPath("sdico.ico").c_str()), "F not back");
    CheckIgnoredBroadcasts(run);
    CheckSessionEnd(&run, "DEFG", true);

    run = StartTavlix("winxp");
    ok(LettersWithIcons() == "DEFGL" && !TavlixSaid(run, "icon key removed"),
       "a start with the reader plugged in: %s", IconState().c_str());
    EndTavlix(&run);
    UnplugReader();
    run = StartTavlix("winxp");
    ok(LettersWithIcons() == "L" && LettersWithMarkers().empty(),
       "a start after the reader went: %s", IconState().c_str());
    CheckTraced(run, "start: drive G: icon key removed: no card slot of the reader has that "
                     "letter now");
    ok(StopTavlixBySecondLaunch(&run) && LettersWithIcons() == "L", "stopped: %s",
       IconState().c_str());
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

// One broadcast of the burst: arrivals, removals and node changes in turn.
static LRESULT SendBurstBroadcast(HWND window, int i)
{
    switch (i % 4) {
    case 0:
        return SendVolumeEvent(window, DBT_DEVICEARRIVAL, Bit('H') | Bit('I'));
    case 1:
        return SendVolumeEvent(window, DBT_DEVICEREMOVECOMPLETE, Bit(i % 8 ? 'H' : 'D'));
    case 2:
        SetDiskCount(i % 8 ? 1 : 5);
        return SendDeviceEvent(window, DBT_DEVNODES_CHANGED, 0);
    }
    return SendVolumeEvent(window, DBT_DEVICEARRIVAL, Bit('I'));
}

// Hundreds of broadcasts as fast as tavlix takes them: it keeps answering,
// its passes' lines each come after the line that started the pass, and
// the exit leaves nothing behind.
static void test_burst(void)
{
    SeedReader();
    InsertCard(ReaderSlotSD, 'H');
    InsertCard(ReaderSlotCF, 'I');
    TavlixRun run = StartTavlix("win2k");
    ok(run.window != NULL, "main window");
    DWORD slowest = 0;
    int unanswered = 0;
    for (int i = 0; i < 400; i++) {
        DWORD start = GetTickCount();
        if (SendBurstBroadcast(run.window, i) != 0)
            unanswered++;
        if (GetTickCount() - start > slowest)
            slowest = GetTickCount() - start;
    }
    SetDiskCount(5);
    ok(unanswered == 0, "%d broadcasts not answered with 0", unanswered);
    printf("burst: 400 broadcasts, slowest answer %lu ms\n", slowest);
    ok(WaitForTavlixPasses(run), "the burst's passes did not end");
    ok(PassesOutOfOrder(run).empty(), "passes traced before their start:%s",
       PassesOutOfOrder(run).c_str());
    ok(StopTavlixBySecondLaunch(&run), "stopped");
    ok(LettersWithIcons().empty() && LettersWithMarkers().empty(), "left: %s",
       IconState().c_str());
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    RUN_TEST(test_windows_2000);
    RUN_TEST(test_windows_xp);
    RUN_TEST(test_windows_7);
    RUN_TEST(test_burst);
    ClearSimulatedDisks();
    return FinishTests();
}
