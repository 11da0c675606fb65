// The trace's own start and end, and the recorder's, in child copies of
// this program that call them as the programs do. Failures Wine never gives
// on its own are made by pointing the child's imports of the system
// functions at stand-ins:
// - a lock, wake event or writer thread that cannot be made switches the
//   trace off with one line that says why, and what was made is released;
// - at exit, a queue held up by a viewer that stopped reading gets its
//   second by the clock, however long each Sleep lasts (on Windows 2000
//   and XP a Sleep(10) lasts a whole tick of about 15.6 ms);
// - whichever part of the recorder cannot be made, what was made before it
//   is released, the last made first, and nothing is left: a reader after
//   it finds the debug output free.
#include "harness.h"
#include "redirectimport.h"
#include "recorder.h"
#include "trace.h"
#include "tracereader.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static std::string ChildExe;

// ---- the child ------------------------------------------------------------

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

// ---- the recorder's parts ---------------------------------------------------------

typedef HANDLE(WINAPI *CreateMappingFn)(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD,
                                        LPCSTR);
typedef LPVOID(WINAPI *MapViewFn)(HANDLE, DWORD, DWORD, DWORD, SIZE_T);
typedef BOOL(WINAPI *UnmapViewFn)(LPCVOID);
typedef HANDLE(WINAPI *CreateThreadFn)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                       LPVOID, DWORD, LPDWORD);

static CreateMappingFn RealCreateMapping;
static MapViewFn RealMapView;
static UnmapViewFn RealUnmapView;
static CreateThreadFn RealCreateThread;
// The parts the recorder makes, in the order it makes them; the one made
// as number FailAt (from 1) fails instead.
static int FailAt;
static int Tried;
static std::vector<std::pair<const void *, std::string>> Made;
static std::vector<std::string> Released;

// Whether the next part is to fail; the failure says why, as Windows does.
static bool NextFails(void)
{
    if (++Tried != FailAt)
        return false;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return true;
}

static const void *Note(const void *part, const char *name)
{
    if (part)
        Made.push_back({part, name});
    return part;
}

static void NoteRelease(const void *part)
{
    for (const auto &made : Made)
        if (made.first == part && part)
            Released.push_back(made.second);
}

static HANDLE WINAPI PartMapping(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect,
                                 DWORD high, DWORD low, LPCSTR name)
{
    return (HANDLE)Note(RealCreateMapping(file, security, protect, high, low, name), "section");
}

static LPVOID WINAPI PartView(HANDLE section, DWORD access, DWORD high, DWORD low, SIZE_T size)
{
    return NextFails() ? NULL : (LPVOID)Note(RealMapView(section, access, high, low, size), "view");
}

static BOOL WINAPI ReleaseView(LPCVOID view)
{
    NoteRelease(view);
    return RealUnmapView(view);
}

static BOOL WINAPI PartLock(LPCRITICAL_SECTION lock, DWORD spin)
{
    return !NextFails() && Note(RealInitLock(lock, spin) ? lock : NULL, "lock");
}

static void WINAPI ReleaseLock(LPCRITICAL_SECTION lock)
{
    NoteRelease(lock);
    RealDeleteLock(lock);
}

static HANDLE WINAPI PartEvent(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial,
                               LPCSTR name)
{
    const char *part = name ? name : manual ? "stop event" : "wake event";
    return NextFails() ? NULL : (HANDLE)Note(RealCreateEvent(security, manual, initial, name), part);
}

static HANDLE WINAPI PartThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                LPDWORD id)
{
    if (NextFails())
        return NULL;
    HANDLE thread = RealCreateThread(security, stack, start, parameter, flags, id);
    static int threads;
    return (HANDLE)Note(thread, ++threads == 1 ? "writer thread" : "reader thread");
}

static BOOL WINAPI ReleaseHandle(HANDLE handle)
{
    NoteRelease(handle);
    return RealCloseHandle(handle);
}

static bool RedirectRecorderParts(void)
{
    RealCreateMapping = (CreateMappingFn)RedirectImport("CreateFileMappingA", (void *)PartMapping);
    RealMapView = (MapViewFn)RedirectImport("MapViewOfFile", (void *)PartView);
    RealUnmapView = (UnmapViewFn)RedirectImport("UnmapViewOfFile", (void *)ReleaseView);
    RealInitLock = (InitLockFn)RedirectImport("InitializeCriticalSectionAndSpinCount",
                                              (void *)PartLock);
    RealDeleteLock = (DeleteLockFn)RedirectImport("DeleteCriticalSection", (void *)ReleaseLock);
    RealCreateEvent = (CreateEventFn)RedirectImport("CreateEventA", (void *)PartEvent);
    RealCreateThread = (CreateThreadFn)RedirectImport("CreateThread", (void *)PartThread);
    RealCloseHandle = (CloseHandleFn)RedirectImport("CloseHandle", (void *)ReleaseHandle);
    return RealCreateMapping && RealMapView && RealUnmapView && RealInitLock &&
           RealDeleteLock && RealCreateEvent && RealCreateThread && RealCloseHandle;
}

// The recorder started (and stopped, when it started) with part number
// failAt failing (0: none): the exit code is 0 when every part made was
// released, the last made first; 1 when not (the two lists are printed),
// 2 when the start did not end as it should, 3 when the redirection did
// not take.
static int RecordFailing(int failAt)
{
    FailAt = failAt;
    if (!RedirectRecorderParts())
        return 3;
    if (ClaimDebugOutput() != ClaimDone)
        return 2;
    HANDLE file = CreateFileA("NUL", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    int started = StartRecording(file);
    if (started)
        StopRecording();
    RealCloseHandle(file);
    if (started != (failAt == 0))
        return 2;
    std::vector<std::string> made;
    for (auto part = Made.rbegin(); part != Made.rend(); ++part)
        made.push_back(part->second);
    if (made == Released)
        return 0;
    for (const std::string &part : made)
        printf("made %s\n", part.c_str());
    for (const std::string &part : Released)
        printf("released %s\n", part.c_str());
    return 1;
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

// Each part of the recorder failing in turn, then none: made in the order
// the list gives, released in the reverse one. The test's own reader is
// stopped meanwhile, as the recorder must be the session's reader; once a
// child has ended, another reader can have the debug output again.
static void test_recorder_parts_released(void)
{
    const char *parts[] = {"none", "view", "lock", "wake event", "writer thread",
                           "stop event", "DBWIN_BUFFER_READY", "DBWIN_DATA_READY",
                           "reader thread"};
    StopTraceReader();
    for (int failAt = 0; failAt < (int)(sizeof(parts) / sizeof(parts[0])); failAt++) {
        HANDLE child = StartCommandLine("\"" + ChildExe + "\" --record " +
                                            std::to_string(failAt),
                                        NULL);
        DWORD code = FinishProgram(child, 60000);
        ok(code == 0, "%s failing: exit code %lu (1: not released in reverse, 2: the start "
           "did not end so, 3: no redirection)", parts[failAt], code);
        ok(StartTraceReader(), "%s failing: the debug output is still held", parts[failAt]);
        StopTraceReader();
    }
    ok(StartTraceReader(), "the test's reader");
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
    if (argc >= 3 && strcmp(argv[1], "--record") == 0)
        return RecordFailing(atoi(argv[2]));

    StartTests(argc, argv);
    ChildExe = TestFilePath("test_trace.exe");
    RUN_TEST(test_trace_that_cannot_start);
    RUN_TEST(test_recorder_parts_released);
    RUN_TEST(test_exit_drain_bound_by_the_clock);
    return FinishTests();
}
