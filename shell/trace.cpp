#include "trace.h"
#include <stdarg.h>
#include "tracequeue.h"

enum { ProgramNameMax = 32 };

static char Program[ProgramNameMax];
static int Queued;
// On the heap: a static one would take its 32 KiB in the program file.
static TraceQueue *Queue;
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
        WriterBusy = TraceQueueTake(Queue, line, TraceQueueLineSize);
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
    InitializeCriticalSection(&QueueLock);
    Queue = (TraceQueue *)HeapAlloc(GetProcessHeap(), 0, sizeof(TraceQueue));
    if (Queue)
        TraceQueueInit(Queue, Program);
    Wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    DWORD threadId;
    HANDLE writer = Queue && Wake
                        ? CreateThread(NULL, 0, WriteQueuedLines, NULL, 0, &threadId)
                        : NULL;
    // Without a writer lines would pile up unwritten; writing them on the
    // caller's thread could hold it up. The program then traces nothing.
    Queued = writer ? 1 : -1;
    if (writer)
        CloseHandle(writer);
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
    TraceQueuePut(Queue, line);
    int wake = WriterWaits;
    WriterWaits = 0;
    LeaveCriticalSection(&QueueLock);
    if (wake)
        SetEvent(Wake);
}

// At exit only, so a short poll costs nothing while the program runs.
void StopTrace(DWORD ms)
{
    if (Queued <= 0)
        return;
    for (DWORD waited = 0;; waited += 10) {
        EnterCriticalSection(&QueueLock);
        int done = TraceQueueEmpty(Queue) && !WriterBusy;
        LeaveCriticalSection(&QueueLock);
        if (done || waited >= ms)
            return;
        Sleep(10);
    }
}
