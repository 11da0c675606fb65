#include "recorder.h"
#include "recordline.h"
#include "tracehandover.h"

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
static HANDLE File;

// Zero-filled statics: they cost the program file nothing.
static char RingStorage[RecordSlots][RecordLineSize];
static TraceRing Ring;
static TraceHandOver Hand;
static char Taken[RecordLineSize];
// Counted by the reader alone; read for a trace line.
static volatile LONG Recorded;
static volatile LONG LeftOut;
static DWORD WriteError;

// The section and the events are open to every account of the session
// (a null access list, as debug viewers make them): a kit program that
// runs as another user, or raised, writes its lines too. Without it the
// default list would admit this account alone, and their lines would be
// dropped unseen.
static SECURITY_DESCRIPTOR OpenToAll;
static SECURITY_ATTRIBUTES OpenToAllAttributes;
// The attributes all three are made with; null (the default list) only if
// the descriptor could not be made.
static SECURITY_ATTRIBUTES *Security;

static SECURITY_ATTRIBUTES *OpenToAllAccounts(void)
{
    if (!InitializeSecurityDescriptor(&OpenToAll, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&OpenToAll, TRUE, NULL, FALSE))
        return NULL;
    OpenToAllAttributes.nLength = sizeof(OpenToAllAttributes);
    OpenToAllAttributes.lpSecurityDescriptor = &OpenToAll;
    return &OpenToAllAttributes;
}

ClaimResult ClaimDebugOutput(void)
{
    Security = OpenToAllAccounts();
    SetLastError(0);
    Section = CreateFileMappingA(INVALID_HANDLE_VALUE, Security, PAGE_READWRITE, 0,
                                 DbwinBufferSize, "DBWIN_BUFFER");
    // Another account's viewer (or one with more rights) made it for its
    // own account alone.
    if (!Section)
        return GetLastError() == ERROR_ACCESS_DENIED ? ClaimLockedReader : ClaimFailed;
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
    union {
        SYSTEMTIME system;
        RecordTime record;
    } now;
    static_assert(sizeof(RecordTime) == sizeof(SYSTEMTIME) &&
                      __builtin_offsetof(RecordTime, milliseconds) ==
                          __builtin_offsetof(SYSTEMTIME, wMilliseconds),
                  "a record's time is read as the system gives it");
    GetLocalTime(&now.system);
    *time = now.record;
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
        HandOver(&Hand, record);
    }
}

static void WriteRecord(const char *record)
{
    DWORD length = lstrlenA(record);
    DWORD written = 0;
    if (WriteError == 0 && (!WriteFile(File, record, length, &written, NULL) || written != length))
        WriteError = GetLastError();
}

// A drop note is the recorder's own line, as of now.
static void WriteTaken(char *taken, TraceTaken what)
{
    if (what == TraceTakenDropNote) {
        char note[RecordLineSize];
        RecordTime time;
        LocalRecordTime(&time);
        FormatRecordLine(&time, GetCurrentProcessId(), taken, RecordLineSize, note,
                         sizeof(note));
        WriteRecord(note);
    } else {
        WriteRecord(taken);
    }
}

static void CloseIfOpen(HANDLE *handle)
{
    if (*handle)
        CloseHandle(*handle);
    *handle = NULL;
}

// Releases what StartRecording made, the last made first; what was not
// made is null. The events go before the hand-over: writers that find none
// of them go on at once, as when no viewer runs, and none waits any more
// for a reader that ended. The section goes last.
static void ReleaseRecording(void)
{
    if (Reader) {
        SetEvent(StopReading);
        WaitForSingleObject(Reader, INFINITE);
    }
    CloseIfOpen(&Reader);
    CloseIfOpen(&DataReady);
    CloseIfOpen(&BufferReady);
    CloseIfOpen(&StopReading);
    if (Hand.writer)
        StopHandOver(&Hand);
    if (Buffer)
        UnmapViewOfFile(Buffer);
    Buffer = NULL;
    ReleaseDebugOutput();
}

int StartRecording(HANDLE file)
{
    File = file;
    TraceRingInit(&Ring, "kittrace", &RingStorage[0][0], RecordSlots, RecordLineSize);
    Hand.ring = &Ring;
    Hand.write = WriteTaken;
    Hand.taken = Taken;
    Hand.takenSize = sizeof(Taken);
    // Each part is made once the one before it is; the reader, which makes
    // writers wait for it, last.
    Buffer = (const char *)MapViewOfFile(Section, FILE_MAP_READ, 0, 0, 0);
    if (Buffer && StartHandOver(&Hand) == HandOverMade)
        StopReading = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (StopReading)
        BufferReady = CreateEventA(Security, FALSE, FALSE, "DBWIN_BUFFER_READY");
    if (BufferReady)
        DataReady = CreateEventA(Security, FALSE, FALSE, "DBWIN_DATA_READY");
    DWORD threadId;
    if (DataReady)
        Reader = CreateThread(NULL, 0, ReadDebugOutput, NULL, 0, &threadId);
    if (Reader)
        return 1;
    DWORD error = GetLastError();
    ReleaseRecording();
    SetLastError(error);
    return 0;
}

void StopRecording(void)
{
    ReleaseRecording();
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
