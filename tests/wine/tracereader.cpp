#include "tracereader.h"
#include <stdio.h>

static CRITICAL_SECTION Lock;
static std::vector<TraceLine> Lines;
static HANDLE BufferReady;
static HANDLE DataReady;
static const char *Buffer; // the writer's process id, then its text
static int StuckAfter;

static DWORD WINAPI ReadLines(LPVOID)
{
    for (int taken = 0; StuckAfter == 0 || taken < StuckAfter; taken++) {
        SetEvent(BufferReady);
        WaitForSingleObject(DataReady, INFINITE);
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
    Sleep(INFINITE);
    return 0;
}

bool StartTraceReader(int stuckAfter)
{
    static bool started;
    if (started)
        return true;
    started = true;
    InitializeCriticalSection(&Lock);
    StuckAfter = stuckAfter;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096,
                                        "DBWIN_BUFFER");
    if (!mapping || GetLastError() == ERROR_ALREADY_EXISTS) {
        printf("cannot read the debug output: another reader has it\n");
        return false;
    }
    Buffer = (const char *)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    BufferReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_BUFFER_READY");
    DataReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_DATA_READY");
    HANDLE reader = Buffer && BufferReady && DataReady
                        ? CreateThread(NULL, 0, ReadLines, NULL, 0, NULL)
                        : NULL;
    if (!reader) {
        printf("cannot read the debug output: error %lu\n", GetLastError());
        return false;
    }
    CloseHandle(reader);
    return true;
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

long WaitForTrace(DWORD pid, const char *text, size_t from, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        EnterCriticalSection(&Lock);
        long at = -1;
        for (size_t i = from; i < Lines.size() && at < 0; i++)
            if ((pid == 0 || Lines[i].pid == pid) && Lines[i].text.find(text) != std::string::npos)
                at = (long)i;
        LeaveCriticalSection(&Lock);
        if (at >= 0)
            return at;
        if (GetTickCount() - start > ms)
            return -1;
        Sleep(10);
    }
}

void PrintTrace(size_t from, DWORD pid)
{
    for (const TraceLine &line : TraceLinesFrom(from, pid))
        printf("  [%lu] %s\n", (unsigned long)line.pid, line.text.c_str());
}
