#include "trace.h"
#include <stdarg.h>
#include "tracehandover.h"

enum { ProgramNameMax = 32 };

static char Program[ProgramNameMax];
// 0: each line is written at once; 1: queued; -1: the trace is off.
static int Queued;
// Zero-filled, so it takes memory only as the program runs, not room in the
// program file.
static TraceQueue Queue;
static TraceHandOver Hand;
// The writer's line, with room for a line end after its text.
static char Taken[TraceQueueLineSize + 2];

static void WriteLine(char *line)
{
    int length = lstrlenA(line);
    line[length] = '\n';
    line[length + 1] = '\0';
    OutputDebugStringA(line);
}

// A drop note is written as a line of the program.
static void WriteTaken(char *taken, TraceTaken what)
{
    (void)what;
    WriteLine(taken);
}

void StartTrace(const char *program, int queued)
{
    for (int i = 0; i < ProgramNameMax - 1 && program[i] != '\0'; i++)
        Program[i] = program[i];
    if (!queued)
        return;
    TraceQueueInit(&Queue, Program);
    Hand.ring = &Queue.ring;
    Hand.write = WriteTaken;
    Hand.taken = Taken;
    Hand.takenSize = TraceQueueLineSize;
    HandOverPart failed = StartHandOver(&Hand);
    if (failed == HandOverMade) {
        // The writer runs as long as the program.
        CloseHandle(Hand.writer);
        Queued = 1;
        return;
    }
    DWORD error = GetLastError();
    static const char *const Parts[] = {"lock", "wake event", "writer thread"};
    // Without a writer, lines would pile up unwritten, and writing them on
    // the callers' threads could hold those up: this one line is written at
    // once, and no other. The number alone keeps the system's texts out of
    // programs that have no other use for them.
    Trace("trace off: its %s cannot be made: error %lu", Parts[failed - 1], error);
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
    if (Queued)
        HandOver(&Hand, line);
    else
        WriteLine(line);
}

// At exit only, so a short poll costs nothing while the program runs. The
// bound is kept by the clock: a Sleep lasts at least a scheduler tick,
// about 15.6 ms on Windows 2000 and XP, so counting sleeps would not.
void StopTrace(DWORD ms)
{
    if (Queued <= 0)
        return;
    DWORD start = GetTickCount();
    while (!HandOverDone(&Hand) && GetTickCount() - start < ms)
        Sleep(10);
}
