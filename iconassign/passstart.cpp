#include <windows.h>
#include "passstart.h"
#include "passgate.h"
#include "lock.h"
#include "trace.h"

// Passes started by the window thread and not ended yet, and the lock
// that keeps the count and its trace lines in one order.
static LONG PassesRunning;
static CRITICAL_SECTION CountLock;
static int LastPassNumber;
// Each pass thread's number, for its trace lines; 0 on the window thread.
// Made by InitPasses, before any pass.
static DWORD PassNumberSlot;

void PassLabel(char *label)
{
    int number = (int)(INT_PTR)TlsGetValue(PassNumberSlot);
    wsprintfA(label, number ? "pass %d" : "exit", number);
}

// What a pass thread runs: one pass with its one integer argument.
struct PassRequest {
    void (*run)(DWORD argument);
    DWORD argument;
    int number;
};

static DWORD WINAPI PassThread(LPVOID parameter)
{
    PassRequest request = *(PassRequest *)parameter;
    HeapFree(GetProcessHeap(), 0, parameter);
    TlsSetValue(PassNumberSlot, (LPVOID)(INT_PTR)request.number);
    if (EnterPass()) {
        request.run(request.argument);
        LeavePass();
    } else {
        Trace("pass %d: not run: exit begun", request.number);
    }
    EnterCriticalSection(&CountLock);
    LONG stillRunning = --PassesRunning;
    Trace("pass %d ended (%ld still running)", request.number, stillRunning);
    LeaveCriticalSection(&CountLock);
    return 0;
}

// The request lives on the heap until the thread has read it: the window
// procedure that starts a pass does not wait for it.
PassStart StartPass(void (*run)(DWORD), DWORD argument)
{
    PassStart start = {0, PassNoMemory, 0, NULL};
    PassRequest *request =
        (PassRequest *)HeapAlloc(GetProcessHeap(), 0, sizeof(PassRequest));
    if (!request)
        return start;
    request->run = run;
    request->argument = argument;
    request->number = LastPassNumber + 1;
    EnterCriticalSection(&CountLock);
    PassesRunning++;
    LeaveCriticalSection(&CountLock);
    DWORD threadId;
    start.thread = CreateThread(NULL, 0, PassThread, request, CREATE_SUSPENDED, &threadId);
    if (!start.thread) {
        start.failure = PassNoThread;
        start.error = GetLastError();
        EnterCriticalSection(&CountLock);
        PassesRunning--;
        LeaveCriticalSection(&CountLock);
        HeapFree(GetProcessHeap(), 0, request);
        return start;
    }
    start.number = ++LastPassNumber;
    start.failure = PassReady;
    return start;
}

void RunPass(PassStart *start)
{
    if (!start->thread)
        return;
    ResumeThread(start->thread);
    CloseHandle(start->thread);
    start->thread = NULL;
}

const char *PassFailureText(PassFailure failure)
{
    switch (failure) {
    case PassReady:
        break;
    case PassNoMemory:
        return "no memory for its request";
    case PassNoThread:
        return "no thread";
    }
    return "started";
}

int InitPasses(void)
{
    PassNumberSlot = TlsAlloc();
    return PassNumberSlot != TLS_OUT_OF_INDEXES && InitLock(&CountLock);
}

void TraceIdleBroadcast(DWORD event, const char *why)
{
    EnterCriticalSection(&CountLock);
    Trace("broadcast 0x%04lx: %s (%ld passes running)", event, why, PassesRunning);
    LeaveCriticalSection(&CountLock);
}
