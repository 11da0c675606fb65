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
static HANDLE Followed;   // kittrace's file
static HANDLE FollowStop;
static HANDLE Follower;

// Ready before main: a test that reads no trace may still ask for its mark.
static struct LockSetUp {
    LockSetUp() { InitializeCriticalSection(&Lock); }
} lockSetUp;

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
    if (Reader)
        return true;
    StuckAfter = stuckAfter;
    Mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096,
                                 "DBWIN_BUFFER");
    if (!Mapping || GetLastError() == ERROR_ALREADY_EXISTS) {
        printf("cannot read the debug output: another reader has it\n");
        // The other reader's section: a handle kept would keep it after
        // that reader ends, and the next reader would be refused.
        if (Mapping)
            CloseHandle(Mapping);
        Mapping = NULL;
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

// A record of kittrace's file as a line of its process; false for the
// file's first line.
static bool ParseRecord(const std::string &record, TraceLine *line)
{
    unsigned long pid = 0;
    int textAt = -1;
    if (sscanf(record.c_str(), "%*2u:%*2u:%*2u.%*3u [%lu] %n", &pid, &textAt) < 1 || textAt < 0)
        return false;
    line->pid = (DWORD)pid;
    line->text = record.substr((size_t)textAt);
    return true;
}

// Reads what the file holds beyond what was read; whole records only.
static void ReadRecords(std::string *pending)
{
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(Followed, chunk, sizeof(chunk), &got, NULL) && got > 0) {
        pending->append(chunk, got);
        size_t end;
        while ((end = pending->find("\r\n")) != std::string::npos) {
            TraceLine line;
            if (ParseRecord(pending->substr(0, end), &line)) {
                EnterCriticalSection(&Lock);
                Lines.push_back(line);
                LeaveCriticalSection(&Lock);
            }
            pending->erase(0, end + 2);
        }
    }
}

static DWORD WINAPI FollowRecords(LPVOID)
{
    std::string pending;
    for (;;) {
        bool stop = WaitForSingleObject(FollowStop, 10) == WAIT_OBJECT_0;
        ReadRecords(&pending);
        if (stop)
            return 0;
    }
}

bool FollowRecordFile(const std::string &path)
{
    if (Follower)
        return true;
    Followed = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (Followed == INVALID_HANDLE_VALUE) {
        printf("cannot follow %s: error %lu\n", path.c_str(), GetLastError());
        Followed = NULL;
        return false;
    }
    FollowStop = CreateEventA(NULL, TRUE, FALSE, NULL);
    Follower = CreateThread(NULL, 0, FollowRecords, NULL, 0, NULL);
    return Follower != NULL;
}

void StopFollowingRecordFile(void)
{
    if (!Follower)
        return;
    SetEvent(FollowStop);
    WaitForSingleObject(Follower, INFINITE);
    for (HANDLE *handle : {&Follower, &FollowStop, &Followed}) {
        CloseHandle(*handle);
        *handle = NULL;
    }
}
