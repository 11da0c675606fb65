#include "recorder.h"
#include "lock.h"
#include "recordline.h"
#include "tracequeue.h"

// The section: the writer's process id, then its text.
enum { DbwinBufferSize = 4096, DbwinTextSize = DbwinBufferSize - sizeof(DWORD) };
// A record: time, process id and a line of the kit (vorbind's longest are
// about 1100 characters). Lines that do not fit are cut.
enum { RecordLineSize = 1280, RecordSlots = 256 };

static HANDLE Section;
static const char *Buffer;
static HANDLE BufferReady; // auto-reset: a writer may put its line
static HANDLE DataReady;   // auto-reset: a line waits in the buffer
static HANDLE StopReading; // manual reset
static HANDLE Reader;
static HANDLE Writer;
static HANDLE File;

// Zero-filled statics: they cost the program file nothing.
static char RingStorage[RecordSlots][RecordLineSize];
static TraceRing Ring;
static CRITICAL_SECTION RingLock;
static HANDLE Wake;          // auto-reset: a record waits
static int WriterWaits;      // the writer sleeps on Wake
static int WriterStops;      // write what is left, then end
// Counted by the reader alone; read for a trace line.
static volatile LONG Recorded;
static volatile LONG LeftOut;
static DWORD WriteError;

ClaimResult ClaimDebugOutput(void)
{
    SetLastError(0);
    Section = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                 DbwinBufferSize, "DBWIN_BUFFER");
    if (!Section)
        return ClaimFailed;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another viewer's section: closing this handle is all it sees.
        CloseHandle(Section);
        Section = NULL;
        return ClaimOtherReader;
    }
    return ClaimDone;
}

void ReleaseDebugOutput(void)
{
    if (Section)
        CloseHandle(Section);
    Section = NULL;
}

static void LocalRecordTime(RecordTime *time)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    time->year = now.wYear;
    time->month = now.wMonth;
    time->day = now.wDay;
    time->hour = now.wHour;
    time->minute = now.wMinute;
    time->second = now.wSecond;
    time->milliseconds = now.wMilliseconds;
}

static void Hand(const char *record)
{
    EnterCriticalSection(&RingLock);
    TraceRingPut(&Ring, record);
    int wake = WriterWaits;
    WriterWaits = 0;
    LeaveCriticalSection(&RingLock);
    if (wake)
        SetEvent(Wake);
}

// Takes each line at once: it formats a kit line, hands it on and frees the
// buffer for the next writer; it never waits for the file.
static DWORD WINAPI ReadDebugOutput(LPVOID parameter)
{
    (void)parameter;
    char record[RecordLineSize];
    // Lines that came before the stop come first: DataReady is the first
    // handle, and a wait reports the first one signalled.
    HANDLE events[2] = {DataReady, StopReading};
    for (;;) {
        SetEvent(BufferReady);
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0)
            return 0;
        const char *text = Buffer + sizeof(DWORD);
        if (!IsKitLine(text, DbwinTextSize)) {
            InterlockedIncrement(&LeftOut);
            continue;
        }
        InterlockedIncrement(&Recorded);
        RecordTime time;
        LocalRecordTime(&time);
        FormatRecordLine(&time, *(const DWORD *)Buffer, text, DbwinTextSize, record,
                         sizeof(record));
        Hand(record);
    }
}

static void WriteRecord(const char *record)
{
    DWORD length = lstrlenA(record);
    DWORD written = 0;
    if (WriteError == 0 && (!WriteFile(File, record, length, &written, NULL) || written != length))
        WriteError = GetLastError();
}

// Writes records as they come; sleeps while none waits.
static DWORD WINAPI WriteRecords(LPVOID parameter)
{
    (void)parameter;
    char taken[RecordLineSize];
    char note[RecordLineSize];
    for (;;) {
        EnterCriticalSection(&RingLock);
        TraceTaken what = TraceRingTake(&Ring, taken, sizeof(taken));
        WriterWaits = what == TraceTakenNothing;
        int stops = WriterStops;
        LeaveCriticalSection(&RingLock);
        if (what == TraceTakenLine) {
            WriteRecord(taken);
        } else if (what == TraceTakenDropNote) {
            // The note is the recorder's own line, as of now.
            RecordTime time;
            LocalRecordTime(&time);
            FormatRecordLine(&time, GetCurrentProcessId(), taken, sizeof(taken), note,
                             sizeof(note));
            WriteRecord(note);
        } else if (stops) {
            return 0;
        } else {
            WaitForSingleObject(Wake, INFINITE);
        }
    }
}

static void CloseIfOpen(HANDLE *handle)
{
    if (*handle)
        CloseHandle(*handle);
    *handle = NULL;
}

// Lets the writer write what is left, and waits for its end.
static void StopWriter(void)
{
    EnterCriticalSection(&RingLock);
    WriterStops = 1;
    int wake = WriterWaits;
    WriterWaits = 0;
    LeaveCriticalSection(&RingLock);
    if (wake)
        SetEvent(Wake);
    WaitForSingleObject(Writer, INFINITE);
    CloseIfOpen(&Writer);
}

// The section and the events go first: writers that find none of them go
// on at once, as when no viewer runs.
static void CloseDebugOutput(void)
{
    CloseIfOpen(&BufferReady);
    CloseIfOpen(&DataReady);
    if (Buffer)
        UnmapViewOfFile(Buffer);
    Buffer = NULL;
    ReleaseDebugOutput();
}

int StartRecording(HANDLE file)
{
    File = file;
    Buffer = (const char *)MapViewOfFile(Section, FILE_MAP_READ, 0, 0, 0);
    TraceRingInit(&Ring, "kittrace", &RingStorage[0][0], RecordSlots, RecordLineSize);
    int ready = InitLock(&RingLock);
    Wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    StopReading = CreateEventA(NULL, TRUE, FALSE, NULL);
    BufferReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_BUFFER_READY");
    DataReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_DATA_READY");
    ready = ready && Buffer && Wake && StopReading && BufferReady && DataReady;
    DWORD threadId;
    Writer = ready ? CreateThread(NULL, 0, WriteRecords, NULL, 0, &threadId) : NULL;
    Reader = Writer ? CreateThread(NULL, 0, ReadDebugOutput, NULL, 0, &threadId) : NULL;
    if (Reader)
        return 1;
    // Without a reader, writers must not find the events: they would wait
    // for a buffer that never becomes ready.
    CloseDebugOutput();
    if (Writer)
        StopWriter();
    CloseIfOpen(&StopReading);
    CloseIfOpen(&Wake);
    return 0;
}

void StopRecording(void)
{
    SetEvent(StopReading);
    WaitForSingleObject(Reader, INFINITE);
    CloseIfOpen(&Reader);
    CloseDebugOutput();
    StopWriter();
    CloseIfOpen(&StopReading);
    CloseIfOpen(&Wake);
}

unsigned long RecordedLines(void)
{
    return (unsigned long)Recorded;
}

unsigned long LeftOutLines(void)
{
    return (unsigned long)LeftOut;
}

DWORD RecordWriteError(void)
{
    return WriteError;
}
