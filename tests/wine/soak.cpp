#include "soak.h"
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include "tracereader.h"
#include <psapi.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <algorithm>

// ---- figures of a running process -------------------------------------------

DWORD ThreadCount(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    DWORD threads = 0;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == pid) {
            threads = entry.cntThreads;
            break;
        }
    }
    CloseHandle(snapshot);
    return threads;
}

// The system's handle table, one entry per open handle of any process.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
typedef LONG(WINAPI *QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
static const ULONG SystemHandleInformation = 16;
static const LONG StatusInfoLengthMismatch = (LONG)0xC0000004;

// Handles the process holds, counted in the system's handle table (Wine
// answers GetProcessHandleCount for another process with 0). 0 when the
// table cannot be read.
static DWORD HandleCount(DWORD pid)
{
    static QuerySystemInformation query = (QuerySystemInformation)(void (*)(void))GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    if (!query)
        return 0;
    std::vector<char> buffer(1 << 16);
    LONG status;
    for (;;) {
        ULONG needed = 0;
        status = query(SystemHandleInformation, buffer.data(), (ULONG)buffer.size(), &needed);
        if (status != StatusInfoLengthMismatch)
            break;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status < 0)
        return 0;
    const HandleTable *table = (const HandleTable *)buffer.data();
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; i++)
        if (table->entries[i].ownerPid == pid)
            count++;
    return count;
}

ProcessFigures ReadProcessFigures(HANDLE process)
{
    ProcessFigures figures;
    if (!process || WaitForSingleObject(process, 0) != WAIT_TIMEOUT)
        return figures;
    PROCESS_MEMORY_COUNTERS memory;
    memory.cb = sizeof(memory);
    bool memoryRead = GetProcessMemoryInfo(process, &memory, sizeof(memory)) != FALSE;
    figures.handles = HandleCount(GetProcessId(process));
    if (!figures.handles)
        GetProcessHandleCount(process, &figures.handles);
    bool handlesRead = figures.handles > 0;
    figures.threads = ThreadCount(GetProcessId(process));
    if (memoryRead) {
        figures.workingSet = memory.WorkingSetSize;
        figures.privateBytes = memory.PagefileUsage;
    }
    figures.valid = memoryRead && handlesRead && figures.threads > 0;
    return figures;
}

ProcessFigures SettledFigures(HANDLE process, DWORD wantThreads, DWORD ms)
{
    DWORD start = GetTickCount();
    DWORD previous = 0;
    for (;;) {
        ProcessFigures figures = ReadProcessFigures(process);
        bool few = wantThreads == 0 || figures.threads <= wantThreads;
        if (!figures.valid || (few && figures.threads == previous) ||
            GetTickCount() - start > ms)
            return figures;
        previous = figures.threads;
        Sleep(200);
    }
}

void PrintFigures(const char *label, const ProcessFigures &figures)
{
    if (!figures.valid) {
        printf("  %-8s figures not readable\n", label);
        return;
    }
    printf("  %-8s handles %4lu, threads %3lu, working set %6lu KiB, private %6lu KiB\n", label,
           (unsigned long)figures.handles, (unsigned long)figures.threads,
           (unsigned long)(figures.workingSet / 1024), (unsigned long)(figures.privateBytes / 1024));
}

unsigned SoakRandom::Next(unsigned below)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return below ? state % below : state;
}

// ---- sending ---------------------------------------------------------------------

namespace {

// Sends broadcasts to one window and keeps the count, the time spent in the
// sends and the slowest answer. Paced, it lets the trace catch up every few
// broadcasts, as its queue would otherwise drop lines; passes still
// overlap.
struct Sender {
    HWND window;
    bool paced;
    LARGE_INTEGER frequency;
    LONGLONG ticks = 0;
    double slowestMs = 0;
    int sent = 0;
    int unanswered = 0;

    Sender(HWND target, bool pace) : window(target), paced(pace)
    {
        QueryPerformanceFrequency(&frequency);
    }

    void Pace(void)
    {
        if (paced && sent > 0 && sent % 4 == 0)
            WaitForBroadcastsTraced(window);
    }

    void Timed(WPARAM event, bool volume, DWORD unitMask)
    {
        Pace();
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        LRESULT result = volume ? SendVolumeEvent(window, event, unitMask)
                                : SendDeviceEvent(window, event, 0);
        QueryPerformanceCounter(&after);
        LONGLONG spent = after.QuadPart - before.QuadPart;
        ticks += spent;
        double ms = spent * 1000.0 / (double)frequency.QuadPart;
        if (ms > slowestMs)
            slowestMs = ms;
        sent++;
        if (result != 0)
            unanswered++;
    }
    void Volume(WPARAM event, DWORD unitMask) { Timed(event, true, unitMask); }
    void NodesChanged(void) { Timed(DBT_DEVNODES_CHANGED, false, 0); }
    double Seconds(void) const { return ticks / (double)frequency.QuadPart; }
};

} // namespace

static DWORD Bit(char letter)
{
    return 1u << (letter - 'A');
}

// ---- tavlix --------------------------------------------------------------------

// The two letters each slot's card may come up as.
static const char SlotLetters[ReaderSlotCount][2] = {
    {'E', 'I'}, {'F', 'J'}, {'G', 'K'}, {'H', 'L'}};
// The system disk and the reader's four.
static const DWORD ListedDisks = 5;
static const DWORD DrivesDToZ = 0x03FFFFF8;

static std::string LettersOf(const char cardLetter[ReaderSlotCount])
{
    std::string letters;
    for (char c = 'D'; c <= 'Z'; c++)
        for (int slot = 0; slot < ReaderSlotCount; slot++)
            if (cardLetter[slot] == c)
                letters += c;
    return letters;
}

// One step of the mix; returns after one or two broadcasts.
static void SendMixedEvent(Sender *sender, SoakRandom *random, char cardLetter[ReaderSlotCount],
                           int room, TavlixSoakResult *result)
{
    unsigned kind = random->Next(100);
    int slot = (int)random->Next(ReaderSlotCount);
    if (kind < 40) {
        // A card goes in; the system mostly announces the new node first.
        // A card that is in already brings a repeated arrival.
        if (!cardLetter[slot]) {
            cardLetter[slot] = SlotLetters[slot][random->Next(2)];
            InsertCard(slot, cardLetter[slot]);
            if (random->Next(2) && room >= 2) {
                SetDiskCount(ListedDisks);
                sender->NodesChanged();
                result->nodeChanges++;
            }
        }
        DWORD mask = Bit(cardLetter[slot]);
        if (random->Next(8) == 0) // all cards in one broadcast
            for (int other = 0; other < ReaderSlotCount; other++)
                if (cardLetter[other])
                    mask |= Bit(cardLetter[other]);
        sender->Volume(DBT_DEVICEARRIVAL, mask);
        result->arrivals++;
    } else if (kind < 75) {
        // A card comes out; with the slot empty, the removal of a letter
        // that has no volume.
        char letter = cardLetter[slot] ? cardLetter[slot] : SlotLetters[slot][random->Next(2)];
        if (cardLetter[slot]) {
            RemoveCard(letter);
            cardLetter[slot] = 0;
        }
        sender->Volume(DBT_DEVICEREMOVECOMPLETE, Bit(letter));
        result->removals++;
    } else {
        // The disk count goes up or down: 1 lists the system disk only.
        SetDiskCount(1 + random->Next(ListedDisks));
        sender->NodesChanged();
        result->nodeChanges++;
    }
}

// After the burst: every card out, then one card in the way the system
// announces it. True when it gets its icon.
static bool AssignsAfterBurst(HWND window, char cardLetter[ReaderSlotCount])
{
    for (int slot = 0; slot < ReaderSlotCount; slot++) {
        if (cardLetter[slot])
            RemoveCard(cardLetter[slot]);
        cardLetter[slot] = 0;
    }
    // Scans also give empty slots the free letters from D on: clear D..Z.
    // The removal pass must be over before the card comes, or it would cut
    // the card's scan short.
    if (SendVolumeEvent(window, DBT_DEVICEREMOVECOMPLETE, DrivesDToZ) != 0 ||
        !WaitForPassesOf(window, 60000) || !LettersWithIcons().empty())
        return false;
    SetDiskCount(ListedDisks);
    InsertCard(ReaderSlotSD, 'F');
    cardLetter[ReaderSlotSD] = 'F';
    if (SendDeviceEvent(window, DBT_DEVNODES_CHANGED, 0) != 0 ||
        SendVolumeEvent(window, DBT_DEVICEARRIVAL, Bit('F')) != 0 ||
        !WaitForPassesOf(window, 60000))
        return false;
    std::string icon;
    return ReadDriveIcon('F', &icon, NULL, NULL) && icon == DefaultIconPath("sdico.ico") &&
           DriveMarkerExists('F');
}

// The figures once every pass tavlix started has ended and the thread
// count holds; invalid when the passes did not end.
static ProcessFigures FiguresAfterPasses(const TavlixRun &run, DWORD wantThreads)
{
    if (!WaitForTavlixPasses(run))
        return ProcessFigures();
    return SettledFigures(run.process, wantThreads, 15000);
}

TavlixSoakResult RunTavlixSoak(int events, const char *version, unsigned seed)
{
    TavlixSoakResult result;
    ClearSimulatedDisks();
    ClearIconState();
    AddNonCardDisk(SystemDiskPath, NULL);
    PlugInReader();
    TavlixRun run = StartTavlix(version);
    result.started = run.window != NULL && WaitUntilIdle(run.window, 60000);
    if (!result.started) {
        EndTavlix(&run);
        return result;
    }
    result.start = FiguresAfterPasses(run, 0);
    DWORD idleThreads = result.start.threads;

    Sender sender(run.window, true);
    SoakRandom random(seed);
    char cardLetter[ReaderSlotCount] = {0, 0, 0, 0};
    bool middleTaken = false;
    int nextSample = 0;
    while (sender.sent < events) {
        if (!middleTaken && sender.sent >= events / 2) {
            result.middle = FiguresAfterPasses(run, idleThreads);
            middleTaken = true;
        }
        if (sender.sent >= nextSample) {
            DWORD threads = ThreadCount(run.pid);
            if (threads > result.peakThreads)
                result.peakThreads = threads;
            nextSample = sender.sent + 250;
        }
        SendMixedEvent(&sender, &random, cardLetter, events - sender.sent, &result);
        if (sender.unanswered > 20 || WaitForSingleObject(run.process, 0) != WAIT_TIMEOUT)
            break; // gone or stuck: no use sending the rest
    }
    result.sent = sender.sent;
    result.unanswered = sender.unanswered;
    result.seconds = sender.Seconds();
    result.slowestMs = sender.slowestMs;
    result.end = FiguresAfterPasses(run, idleThreads);
    result.iconsAtEnd = LettersWithIcons();
    result.cardsAtEnd = LettersOf(cardLetter);

    result.runningAfter = WaitForSingleObject(run.process, 0) == WAIT_TIMEOUT &&
                          WaitUntilIdle(run.window, 30000);
    result.assignsAfter = result.runningAfter && AssignsAfterBurst(run.window, cardLetter);
    result.stopped = StopTavlixBySecondLaunch(&run);
    EndTavlix(&run);
    result.iconsLeft = LettersWithIcons();
    result.markersLeft = LettersWithMarkers();
    ClearSimulatedDisks();
    ClearIconState();
    return result;
}

static const char *YesNo(bool value)
{
    return value ? "yes" : "NO";
}

void PrintTavlixSoak(const TavlixSoakResult &result)
{
    if (!result.started) {
        printf("tavlix soak: tavlix did not come up\n");
        return;
    }
    printf("tavlix soak: %d events (%d volume arrivals, %d volume removals, %d node changes)\n",
           result.sent, result.arrivals, result.removals, result.nodeChanges);
    printf("  sent in %.2f s, %.0f events/s; slowest answer %.2f ms; not answered with 0: %d\n",
           result.seconds, result.seconds > 0 ? result.sent / result.seconds : 0.0,
           result.slowestMs, result.unanswered);
    printf("  threads at the periodic samples: at most %lu (passes in flight)\n",
           (unsigned long)result.peakThreads);
    printf("  figures once the passes have ended:\n");
    PrintFigures("start", result.start);
    PrintFigures("middle", result.middle);
    PrintFigures("end", result.end);
    printf("  after the burst: icons on '%s', cards in '%s'\n", result.iconsAtEnd.c_str(),
           result.cardsAtEnd.c_str());
    printf("  still running and answering: %s; a new card still gets its icon: %s\n",
           YesNo(result.runningAfter), YesNo(result.assignsAfter));
    printf("  second launch stopped it, both exit 0: %s\n", YesNo(result.stopped));
    printf("  left in the registry: icon keys D-Z '%s', markers '%s' (expected: none)\n",
           result.iconsLeft.c_str(), result.markersLeft.c_str());
}

// ---- morvex --------------------------------------------------------------------

static int ScanCount(const std::string &log)
{
    return (int)ReadInstallRequests(log).size();
}

static unsigned long LastScanTick(const std::string &log)
{
    std::vector<InstallRequest> requests = ReadInstallRequests(log);
    return requests.empty() ? 0 : requests.back().tick;
}

// Once the scan a quiet period brought has ended (its line), a second one,
// which a doubled timer would start right beside it, begins within a
// moment: one short wait for its line, and for its end when it came.
static void WaitOutDoubledScan(DWORD pid, size_t mark)
{
    long ended = WaitForTraceParts(pid, {"morvex: scan ", " ended: "}, mark, ScanDeadline);
    if (ended < 0)
        return;
    long doubled = WaitForTraceParts(pid, {"morvex: scan ", " begun ("}, (size_t)ended + 1, 1000);
    if (doubled >= 0)
        WaitForTraceParts(pid, {"morvex: scan ", " ended: "}, (size_t)doubled, ScanDeadline);
}

// Sends the bursts, each followed by its quiet period and the scan it
// brings; the figures of the middle one are taken.
static void SendMorvexBursts(MorvexSoakResult *result, Sender *sender, HANDLE process,
                             const std::string &log, int bursts, int arrivalsPerBurst)
{
    DWORD pid = GetProcessId(process);
    for (int burst = 0; burst < bursts; burst++) {
        int before = ScanCount(log);
        size_t mark = TraceMark();
        for (int i = 0; i < arrivalsPerBurst; i++)
            sender->Volume(DBT_DEVICEARRIVAL, 1u << (3 + i % 23)); // D..Z in turn
        DWORD lastArrival = GetTickCount();
        int afterBurst = ScanCount(log);
        result->burstScans.push_back(afterBurst - before);
        // The quiet period: the scan comes about 10 s after the last
        // arrival.
        long delay = -1;
        if (WaitForRequestsBeyond(log, (size_t)afterBurst, ScanDeadline)) {
            delay = (long)(LastScanTick(log) - lastArrival);
            WaitOutDoubledScan(pid, mark);
        }
        result->scanDelayMs.push_back(delay);
        result->quietScans.push_back(ScanCount(log) - afterBurst);
        if (burst == (bursts - 1) / 2)
            result->middle = SettledFigures(process, 0, 5000);
    }
}

MorvexSoakResult RunMorvexSoak(int bursts, int arrivalsPerBurst, bool lateCheck)
{
    MorvexSoakResult result;
    result.lateChecked = lateCheck;
    std::string folder = MakeWorkFolder("morvex-soak");
    std::string exe = CopyProgramTo(folder, "morvex.exe");
    std::string log = NewdevLogPath(folder);
    InstallNewdevRecorder(folder);
    CreateDirectoryA("C:\\windows\\zelmot", NULL);
    if (!MakeFileWithTime("C:\\windows\\zelmot\\zelmot.sys", FileTimeAtSeconds(0)) ||
        !AddDevice("USB\\VID_0E5B&PID_0A17\\SOAK1", {"USB\\VID_0E5B&PID_0A17&REV_0100"},
                   "USBSTOR", true))
        return result;

    DeleteFileA(log.c_str());
    HANDLE process = StartProgram(exe, "", true, log);
    DWORD pid = process ? GetProcessId(process) : 0;
    HWND window = pid ? WaitForWindowOfClass("MORVEX", pid, 60000) : NULL;
    result.started = window && WaitUntilIdle(window, 60000);
    if (!result.started) {
        KillProgram(process);
        return result;
    }
    result.startupScans = ScanCount(log);
    result.start = SettledFigures(process, 0, 5000);
    Sender sender(window, false);
    SendMorvexBursts(&result, &sender, process, log, bursts, arrivalsPerBurst);
    // One more quiet period after the last scan: a timer that outlived its
    // expiry would scan again within it.
    if (lateCheck) {
        int settled = ScanCount(log);
        WaitQuietSince(window, settled ? LastScanTick(log) : GetTickCount());
        result.lateScans = ScanCount(log) - settled;
    }
    result.end = SettledFigures(process, 0, 5000);
    result.sent = sender.sent;
    result.unanswered = sender.unanswered;
    result.seconds = sender.Seconds();

    PostMessageA(window, WM_COMMAND, 105, 0); // File > Exit
    result.exitCode = WaitForExit(process, 60000);
    if (result.exitCode == STILL_ACTIVE)
        KillProgram(process);
    else
        CloseHandle(process);
    return result;
}

void PrintMorvexSoak(const MorvexSoakResult &result)
{
    if (!result.started) {
        printf("morvex soak: morvex did not come up\n");
        return;
    }
    printf("morvex soak: %u bursts, %d volume arrivals sent in %.2f s; not answered with 0: %d\n",
           (unsigned)result.quietScans.size(), result.sent, result.seconds, result.unanswered);
    printf("  start-up scans: %d (expected 1)\n", result.startupScans);
    for (size_t i = 0; i < result.quietScans.size(); i++)
        printf("  burst %u: scans while sending %d, in the quiet period after it %d "
               "(expected 0 and 1), %ld ms after the last arrival\n",
               (unsigned)i + 1, result.burstScans[i], result.quietScans[i], result.scanDelayMs[i]);
    if (result.lateChecked)
        printf("  scans in a further quiet period of %lu s: %d (expected 0)\n",
               (unsigned long)(AbsenceWait / 1000), result.lateScans);
    PrintFigures("start", result.start);
    PrintFigures("middle", result.middle);
    PrintFigures("end", result.end);
    printf("  exit code after File > Exit: %lu\n", (unsigned long)result.exitCode);
}
