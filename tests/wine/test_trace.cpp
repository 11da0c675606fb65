// The trace's own start and end, in child copies of this program that call
// it as the programs do. Failures Wine never gives on its own are made by
// pointing the child's imports of the system functions at stand-ins:
// - a lock, wake event or writer thread that cannot be made switches the
//   trace off with one line that says why, and what was made is released;
// - at exit, a queue held up by a viewer that stopped reading gets its
//   second by the clock, however long each Sleep lasts (on Windows 2000
//   and XP a Sleep(10) lasts a whole tick of about 15.6 ms).
#include "harness.h"
#include "trace.h"
#include "tracereader.h"
#include <stdio.h>
#include <string.h>

static std::string ChildExe;

// ---- the child ------------------------------------------------------------

// Points every import of function from kernel32 in this program at
// replacement; returns the function it pointed at, or null when none.
static void *RedirectImport(const char *function, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    void *original = NULL;
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress);
         dll->Name; dll++) {
        if (lstrcmpiA((const char *)(base + dll->Name), "kernel32.dll") != 0)
            continue;
        IMAGE_THUNK_DATA *name = (IMAGE_THUNK_DATA *)(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slot = (IMAGE_THUNK_DATA *)(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; name++, slot++) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME *byName = (IMAGE_IMPORT_BY_NAME *)(base + name->u1.AddressOfData);
            if (strcmp((const char *)byName->Name, function) != 0)
                continue;
            DWORD was;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &was);
            original = (void *)slot->u1.Function;
            slot->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), was, &was);
        }
    }
    return original;
}

typedef BOOL(WINAPI *InitLockFn)(LPCRITICAL_SECTION, DWORD);
typedef void(WINAPI *DeleteLockFn)(LPCRITICAL_SECTION);
typedef HANDLE(WINAPI *CreateEventFn)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR);
typedef void(WINAPI *SleepFn)(DWORD);
typedef BOOL(WINAPI *CloseHandleFn)(HANDLE);

static InitLockFn RealInitLock;
static DeleteLockFn RealDeleteLock;
static CreateEventFn RealCreateEvent;
static SleepFn RealSleep;
static CloseHandleFn RealCloseHandle;
// What the trace made, and what of it was released.
static LPCRITICAL_SECTION LockMade;
static HANDLE EventMade;
static bool LockDeleted;
static bool EventClosed;

static BOOL WINAPI RecordingInitLock(LPCRITICAL_SECTION lock, DWORD spin)
{
    BOOL made = RealInitLock(lock, spin);
    if (made)
        LockMade = lock;
    return made;
}

static void WINAPI RecordingDeleteLock(LPCRITICAL_SECTION lock)
{
    if (lock == LockMade)
        LockDeleted = true;
    RealDeleteLock(lock);
}

static HANDLE WINAPI RecordingCreateEvent(LPSECURITY_ATTRIBUTES security, BOOL manual,
                                          BOOL initial, LPCSTR name)
{
    EventMade = RealCreateEvent(security, manual, initial, name);
    return EventMade;
}

static BOOL WINAPI RecordingCloseHandle(HANDLE handle)
{
    if (handle == EventMade && EventMade)
        EventClosed = true;
    return RealCloseHandle(handle);
}

static BOOL WINAPI NoLock(LPCRITICAL_SECTION, DWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}

static HANDLE WINAPI NoEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

static HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID,
                              DWORD, LPDWORD)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

// Ten times as long as asked.
static void WINAPI SlowSleep(DWORD ms)
{
    RealSleep(ms * 10);
}

// The trace started with the named part failing, then a line traced: the
// exit code has bit 0 set when a lock made was not deleted (or one not made
// was), bit 1 when an event made is still open, bit 2 when the redirection
// did not take.
static int StartFailing(const char *part)
{
    RealInitLock = (InitLockFn)RedirectImport(
        "InitializeCriticalSectionAndSpinCount",
        (void *)(strcmp(part, "lock") == 0 ? NoLock : RecordingInitLock));
    RealCreateEvent = (CreateEventFn)RedirectImport(
        "CreateEventA", (void *)(strcmp(part, "event") == 0 ? NoEvent : RecordingCreateEvent));
    RealDeleteLock = (DeleteLockFn)RedirectImport("DeleteCriticalSection",
                                                  (void *)RecordingDeleteLock);
    RealCloseHandle = (CloseHandleFn)RedirectImport("CloseHandle", (void *)RecordingCloseHandle);
    bool redirected = RealInitLock && RealCreateEvent && RealDeleteLock && RealCloseHandle &&
                      RedirectImport("CreateThread", (void *)NoThread);
    StartTrace("tracetest", 1);
    Trace("a line after the failed start");
    StopTrace(TraceDrainMs);
    bool eventOpen = EventMade && !EventClosed;
    return (LockDeleted != (LockMade != NULL)) | (eventOpen ? 2 : 0) | (redirected ? 0 : 4);
}

// Three lines behind a viewer that stopped reading after the first: the
// milliseconds StopTrace took, or 0 when the redirection did not take.
static int DrainBehindStuckViewer(void)
{
    RealSleep = (SleepFn)RedirectImport("Sleep", (void *)SlowSleep);
    if (!RealSleep)
        return 0;
    StartTrace("tracetest", 1);
    for (int i = 1; i <= 3; i++)
        Trace("line %d behind the stuck viewer", i);
    DWORD start = GetTickCount();
    StopTrace(TraceDrainMs);
    return (int)(GetTickCount() - start);
}

// ---- the tests --------------------------------------------------------------

static void test_trace_that_cannot_start(void)
{
    const struct {
        const char *part;
        const char *line;
    } cases[] = {
        {"lock", "tracetest: trace off: its lock cannot be made: error 8"},
        {"event", "tracetest: trace off: its wake event cannot be made: error 8"},
        {"thread", "tracetest: trace off: its writer thread cannot be made: error 8"},
    };
    for (const auto &c : cases) {
        size_t mark = TraceMark();
        HANDLE child = StartCommandLine("\"" + ChildExe + "\" --fail " + c.part, NULL);
        DWORD pid = child ? GetProcessId(child) : 0;
        DWORD code = FinishProgram(child, 60000);
        ok(code == 0, "%s: exit code %lu (1: lock not released, 2: event left open)", c.part,
           code);
        CheckTracedAt(__FILE__, __LINE__, pid, mark, {c.line});
        ok(WaitForTraceCaughtUp(30000), "%s: the trace did not catch up", c.part);
        std::vector<TraceLine> lines = TraceLinesFrom(mark, pid);
        ok(lines.size() == 1, "%s: %u lines, one expected", c.part, (unsigned)lines.size());
    }
}

// Last: the reader stays stuck.
static void test_exit_drain_bound_by_the_clock(void)
{
    StopTraceReader();
    ok(StartTraceReader(1), "no stuck reader");
    size_t mark = TraceMark();
    HANDLE child = StartCommandLine("\"" + ChildExe + "\" --drain", NULL);
    DWORD pid = child ? GetProcessId(child) : 0;
    DWORD ms = FinishProgram(child, 60000);
    CheckTracedAt(__FILE__, __LINE__, pid, mark, {"tracetest: line 1 behind the stuck viewer"});
    // Counted in sleeps of 10 ms, the second would have lasted ten.
    ok(ms >= TraceDrainMs - 20 && ms < 4 * TraceDrainMs,
       "the drain took %lu ms, %d by the clock expected", ms, TraceDrainMs);
}

int main(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "--fail") == 0)
        return StartFailing(argv[2]);
    if (argc >= 2 && strcmp(argv[1], "--drain") == 0)
        return DrainBehindStuckViewer();

    StartTests(argc, argv);
    ChildExe = TestFilePath("test_trace.exe");
    RUN_TEST(test_trace_that_cannot_start);
    RUN_TEST(test_exit_drain_bound_by_the_clock);
    return FinishTests();
}
