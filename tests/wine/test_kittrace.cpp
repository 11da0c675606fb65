// kittrace, the recorder, as a user runs it: it becomes the session's
// debug-output reader and writes the kit's lines to its file until its box
// is answered. This test runs no trace reader of its own (only one reader a
// session is possible): while kittrace records, the test follows its file
// as the trace (FollowRecordFile), so the usual waits on tavlix's and
// morvex's lines read what kittrace wrote.
//
// Each recording is started under another Windows version, and its file's
// first line is checked for it. Wine runs every program as an
// administrator: the header's "not an administrator" is not seen here.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include "tracereader.h"
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#define Caption "Card Reader Kit trace"
#define Reader "USB\\VID_0E5B&PID_0A17\\KT1"
#define ReaderId "USB\\Vid_0e5b&Pid_0a17&Rev_0100"

static std::string WorkFolder;
// The 32-bit recorder, run on 64-bit Windows by the 64-bit tree's test;
// empty where there is none.
static std::string Recorder32;

struct Recorder {
    HANDLE process;
    DWORD pid;
    HWND box;
};

// Starts the recorder exe with the argument text under the Windows version
// and waits for its box.
static Recorder StartRecorder_(At at, const std::string &exe, const std::string &arguments,
                               const char *version)
{
    SetProgramWindowsVersion("kittrace.exe", version);
    Recorder r;
    r.process = StartProgram(exe, arguments, false, "");
    r.pid = r.process ? GetProcessId(r.process) : 0;
    r.box = r.pid ? WaitForDialogOfProcess(Caption, r.pid, 60000) : NULL;
    ok_at(at, r.box != NULL, "kittrace %s: no box captioned \"" Caption "\"", arguments.c_str());
    return r;
}
#define StartRecorder(arguments, version) \
    StartRecorder_(HERE, KitProgramPath("kittrace.exe"), arguments, version)

static BOOL CALLBACK AddChildText(HWND child, LPARAM param)
{
    char text[2048] = "";
    GetWindowTextA(child, text, sizeof(text));
    *(std::string *)param += std::string(text) + "\n";
    return TRUE;
}

// What the box says: the texts of its controls.
static std::string BoxText(HWND box)
{
    std::string text;
    EnumChildWindows(box, AddChildText, (LPARAM)&text);
    return text;
}

// Clicks OK, as the user does; checks the recorder's exit code.
static void AnswerBox_(At at, Recorder *r, DWORD expectedCode)
{
    HWND button = r->box ? GetDlgItem(r->box, IDOK) : NULL;
    ok_at(at, button != NULL, "the box has no OK button");
    if (button)
        PostMessageA(r->box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)button);
    DWORD code = FinishProgram(r->process, 60000);
    r->process = NULL;
    ok_at(at, code == expectedCode, "kittrace ended with %lu after OK, %lu expected", code,
          expectedCode);
}
#define AnswerBox(r, code) AnswerBox_(HERE, r, code)

// The file's lines, each without its CRLF; false when a line lacks it.
static bool SplitCrlfLines(const std::string &text, std::vector<std::string> *lines)
{
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos || end == at || text[end - 1] != '\r')
            return false;
        lines->push_back(text.substr(at, end - 1 - at));
        at = end + 1;
    }
    return true;
}

// "hh:mm:ss.mmm [pid] " in front of a record; its pid, or 0.
static DWORD RecordPid(const std::string &line, std::string *text)
{
    unsigned h, m, s, ms;
    unsigned long pid = 0;
    int at = -1;
    if (line.size() < 20 || line[2] != ':' || line[5] != ':' || line[8] != '.' ||
        sscanf(line.c_str(), "%2u:%2u:%2u.%3u [%lu] %n", &h, &m, &s, &ms, &pid, &at) != 5 ||
        at < 0 || h > 23 || m > 59 || s > 59 || ms > 999)
        return 0;
    *text = line.substr((size_t)at);
    return (DWORD)pid;
}

static bool HasRecord(const std::vector<std::string> &lines, DWORD pid, const char *text)
{
    for (const std::string &line : lines) {
        std::string rest;
        if (RecordPid(line, &rest) == pid && rest.find(text) != std::string::npos)
            return true;
    }
    return false;
}

// ---- the first line -----------------------------------------------------------

// What the first line says after its date for each Windows version Wine
// reports, with the width of Windows put in; Wine runs every program as an
// administrator, raised from Vista on.
struct HeaderCase {
    const char *version;
    const char *windows;
};
static const HeaderCase HeaderCases[] = {
    {"win2k", "Windows 5.0 (build 2195, Service Pack 4), %u-bit; account: administrator"},
    {"winxp", "Windows 5.1 (build 2600, Service Pack 3), %u-bit; account: administrator"},
    {"win7", "Windows 6.1 (build 7601, Service Pack 1), %u-bit; account: administrator, raised"},
};

// The first line of a file recorded under version on Windows of width bits:
// the kit's version, a date and time of today (or of the day before, for a
// recording started just before midnight), and the rest exactly.
static void CheckHeader_(At at, const std::string &text, const char *version, unsigned width,
                         const SYSTEMTIME &started)
{
    std::string line = text.substr(0, text.find("\r\n"));
    const char *rest = NULL;
    for (const HeaderCase &c : HeaderCases)
        if (strcmp(c.version, version) == 0)
            rest = c.windows;
    char expected[256];
    snprintf(expected, sizeof(expected), rest ? rest : "(no case for %u)", width);
    unsigned year, month, day, hour, minute, second;
    char tail[256] = "";
    int fields = sscanf(line.c_str(),
                        "Card Reader Kit " KIT_VERSION
                        " trace of %4u-%2u-%2u %2u:%2u:%2u, %255[^\n]",
                        &year, &month, &day, &hour, &minute, &second, tail);
    bool dated = fields == 7 && year == started.wYear && month == started.wMonth &&
                 day == started.wDay && hour < 24 && minute < 60 && second < 60;
    ok_at(at, dated && strcmp(tail, expected) == 0, "first line under %s: \"%s\", \"%s\" expected",
          version, line.c_str(), expected);
}
#define CheckHeader(text, version, width, started) \
    CheckHeader_(HERE, text, version, width, started)

// The width of the Windows that this test's prefix is.
static unsigned PrefixWidth(void)
{
    return sizeof(void *) * 8;
}

// ---- access lists -------------------------------------------------------------

// A debug-output object kittrace made, opened by name as a writer of another
// account does: its access list must be null (present, and empty of
// entries that could shut anyone out), not the default list, which admits
// kittrace's account alone.
static void CheckOpenToAll_(At at, const char *name, bool section)
{
    HANDLE object = section ? OpenFileMappingA(READ_CONTROL, FALSE, name)
                            : OpenEventA(READ_CONTROL, FALSE, name);
    PSECURITY_DESCRIPTOR descriptor = NULL;
    PACL dacl = NULL;
    DWORD rc = object ? GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                        NULL, NULL, &dacl, NULL, &descriptor)
                      : GetLastError();
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision;
    if (descriptor)
        GetSecurityDescriptorControl(descriptor, &control, &revision);
    ok_at(at, rc == ERROR_SUCCESS && (control & SE_DACL_PRESENT) && dacl == NULL,
          "%s: error %lu, access list %s%s", name, rc,
          control & SE_DACL_PRESENT ? "present" : "absent (the default one)",
          dacl ? ", with entries" : "");
    if (descriptor)
        LocalFree(descriptor);
    if (object)
        CloseHandle(object);
}
#define CheckOpenToAll(name, section) CheckOpenToAll_(HERE, name, section)

// ---- recording ------------------------------------------------------------------

// A line of another program, and one whose name only starts like tavlix's;
// then a broadcast to tavlix whose line comes after both: once it is in the
// file, the two were taken and left out.
static void WriteOtherProgramsLines_(At at, HWND tavlix)
{
    OutputDebugStringA("kit-test: a line of another program\n");
    OutputDebugStringA("tavlixx: not the kit's either\n");
    ok_at(at, WaitForBroadcastsTraced(tavlix), "tavlix's broadcast line never reached the file");
}
#define WriteOtherProgramsLines(tavlix) WriteOtherProgramsLines_(HERE, tavlix)

// tavlix gives an icon, morvex scans, another program writes: the lines
// the file is to hold. tavlix's pid.
static DWORD RunTheKitWhileRecording_(At at)
{
    ok_at(at, PlugInReader() && InsertCard(ReaderSlotSD, 'F'), "reader");
    TavlixRun tavlix = StartTavlix("win2k");
    ok_at(at, tavlix.window != NULL, "tavlix did not start");
    CheckTracedAt(at.file, at.line, tavlix.pid, tavlix.traceMark,
                  {"drive F: given icon " + DefaultIconPath("sdico.ico")});
    std::string morvex = CopyProgramTo(WorkFolder, "morvex.exe");
    InstallNewdevRecorder(WorkFolder);
    size_t mark = TraceMark();
    ok_at(at, RunStartupPass(morvex, "MORVEX", true, NewdevLogPath(WorkFolder)) == 0,
          "morvex's run");
    ok_at(at, WaitForTrace(0, "morvex: scan 1 ended", mark, 30000) >= 0,
          "morvex's scan is not in the file");
    WriteOtherProgramsLines_(at, tavlix.window);
    ok_at(at, StopTavlixBySecondLaunch(&tavlix), "tavlix did not stop");
    DWORD pid = tavlix.pid;
    EndTavlix(&tavlix);
    return pid;
}
#define RunTheKitWhileRecording() RunTheKitWhileRecording_(HERE)

// What the file holds: its first line, then records of the kit alone, with
// their time and process id, the recorder's own stop line last.
static void CheckRecords_(At at, const std::string &text, DWORD tavlixPid, DWORD recorderPid)
{
    std::vector<std::string> lines;
    bool whole = SplitCrlfLines(text, &lines);
    ok_at(at, whole && lines.size() > 2, "%u lines, a line without CRLF: %s",
          (unsigned)lines.size(), text.c_str());
    for (size_t i = 1; i < lines.size(); i++) {
        std::string rest;
        DWORD pid = RecordPid(lines[i], &rest);
        ok_at(at, pid != 0 && (rest.find("tavlix: ") == 0 || rest.find("morvex: ") == 0 ||
                               rest.find("kittrace: ") == 0),
              "not a record of the kit: %s", lines[i].c_str());
    }
    ok_at(at, HasRecord(lines, tavlixPid, "tavlix: start: Windows 5.0"), "tavlix's start line");
    ok_at(at, text.find("morvex: scan 1 ended") != std::string::npos, "morvex's scan");
    ok_at(at, text.find("kit-test:") == std::string::npos &&
                  text.find("tavlixx:") == std::string::npos,
          "another program's line was recorded");
    // The last line taken before OK, the recorder's own, is in the file.
    std::string rest;
    ok_at(at, !lines.empty() && RecordPid(lines.back(), &rest) == recorderPid &&
                  rest.find("kittrace: stop: OK clicked: ") == 0,
          "last line: %s", lines.empty() ? "(none)" : lines.back().c_str());
}
#define CheckRecords(text, tavlixPid, recorderPid) \
    CheckRecords_(HERE, text, tavlixPid, recorderPid)

// tavlix assigns icons and morvex scans while kittrace records to a file
// whose name has a blank; OK ends it with the file complete. While it
// records, its section and events are open to every account.
static void test_records_the_kits_lines(void)
{
    std::string path = WorkFolder + "\\first trace.txt";
    SYSTEMTIME started;
    GetLocalTime(&started);
    Recorder r = StartRecorder("\"" + path + "\"", "winxp");
    std::string says = BoxText(r.box);
    ok(says.find(path) != std::string::npos && says.find("click OK") != std::string::npos,
       "the box does not say where it records and what to do: %s", says.c_str());
    ok(FollowRecordFile(path), "no file at %s", path.c_str());
    CheckTracedAt(__FILE__, __LINE__, r.pid, 0, {"kittrace: start: recording the kit's lines to " + path});
    CheckOpenToAll("DBWIN_BUFFER", true);
    CheckOpenToAll("DBWIN_BUFFER_READY", false);
    CheckOpenToAll("DBWIN_DATA_READY", false);

    DWORD tavlixPid = RunTheKitWhileRecording();
    AnswerBox(&r, 0);
    StopFollowingRecordFile();
    std::string text = ReadWholeFile(path);
    CheckHeader(text, "winxp", PrefixWidth(), started);
    CheckRecords(text, tavlixPid, r.pid);
}

// The desktop's file when none is named; a second recorder, even on the
// same file, is refused and leaves the first one as it was.
static void test_second_recorder_refused(void)
{
    char desktop[MAX_PATH];
    ok(SHGetFolderPathA(NULL, CSIDL_DESKTOPDIRECTORY, NULL, 0, desktop) == S_OK, "no desktop");
    std::string path = std::string(desktop) + "\\cardkit-trace.txt";
    DeleteFileA(path.c_str());
    SYSTEMTIME started;
    GetLocalTime(&started);
    Recorder first = StartRecorder("", "win2k");
    ok(BoxText(first.box).find(path) != std::string::npos, "the box names no %s: %s",
       path.c_str(), BoxText(first.box).c_str());
    ok(FollowRecordFile(path), "no file at %s", path.c_str());
    std::string header = ReadWholeFile(path);

    Recorder second = StartRecorder("", "win2k");
    ok(BoxText(second.box).find("Another debug-output viewer already reads") != std::string::npos,
       "the second box: %s", BoxText(second.box).c_str());
    AnswerBox(&second, 1);
    // Its refusal is in the first one's file, which it did not touch.
    CheckTracedAt(__FILE__, __LINE__, second.pid, 0,
                  {"kittrace: start: no recording: another debug-output viewer reads this "
                   "session's debug output"});
    ok(ReadWholeFile(path).compare(0, header.size(), header) == 0, "the first file changed");

    // The first still records: vorbind, started now, is in its file.
    size_t mark = TraceMark();
    HANDLE vorbind = StartProgram(KitProgramPath("vorbind.exe"), "", false, "");
    DWORD vorbindPid = vorbind ? GetProcessId(vorbind) : 0;
    ok(FinishProgram(vorbind, 60000) == 0, "vorbind's run");
    CheckTracedAt(__FILE__, __LINE__, vorbindPid, mark, {"vorbind: nothing re-bound"});
    ok(FindDialogOfProcess(Caption, first.pid) == first.box, "the first box went");
    AnswerBox(&first, 0);
    StopFollowingRecordFile();
    CheckHeader(ReadWholeFile(path), "win2k", PrefixWidth(), started);
    DeleteFileA(path.c_str());
}

// Another account's viewer (or a raised one) made the section for itself
// alone, as Windows makes it by default: kittrace may not even open it.
// The box names such a viewer, not an error number.
static void test_other_accounts_viewer_named(void)
{
    PSECURITY_DESCRIPTOR systemOnly = NULL;
    ok(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;GA;;;SY)", SDDL_REVISION_1,
                                                            &systemOnly, NULL),
       "no access list");
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), systemOnly, FALSE};
    HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                        4096, "DBWIN_BUFFER");
    ok(section && GetLastError() != ERROR_ALREADY_EXISTS, "the other viewer's section");
    Recorder r = StartRecorder("\"" + WorkFolder + "\\locked.txt\"", "winxp");
    std::string says = BoxText(r.box);
    ok(says.find("Another debug-output viewer, run by another account or with more rights, "
                 "already reads the programs' messages") != std::string::npos,
       "the box: %s", says.c_str());
    AnswerBox(&r, 1);
    ok(GetFileAttributesA((WorkFolder + "\\locked.txt").c_str()) == INVALID_FILE_ATTRIBUTES,
       "a file was made");
    if (section)
        CloseHandle(section);
    LocalFree(systemOnly);
}

// A file it cannot write: the box names it and the system's reason, while
// the debug output stays free; exit code 1.
static void CheckFileRefused_(At at, const std::string &path, const char *error)
{
    Recorder r = StartRecorder_(at, KitProgramPath("kittrace.exe"), "\"" + path + "\"", "winxp");
    std::string says = BoxText(r.box);
    ok_at(at, says.find(path) != std::string::npos && says.find(error) != std::string::npos,
          "the box does not name %s and %s: %s", path.c_str(), error, says.c_str());
    // Nothing was taken: another reader can read the session's debug output.
    ok_at(at, StartTraceReader(), "kittrace holds the debug output while it refuses");
    StopTraceReader();
    AnswerBox_(at, &r, 1);
}
#define CheckFileRefused(path, error) CheckFileRefused_(HERE, path, error)

static void test_unwritable_file_refused(void)
{
    // A read-only file system (Z: is the Unix root; the read-only attribute
    // stops no one who runs as root, as these tests do).
    CheckFileRefused("Z:\\sys\\cardkit-trace.txt", "5 (Access denied.)");
    std::string missing = WorkFolder + "\\missing\\trace.txt";
    CheckFileRefused(missing, "3 (Path not found.)");
    ok(GetFileAttributesA((WorkFolder + "\\missing").c_str()) == INVALID_FILE_ATTRIBUTES,
       "a folder was made");
}

// Broadcasts of each kind tavlix follows (a card's medium changing, so that
// the icons stay), each answered within the 5 s Windows gives a window.
static BroadcastAnswers SendBurst_(At at, HWND window, int rounds)
{
    BroadcastAnswers answers = SendBroadcastRounds(window, rounds, DBTF_MEDIA);
    ok_at(at, answers.late == 0, "%d broadcasts not answered within 5 s", answers.late);
    return answers;
}
#define SendBurst(window, rounds) SendBurst_(HERE, window, rounds)

// Hundreds of broadcasts while kittrace records: tavlix answers each of
// them in time, as it does with no reader at all, and kittrace takes them
// all the while.
static void test_recorder_holds_nothing_up(void)
{
    const int rounds = 100;
    TavlixRun tavlix = StartTavlix("win2k", "", 0);
    tavlix.window = WaitForWindowOfClass("TAVLIX", tavlix.pid, 60000);
    ok(tavlix.window && WaitUntilIdle(tavlix.window, 60000), "tavlix did not start");
    BroadcastAnswers alone = SendBurst(tavlix.window, rounds);

    std::string path = WorkFolder + "\\burst.txt";
    SYSTEMTIME started;
    GetLocalTime(&started);
    Recorder r = StartRecorder("\"" + path + "\"", "win7");
    ok(FollowRecordFile(path), "no file at %s", path.c_str());
    size_t mark = TraceMark();
    BroadcastAnswers recorded = SendBurst(tavlix.window, rounds);
    printf("  %d broadcasts: %lu ms in all (slowest %lu ms) with no reader, %lu ms (slowest "
           "%lu ms) while kittrace records\n",
           rounds * 3, (unsigned long)alone.total, (unsigned long)alone.slowest,
           (unsigned long)recorded.total, (unsigned long)recorded.slowest);
    // The trace caught up: every pass those broadcasts started has ended.
    ok(WaitForPassesOf(tavlix.window), "tavlix's trace did not catch up in the file");
    size_t broadcasts = 0;
    for (const TraceLine &line : TraceLinesFrom(mark, tavlix.pid))
        broadcasts += line.text.find("tavlix: broadcast") == 0;
    printf("  %lu of tavlix's broadcast lines in the file\n", (unsigned long)broadcasts);
    ok(broadcasts > 0, "no broadcast line of tavlix in the file");
    ok(FindDialogOfProcess(Caption, r.pid) == r.box, "the recorder's box went");
    ok(StopTavlixBySecondLaunch(&tavlix), "tavlix did not stop");
    EndTavlix(&tavlix);
    AnswerBox(&r, 0);
    StopFollowingRecordFile();
    CheckHeader(ReadWholeFile(path), "win7", PrefixWidth(), started);
}

// The 32-bit recorder on 64-bit Windows finds out it runs there.
static void test_32bit_recorder_on_64bit_windows(void)
{
    if (Recorder32.empty() || GetFileAttributesA(Recorder32.c_str()) == INVALID_FILE_ATTRIBUTES) {
        skip("no 32-bit kittrace built beside this 64-bit tree");
        return;
    }
    std::string path = WorkFolder + "\\wow64.txt";
    SYSTEMTIME started;
    GetLocalTime(&started);
    Recorder r = StartRecorder_(HERE, Recorder32, "\"" + path + "\"", "win7");
    AnswerBox(&r, 0);
    CheckHeader(ReadWholeFile(path), "win7", 64, started);
}

// Its resources, as Explorer and the shortcut read them.
static void test_resources(void)
{
    HMODULE module = LoadLibraryExA(KitProgramPath("kittrace.exe").c_str(), NULL,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ok(module != NULL, "kittrace.exe does not load as a data file");
    if (!module)
        return;
    ok(FindResourceExA(module, RT_MANIFEST, MAKEINTRESOURCEA(1),
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)) != NULL,
       "no language-neutral manifest 1");
    ok(FindResourceA(module, MAKEINTRESOURCEA(107), RT_GROUP_ICON) != NULL, "no icon 107");
    ok(ExtractIconExA(KitProgramPath("kittrace.exe").c_str(), -1, NULL, NULL, 0) == 1,
       "the shortcut finds not one icon");
    FreeLibrary(module);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(KitProgramPath("kittrace.exe").c_str(), &handle);
    std::vector<char> info(size ? size : 1);
    char *version = NULL;
    UINT length = 0;
    ok(size && GetFileVersionInfoA(KitProgramPath("kittrace.exe").c_str(), 0, size, info.data()) &&
           VerQueryValueA(info.data(), "\\StringFileInfo\\040404B0\\FileVersion",
                          (void **)&version, &length) &&
           strcmp(version, KIT_VERSION) == 0,
       "file version %s", version ? version : "(none)");
}

int main(int argc, char **argv)
{
    // kittrace is the session's reader here.
    StartTests(argc, argv, false);
    if (argc > 3)
        Recorder32 = WindowsPathOf(argv[3]);
    WorkFolder = MakeWorkFolder("kittrace");
    RegPutString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win2k");
    ok(LayOutDriverPackage(), "driver package");
    ok(AddDevice(Reader, {ReaderId, "USB\\Vid_0e5b&Pid_0a17"}, "USBSTOR", true), "reader device");
    RUN_TEST(test_resources);
    RUN_TEST(test_records_the_kits_lines);
    RUN_TEST(test_second_recorder_refused);
    RUN_TEST(test_other_accounts_viewer_named);
    RUN_TEST(test_unwritable_file_refused);
    RUN_TEST(test_recorder_holds_nothing_up);
    // Only a 32-bit program on 64-bit Windows has that to find out.
    if (sizeof(void *) == 8)
        RUN_TEST(test_32bit_recorder_on_64bit_windows);
    SetProgramWindowsVersion("kittrace.exe", "");
    ClearSimulatedDisks();
    return FinishTests();
}
