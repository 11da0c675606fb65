#include "trace.h"
#include <stdarg.h>
#include "lock.h"
#include "tracequeue.h"

enum { ProgramNameMax = 32 };

static char Program[ProgramNameMax];
// 0: each line is written at once; 1: queued; -1: the trace is off.
static int Queued;
// Zero-filled, so it takes memory only as the program runs, not room in the
// program file.
static TraceQueue Queue;
static CRITICAL_SECTION QueueLock;
static HANDLE Wake;      // auto-reset: a line waits
static int WriterWaits;  // the writer sleeps on Wake: the next line wakes it
static int WriterBusy;   // the writer writes a line it has taken

// line has room for a line end after its text.
static void WriteLine(char *line)
{
    int length = lstrlenA(line);
    line[length] = '\n';
    line[length + 1] = '\0';
    OutputDebugStringA(line);
}

// The writer: the only thread that waits for a viewer. Waking it costs a
// call into the system, so a caller makes it only when the writer sleeps.
static DWORD WINAPI WriteQueuedLines(LPVOID parameter)
{
    (void)parameter;
    char line[TraceQueueLineSize + 2];
    for (;;) {
        EnterCriticalSection(&QueueLock);
        WriterBusy = TraceQueueTake(&Queue, line, TraceQueueLineSize);
        WriterWaits = !WriterBusy;
        LeaveCriticalSection(&QueueLock);
        if (WriterBusy)
            WriteLine(line);
        else
            WaitForSingleObject(Wake, INFINITE);
    }
}

void StartTrace(const char *program, int queued)
{
    for (int i = 0; i < ProgramNameMax - 1 && program[i] != '\0'; i++)
        Program[i] = program[i];
    if (!queued)
        return;
    TraceQueueInit(&Queue, Program);
    static const char *const Parts[] = {"lock", "wake event", "writer thread"};
    int made = 0; // of Parts, in this order
    HANDLE writer = NULL;
    if (InitLock(&QueueLock)) {
        made = 1;
        Wake = CreateEventA(NULL, FALSE, FALSE, NULL);
        if (Wake) {
            made = 2;
            DWORD threadId;
            writer = CreateThread(NULL, 0, WriteQueuedLines, NULL, 0, &threadId);
        }
    }
    if (writer) {
        CloseHandle(writer);
        Queued = 1;
        return;
    }
    DWORD error = GetLastError();
    if (made == 2)
        CloseHandle(Wake);
    if (made >= 1)
        DeleteCriticalSection(&QueueLock);
    // Without a writer, lines would pile up unwritten, and writing them on
    // the callers' threads could hold those up: this one line is written at
    // once, and no other. The number alone keeps the system's texts out of
    // programs that have no other use for them.
    Trace("trace off: its %s cannot be made: error %lu", Parts[made], error);
    Queued = -1;
}

void Trace(const char *format, ...)
{
    if (Queued < 0)
        return;
    // The name, ": ", what wvsprintfA writes (1024 bytes at most) and the
    // line end.
    char line[ProgramNameMax + 2 + 1024 + 1];
    int used = lstrlenA(Program);
    CopyMemory(line, Program, used);
    line[used++] = ':';
    line[used++] = ' ';
    va_list args;
    va_start(args, format);
    wvsprintfA(line + used, format, args);
    va_end(args);
    if (!Queued) {
        WriteLine(line);
        return;
    }
    EnterCriticalSection(&QueueLock);
    TraceQueuePut(&Queue, line);
    int wake = WriterWaits;
    WriterWaits = 0;
    LeaveCriticalSection(&QueueLock);
    if (wake)
        SetEvent(Wake);
}

// At exit only, so a short poll costs nothing while the program runs. The
// bound is kept by the clock: a Sleep lasts at least a scheduler tick,
// about 15.6 ms on Windows 2000 and XP, so counting sleeps would not.
void StopTrace(DWORD ms)
{
    if (Queued <= 0)
        return;
    DWORD start = GetTickCount();
    for (;;) {
        EnterCriticalSection(&QueueLock);
        int done = TraceQueueEmpty(&Queue) && !WriterBusy;
        LeaveCriticalSection(&QueueLock);
        if (done || GetTickCount() - start >= ms)
            return;
        Sleep(10);
    }
}
