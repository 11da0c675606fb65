#include "trace.h"
#include <stdarg.h>
#include "tracequeue.h"

enum { ProgramNameMax = 32 };

static char Program[ProgramNameMax];
static int Queued;
// On the heap: a static one would take its 32 KiB in the program file.
static TraceQueue *Queue;
static CRITICAL_SECTION QueueLock;
static HANDLE Wake; // auto-reset: a line waits
static HANDLE Idle; // manual-reset: nothing waits, nothing is being written

// line has room for a line end after its text.
static void WriteLine(char *line)
{
    int length = lstrlenA(line);
    line[length] = '\n';
    line[length + 1] = '\0';
    OutputDebugStringA(line);
}

// The writer: the only thread that waits for a viewer.
static DWORD WINAPI WriteQueuedLines(LPVOID parameter)
{
    (void)parameter;
    char line[TraceQueueLineSize + 2];
    for (;;) {
        WaitForSingleObject(Wake, INFINITE);
        for (;;) {
            EnterCriticalSection(&QueueLock);
            int taken = TraceQueueTake(Queue, line, TraceQueueLineSize);
            if (!taken)
                SetEvent(Idle);
            LeaveCriticalSection(&QueueLock);
            if (!taken)
                break;
            WriteLine(line);
        }
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
    Idle = CreateEventA(NULL, TRUE, TRUE, NULL);
    DWORD threadId;
    HANDLE writer = Queue && Wake && Idle
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
    ResetEvent(Idle);
    LeaveCriticalSection(&QueueLock);
    SetEvent(Wake);
}

void StopTrace(DWORD ms)
{
    if (Queued > 0)
        WaitForSingleObject(Idle, ms);
}
