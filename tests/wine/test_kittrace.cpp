// kittrace, the recorder, as a user runs it: it becomes the session's
// debug-output reader and writes the kit's lines to its file until its box
// is answered. This test runs no trace reader of its own (only one reader a
// session is possible): while kittrace records, the test follows its file
// as the trace (FollowRecordFile), so the usual waits on tavlix's and
// morvex's lines read what kittrace wrote.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include "tracereader.h"
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#define Caption "Card Reader Kit trace"
#define Reader "USB\\VID_0E5B&PID_0A17\\KT1"
#define ReaderId "USB\\Vid_0e5b&Pid_0a17&Rev_0100"

static std::string WorkFolder;

struct Recorder {
    HANDLE process;
    DWORD pid;
    HWND box;
};

// Starts kittrace with the argument text and waits for its box.
static Recorder StartRecorder(const std::string &arguments)
{
    Recorder r;
    r.process = StartProgram(KitProgramPath("kittrace.exe"), arguments, false, "");
    r.pid = r.process ? GetProcessId(r.process) : 0;
    r.box = r.pid ? WaitForDialogOfProcess(Caption, r.pid, 60000) : NULL;
    ok(r.box != NULL, "kittrace %s: no box captioned \"" Caption "\"", arguments.c_str());
    return r;
}

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

// Clicks OK, as the user does; the recorder's exit code.
static DWORD AnswerBox(Recorder *r)
{
    HWND button = r->box ? GetDlgItem(r->box, IDOK) : NULL;
    ok(button != NULL, "the box has no OK button");
    if (button)
        PostMessageA(r->box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)button);
    DWORD code = FinishProgram(r->process, 60000);
    r->process = NULL;
    return code;
}

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

static std::string Today(void)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[16];
    snprintf(date, sizeof(date), "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return date;
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

// A line of another program, and one whose name only starts like tavlix's;
// then a broadcast to tavlix whose line comes after both: once it is in the
// file, the two were taken and left out.
static void WriteOtherProgramsLines(HWND tavlix)
{
    OutputDebugStringA("kit-test: a line of another program\n");
    OutputDebugStringA("tavlixx: not the kit's either\n");
    ok(WaitForBroadcastsTraced(tavlix), "tavlix's broadcast line never reached the file");
}

// tavlix assigns icons and morvex scans while kittrace records to a file
// whose name has a blank; OK ends it with the file complete.
static void test_records_the_kits_lines(void)
{
    std::string path = WorkFolder + "\\first trace.txt";
    SetProgramWindowsVersion("kittrace.exe", "winxp");
    std::string day = Today();
    Recorder r = StartRecorder("\"" + path + "\"");
    std::string says = BoxText(r.box);
    ok(says.find(path) != std::string::npos && says.find("click OK") != std::string::npos,
       "the box does not say where it records and what to do: %s", says.c_str());
    ok(FollowRecordFile(path), "no file at %s", path.c_str());
    CheckTracedAt(__FILE__, __LINE__, r.pid, 0, {"kittrace: start: recording the kit's lines to " + path});

    ok(PlugInReader() && InsertCard(ReaderSlotSD, 'F'), "reader");
    TavlixRun tavlix = StartTavlix("win2k");
    ok(tavlix.window != NULL, "tavlix did not start");
    CheckTracedAt(__FILE__, __LINE__, tavlix.pid, tavlix.traceMark,
                  {"drive F: given icon " + DefaultIconPath("sdico.ico")});
    std::string morvex = CopyProgramTo(WorkFolder, "morvex.exe");
    InstallNewdevRecorder(WorkFolder);
    size_t mark = TraceMark();
    ok(RunStartupPass(morvex, "MORVEX", true, NewdevLogPath(WorkFolder)) == 0, "morvex's run");
    ok(WaitForTrace(0, "morvex: scan 1 ended", mark, 30000) >= 0, "morvex's scan is not in the file");
    WriteOtherProgramsLines(tavlix.window);
    ok(StopTavlixBySecondLaunch(&tavlix), "tavlix did not stop");
    EndTavlix(&tavlix);

    ok(AnswerBox(&r) == 0, "kittrace did not end with 0 after OK");
    StopFollowingRecordFile();
    std::string text = ReadWholeFile(path);
    std::vector<std::string> lines;
    bool whole = SplitCrlfLines(text, &lines);
    ok(whole, "a line of the file does not end with CRLF");
    bool header = !lines.empty() &&
                  lines[0].find("Card Reader Kit " KIT_VERSION " trace of " + day) == 0 &&
                  lines[0].find(", Windows 5.1 (build 2600") != std::string::npos;
    ok(header, "first line: %s", lines.empty() ? "(none)" : lines[0].c_str());
    if (!whole || !header)
        printf("%s", text.c_str());
    // Every other line a record of the kit, with its time and process id.
    for (size_t i = 1; i < lines.size(); i++) {
        std::string rest;
        DWORD pid = RecordPid(lines[i], &rest);
        ok(pid != 0 && (rest.find("tavlix: ") == 0 || rest.find("morvex: ") == 0 ||
                        rest.find("kittrace: ") == 0),
           "not a record of the kit: %s", lines[i].c_str());
    }
    ok(HasRecord(lines, tavlix.pid, "tavlix: start: Windows 5.0"), "tavlix's start line");
    ok(text.find("morvex: scan 1 ended") != std::string::npos, "morvex's scan");
    ok(text.find("kit-test:") == std::string::npos && text.find("tavlixx:") == std::string::npos,
       "another program's line was recorded");
    // The last line taken before OK, the recorder's own, is in the file.
    std::string rest;
    ok(lines.size() > 2 && RecordPid(lines.back(), &rest) == r.pid &&
           rest.find("kittrace: stop: OK clicked: ") == 0,
       "last line: %s", lines.empty() ? "(none)" : lines.back().c_str());
    SetProgramWindowsVersion("kittrace.exe", "");
}

// The desktop's file when none is named; a second recorder, even on the
// same file, is refused and leaves the first one as it was.
static void test_second_recorder_refused(void)
{
    char desktop[MAX_PATH];
    ok(SHGetFolderPathA(NULL, CSIDL_DESKTOPDIRECTORY, NULL, 0, desktop) == S_OK, "no desktop");
    std::string path = std::string(desktop) + "\\cardkit-trace.txt";
    DeleteFileA(path.c_str());
    Recorder first = StartRecorder("");
    ok(BoxText(first.box).find(path) != std::string::npos, "the box names no %s: %s",
       path.c_str(), BoxText(first.box).c_str());
    ok(FollowRecordFile(path), "no file at %s", path.c_str());
    std::string header = ReadWholeFile(path);

    Recorder second = StartRecorder("");
    ok(BoxText(second.box).find("Another debug-output viewer") != std::string::npos,
       "the second box: %s", BoxText(second.box).c_str());
    ok(AnswerBox(&second) == 1, "the second recorder did not end with 1");
    // Its refusal is in the first one's file, which it did not touch.
    CheckTracedAt(__FILE__, __LINE__, second.pid, 0,
                  {"kittrace: start: another debug-output viewer reads this session's debug "
                   "output: no recording"});
    ok(ReadWholeFile(path).compare(0, header.size(), header) == 0, "the first file changed");

    // The first still records: vorbind, started now, is in its file.
    size_t mark = TraceMark();
    HANDLE vorbind = StartProgram(KitProgramPath("vorbind.exe"), "", false, "");
    DWORD vorbindPid = vorbind ? GetProcessId(vorbind) : 0;
    ok(FinishProgram(vorbind, 60000) == 0, "vorbind's run");
    CheckTracedAt(__FILE__, __LINE__, vorbindPid, mark, {"vorbind: nothing re-bound"});
    ok(FindDialogOfProcess(Caption, first.pid) == first.box, "the first box went");
    ok(AnswerBox(&first) == 0, "the first recorder did not end with 0");
    StopFollowingRecordFile();
    ok(ReadWholeFile(path).find("Card Reader Kit " KIT_VERSION " trace of ") == 0,
       "the desktop's file has no first line");
    DeleteFileA(path.c_str());
}

// A file it cannot write: the box names it and the system's reason, while
// the debug output stays free; exit code 1.
static void CheckFileRefused(const std::string &path, const char *error)
{
    Recorder r = StartRecorder("\"" + path + "\"");
    std::string says = BoxText(r.box);
    ok(says.find(path) != std::string::npos && says.find(error) != std::string::npos,
       "the box does not name %s and %s: %s", path.c_str(), error, says.c_str());
    // Nothing was taken: another reader can read the session's debug output.
    ok(StartTraceReader(), "kittrace holds the debug output while it refuses");
    StopTraceReader();
    ok(AnswerBox(&r) == 1, "kittrace did not end with 1 for %s", path.c_str());
}

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
static BroadcastAnswers SendBurst(HWND window, int rounds)
{
    BroadcastAnswers answers = SendBroadcastRounds(window, rounds, DBTF_MEDIA);
    ok(answers.late == 0, "%d broadcasts not answered within 5 s", answers.late);
    return answers;
}

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
    Recorder r = StartRecorder("\"" + path + "\"");
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
    ok(AnswerBox(&r) == 0, "kittrace did not end with 0 after OK");
    StopFollowingRecordFile();
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
    WorkFolder = MakeWorkFolder("kittrace");
    RegPutString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win2k");
    ok(LayOutDriverPackage(), "driver package");
    ok(AddDevice(Reader, {ReaderId, "USB\\Vid_0e5b&Pid_0a17"}, "USBSTOR", true), "reader device");
    RUN_TEST(test_resources);
    RUN_TEST(test_records_the_kits_lines);
    RUN_TEST(test_second_recorder_refused);
    RUN_TEST(test_unwritable_file_refused);
    RUN_TEST(test_recorder_holds_nothing_up);
    ClearSimulatedDisks();
    return FinishTests();
}
