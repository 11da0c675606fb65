#include "tracereader.h"
#include <stdio.h>

static CRITICAL_SECTION Lock;
static std::vector<TraceLine> Lines;
static HANDLE Mapping;
static HANDLE BufferReady;
static HANDLE DataReady;
static HANDLE Stop;
static HANDLE Reader;
static const char *Buffer; // the writer's process id, then its text
static int StuckAfter;

static DWORD WINAPI ReadLines(LPVOID)
{
    for (int taken = 0; StuckAfter == 0 || taken < StuckAfter; taken++) {
        SetEvent(BufferReady);
        HANDLE events[2] = {DataReady, Stop};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0)
            return 0;
        TraceLine line;
        line.pid = *(const DWORD *)Buffer;
        line.text.assign(Buffer + sizeof(DWORD), strnlen(Buffer + sizeof(DWORD), 4096 - sizeof(DWORD)));
        while (!line.text.empty() && (line.text.back() == '\n' || line.text.back() == '\r'))
            line.text.pop_back();
        EnterCriticalSection(&Lock);
        Lines.push_back(line);
        LeaveCriticalSection(&Lock);
    }
    // A stuck viewer: the writers find the buffer never ready again.
    WaitForSingleObject(Stop, INFINITE);
    return 0;
}

bool StartTraceReader(int stuckAfter)
{
    static bool lockReady;
    if (Reader)
        return true;
    if (!lockReady)
        InitializeCriticalSection(&Lock);
    lockReady = true;
    StuckAfter = stuckAfter;
    Mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096,
                                 "DBWIN_BUFFER");
    if (!Mapping || GetLastError() == ERROR_ALREADY_EXISTS) {
        printf("cannot read the debug output: another reader has it\n");
        return false;
    }
    Buffer = (const char *)MapViewOfFile(Mapping, FILE_MAP_READ, 0, 0, 0);
    BufferReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_BUFFER_READY");
    DataReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_DATA_READY");
    Stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    Reader = Buffer && BufferReady && DataReady && Stop
                 ? CreateThread(NULL, 0, ReadLines, NULL, 0, NULL)
                 : NULL;
    if (!Reader) {
        printf("cannot read the debug output: error %lu\n", GetLastError());
        return false;
    }
    return true;
}

void StopTraceReader(void)
{
    if (!Reader)
        return;
    SetEvent(Stop);
    WaitForSingleObject(Reader, INFINITE);
    CloseHandle(Reader);
    Reader = NULL;
    UnmapViewOfFile(Buffer);
    for (HANDLE *handle : {&Mapping, &BufferReady, &DataReady, &Stop}) {
        CloseHandle(*handle);
        *handle = NULL;
    }
}

size_t TraceMark(void)
{
    EnterCriticalSection(&Lock);
    size_t count = Lines.size();
    LeaveCriticalSection(&Lock);
    return count;
}

std::vector<TraceLine> TraceLinesFrom(size_t from, DWORD pid, size_t to)
{
    std::vector<TraceLine> found;
    EnterCriticalSection(&Lock);
    for (size_t i = from; i < Lines.size() && i < to; i++)
        if (pid == 0 || Lines[i].pid == pid)
            found.push_back(Lines[i]);
    LeaveCriticalSection(&Lock);
    return found;
}

// Nonzero when text holds the parts one after another.
static bool HoldsInOrder(const std::string &text, const std::vector<std::string> &parts)
{
    size_t at = 0;
    for (const std::string &part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos)
            return false;
        at += part.size();
    }
    return true;
}

long WaitForTraceParts(DWORD pid, const std::vector<std::string> &parts, size_t from, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        EnterCriticalSection(&Lock);
        long at = -1;
        for (size_t i = from; i < Lines.size() && at < 0; i++)
            if ((pid == 0 || Lines[i].pid == pid) && HoldsInOrder(Lines[i].text, parts))
                at = (long)i;
        LeaveCriticalSection(&Lock);
        if (at >= 0)
            return at;
        if (GetTickCount() - start > ms)
            return -1;
        Sleep(10);
    }
}

long WaitForTrace(DWORD pid, const char *text, size_t from, DWORD ms)
{
    return WaitForTraceParts(pid, {text}, from, ms);
}

bool WaitForTraceCaughtUp(DWORD ms)
{
    // The reader takes lines one at a time, in order: this one is read only
    // after everything before it.
    static LONG count;
    char marker[64];
    snprintf(marker, sizeof(marker), "test: caught up (%ld)", InterlockedIncrement(&count));
    size_t from = TraceMark();
    OutputDebugStringA(marker);
    return WaitForTraceParts(GetCurrentProcessId(), {marker}, from, ms) >= 0;
}

void PrintTrace(size_t from, DWORD pid)
{
    for (const TraceLine &line : TraceLinesFrom(from, pid))
        printf("  [%lu] %s\n", (unsigned long)line.pid, line.text.c_str());
}
