// kittrace: records the kit's trace to a file while the user shows the
// problem. Its message box is its whole interface: OK ends the recording.
//   kittrace [FILE]    FILE defaults to cardkit-trace.txt on the desktop
#include <windows.h>
#include <shlobj.h>
#include <stdarg.h>
#include "errortext.h"
#include "recorder.h"
#include "recordheader.h"
#include "recordpath.h"
#include "structsizes.h"
#include "trace.h"

// Why nothing is recorded.
enum Refusal {
    RefusedDesktop,     // the desktop folder cannot be had
    RefusedOtherReader, // another viewer reads the debug output
    RefusedNoReading,   // the debug output cannot be read
    RefusedFile,        // the file cannot be written (or not named)
};

// The box, with a text of up to 1024 characters (all wsprintfA writes).
static void Tell(UINT icon, const char *format, ...)
{
    char text[1025];
    va_list args;
    va_start(args, format);
    wvsprintfA(text, format, args);
    va_end(args);
    MessageBoxA(NULL, text, "Card Reader Kit trace", MB_OK | MB_SETFOREGROUND | icon);
}

// What the trace (after "start: no recording: ") and the box say, for each
// refusal: each text takes the path (or what else it names), then the
// system's error text.
struct RefusalText {
    const char *trace;
    const char *box;
};
static const RefusalText RefusalTexts[] = {
    {"no desktop folder%s: %s",
     "No trace is recorded: the desktop folder cannot be found%s.\n\n%s"},
    {"another debug-output viewer%s reads this session's debug output",
     "Another debug-output viewer%s already reads the programs' messages: no trace is "
     "recorded.\n\nClose that viewer, or take the trace with it."},
    {"the debug output cannot be read%s: %s",
     "No trace is recorded: the programs' messages cannot be read%s.\n\n%s"},
    {"%s cannot be written: %s",
     "The trace cannot be written to\n\n%s\n\n%s\n\nStart it with a file in a folder "
     "you can write to."},
};

static int Refuse(Refusal refusal, const char *what, const char *reason)
{
    char line[1025];
    wsprintfA(line, RefusalTexts[refusal].trace, what, reason);
    Trace("start: no recording: %s", line);
    Tell(refusal == RefusedOtherReader ? MB_ICONWARNING : MB_ICONERROR,
         RefusalTexts[refusal].box, what, reason);
    return 1;
}

// The file, made anew with its first line. INVALID_HANDLE_VALUE when it
// cannot be written; *error then says why.
static HANDLE OpenRecordFile(const char *path, DWORD *error)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    *error = GetLastError();
    if (file == INVALID_HANDLE_VALUE)
        return file;
    char header[RecordHeaderSize];
    unsigned length = FormatRecordHeader(header);
    DWORD written = 0;
    if (WriteFile(file, header, length, &written, NULL) && written == length)
        return file;
    *error = GetLastError();
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

// The file: the argument's, or the one on the desktop. Nonzero when there
// is none to write to; the user has been told why.
static int RefusePath(const char *argumentText, char *path)
{
    char reason[ErrorTextSize];
    RecordArgument argument = ParseRecordArgument(argumentText, path, MAX_PATH);
    if (argument != RecordArgumentPath && argument != RecordArgumentNone) {
        // A name that cannot be a file's, in the system's words.
        FormatErrorText(argument == RecordArgumentTooLong ? ERROR_FILENAME_EXCED_RANGE
                                                          : ERROR_INVALID_NAME,
                        reason, sizeof(reason));
        return Refuse(RefusedFile, argumentText, reason);
    }
    if (argument == RecordArgumentPath)
        return 0;
    char desktop[MAX_PATH];
    BOOL found = SHGetSpecialFolderPathA(NULL, desktop, CSIDL_DESKTOPDIRECTORY, TRUE);
    DWORD error = found ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    if (found && JoinRecordPath(desktop, RecordDefaultName, path, MAX_PATH))
        return 0;
    FormatErrorText(error, reason, sizeof(reason));
    return Refuse(RefusedDesktop, "", reason);
}

static int Record(const char *argumentText)
{
    char path[MAX_PATH];
    char reason[ErrorTextSize];
    if (RefusePath(argumentText, path))
        return 1;
    // The debug output first: the file of a recorder that runs already (the
    // desktop's, most often) is not touched when a second one starts.
    ClaimResult claim = ClaimDebugOutput();
    FormatLastError(reason);
    if (claim == ClaimFailed)
        return Refuse(RefusedNoReading, "", reason);
    // A section it may not even open was made for another account alone.
    if (claim != ClaimDone)
        return Refuse(RefusedOtherReader,
                      claim == ClaimLockedReader
                          ? ", run by another account or with more rights,"
                          : "",
                      reason);
    DWORD error;
    HANDLE file = OpenRecordFile(path, &error);
    FormatErrorText(error, reason, sizeof(reason));
    if (file == INVALID_HANDLE_VALUE) {
        ReleaseDebugOutput();
        return Refuse(RefusedFile, path, reason);
    }
    int started = StartRecording(file);
    FormatLastError(reason);
    if (!started) {
        CloseHandle(file);
        return Refuse(RefusedNoReading, "", reason);
    }
    Trace("start: recording the kit's lines to %s until OK is clicked", path);
    Tell(MB_ICONINFORMATION, "The Card Reader Kit's messages are being recorded to\n\n%s\n\n"
         "Now show the problem: plug in the card reader, insert the card, or do what does "
         "not work. Then click OK to stop, and send the file.", path);
    Trace("stop: OK clicked: %lu lines of the kit recorded, %lu lines of other programs left "
          "out", RecordedLines(), LeftOutLines());
    // That line reaches the debug output, and so the file, before reading
    // stops.
    StopTrace(TraceDrainMs);
    StopRecording();
    CloseHandle(file);
    error = RecordWriteError();
    if (error == 0)
        return 0;
    FormatErrorText(error, reason, sizeof(reason));
    Tell(MB_ICONERROR, "The trace could not be written whole to\n\n%s\n\n%s", path, reason);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR argumentText,
                   int showCommand)
{
    (void)instance;
    (void)previous;
    (void)showCommand;
    // Queued: while it records, its own lines pass through its own reader.
    StartTrace("kittrace", 1);
    int code = Record(argumentText);
    StopTrace(TraceDrainMs);
    return code;
}
