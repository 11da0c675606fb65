// The kit's main job, shown on a simulated card reader under Wine: a silent
// install with the setup, which starts both programs at once; the reader
// moved to its own driver; card icons following a card; a re-bind on
// demand; the stop; the uninstallation. kittrace records it all, as a user
// would send it to support. Run by scripts/demo.sh in a fresh prefix.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include "tracereader.h"
#include <stdio.h>

#define Reader "USB\\VID_0E5B&PID_0A17\\KIT0001"
#define ReaderId "USB\\Vid_0e5b&Pid_0a17&Rev_0100"
#define RunKey "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define UninstallKey "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\CardReaderKit"

static std::string SetupPath;

#define RecorderCaption "Card Reader Kit trace"
static HANDLE Recorder;
static HWND RecorderBox;
static std::string RecordPath;

static int Failures;

static void Step(int number, const char *text)
{
    printf("\n[%d] %s\n", number, text);
}

static void Expect(bool condition, const char *what)
{
    if (!condition) {
        printf("    !! %s\n", what);
        Failures++;
    }
}

// A command line from the Run key: the quoted program path.
static std::string ProgramFromRunValue(const char *name)
{
    std::string value;
    if (!RegReadBytes(HKEY_LOCAL_MACHINE, RunKey, name, &value, NULL))
        return "";
    value = value.c_str();
    if (!value.empty() && value[0] == '"')
        value = value.substr(1, value.find('"', 1) - 1);
    return value;
}

static std::string ReadText(const char *key, const char *name)
{
    std::string value;
    if (!RegReadBytes(HKEY_LOCAL_MACHINE, key, name, &value, NULL))
        return "";
    return value.c_str();
}


static std::string InstallKit(void)
{
    Step(1, "Install the kit with its setup, silently, as an administrator on Windows 2000");
    RegPutString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win2k");
    printf("    the reader is plugged in, on Windows's generic storage driver; its own\n"
           "    driver package lies in the Windows folder, as its maker installs it\n");
    Expect(LayOutDriverPackage(), "driver package not laid out");
    AddDevice(Reader, {ReaderId, "USB\\Vid_0e5b&Pid_0a17"}, "USBSTOR", true);
    ClearSimulatedDisks();
    AddNonCardDisk(SystemDiskPath, NULL);

    std::string command = "\"" + SetupPath + "\" /S";
    printf("    %s\n", command.c_str());
    DWORD code = FinishProgram(StartCommandLine(command, NULL), 120000);
    printf("    exit code %lu; Add/Remove Programs: %s %s\n", code,
           ReadText(UninstallKey, "DisplayName").c_str(),
           ReadText(UninstallKey, "DisplayVersion").c_str());
    std::string tavlix = ProgramFromRunValue("tavlix");
    printf("    Run key: tavlix = %s\n", tavlix.c_str());
    printf("    Run key: morvex = %s\n", ProgramFromRunValue("morvex").c_str());
    const char *icons[] = {"cfico.ico", "sdico.ico", "smico.ico", "msico.ico", "comboico.ico"};
    for (const char *icon : icons) {
        bool present = GetFileAttributesA(DefaultIconPath(icon).c_str()) != INVALID_FILE_ATTRIBUTES;
        printf("    %-28s %s\n", DefaultIconPath(icon).c_str(), present ? "installed" : "MISSING");
        Expect(present, "card icon missing");
    }
    printf("    programs built for %s\n", sizeof(void *) == 4
                                                ? "32-bit Windows (what Windows 2000 and XP users run)"
                                                : "64-bit Windows");
    // The setup starts them as it ends; their windows come up just after.
    WaitForWindowOfClass("TAVLIX", 0, 60000);
    WaitForWindowOfClass("MORVEX", 0, 60000);
    printf("    running now, no log-on needed: tavlix (process %lu), morvex (process %lu)\n",
           (unsigned long)ProcessOfClass("TAVLIX"), (unsigned long)ProcessOfClass("MORVEX"));
    Expect(code == 0 && !tavlix.empty(), "the setup failed");
    Expect(ProcessOfClass("TAVLIX") && ProcessOfClass("MORVEX"), "the setup started nothing");
    return tavlix;
}

static const char *KindOfIcon(const std::string &path)
{
    static const char *const names[][2] = {{"cfico.ico", "CompactFlash"}, {"sdico.ico", "SD"},
                                           {"smico.ico", "SmartMedia"},   {"msico.ico", "Memory Stick"},
                                           {"comboico.ico", "combo slot"}};
    for (const auto &name : names)
        if (path.size() >= strlen(name[0]) &&
            path.compare(path.size() - strlen(name[0]), std::string::npos, name[0]) == 0)
            return name[1];
    return "?";
}

static void PrintIconTable(void)
{
    std::string letters = LettersWithIcons();
    printf("    drive  slot kind      icon file                    key kept over restart\n");
    if (letters.empty())
        printf("    (no drive has a card icon)\n");
    for (char letter : letters) {
        std::string icon;
        ReadDriveIcon(letter, &icon, NULL, NULL);
        bool isVolatile = RegKeyIsVolatile(IconKeysRoot(), DriveIconKey(letter).c_str());
        printf("    %c:     %-14s %-28s %s\n", letter, KindOfIcon(icon), icon.c_str(),
               isVolatile ? "no (volatile)" : "yes");
    }
}

// What a program traced from index from on, as a debug-output viewer shows
// it; the events the demo sends only to see the trace catch up are left
// out.
static void ShowTrace(DWORD pid, size_t from)
{
    printf("    its trace (what kittrace records, as any debug-output viewer shows it):\n");
    for (const TraceLine &line : TraceLinesFrom(from, pid))
        if (line.text.find(": nothing started (") == std::string::npos)
            printf("      %s\n", line.text.c_str());
}

// tavlix works on a broadcast in passes of its own: what they write is all
// written once they have ended.
static void WaitForPasses(HWND window)
{
    Expect(WaitForPassesOf(window, 60000), "tavlix's passes did not end");
}

// A card in a slot brings up a volume: the system broadcasts the change of
// the device tree (the volume's node), then the volume's arrival.
static void InsertCardAndBroadcast(HWND window, int slot, char letter)
{
    InsertCard(slot, letter);
    SendDeviceEvent(window, DBT_DEVNODES_CHANGED, 0);
    SendVolumeEvent(window, DBT_DEVICEARRIVAL, 1u << (letter - 'A'));
    WaitForPasses(window);
}

static TavlixRun FollowCard(void)
{
    Step(3, "tavlix, started by the setup, follows the reader: plug it in, insert an SD card");
    TavlixRun run;
    run.window = FindWindowOfClass("TAVLIX", 0);
    run.pid = 0;
    if (run.window)
        GetWindowThreadProcessId(run.window, &run.pid);
    run.process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE,
                              run.pid);
    Expect(run.window && WaitUntilIdle(run.window, 60000), "tavlix is not running");
    WaitForPasses(run.window);
    printf("    tavlix running (hidden window: %s)\n",
           run.window && !IsWindowVisible(run.window) ? "never shown" : "?");

    PlugInReader();
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    WaitForPasses(run.window);
    printf("    reader plugged in: its CF, SD, SM and MS slots are listed as disks\n");
    size_t mark = TraceMark();
    InsertCardAndBroadcast(run.window, ReaderSlotSD, 'F');
    printf("    SD card inserted: its volume comes up as F:\n");
    Expect(WaitForDriveIcon('F', DefaultIconPath("sdico.ico").c_str()), "F: got no SD icon");
    PrintIconTable();
    ShowTrace(run.pid, mark);

    Step(4, "Take the card out and put it back in");
    // Windows reports both as a change of the medium only: the slot's drive
    // and its letter stay.
    SendVolumeEvent(run.window, DBT_DEVICEREMOVECOMPLETE, 1u << ('F' - 'A'), DBTF_MEDIA);
    WaitForPasses(run.window);
    printf("    card out (the SD slot's drive F: stays, empty):\n");
    Expect(DriveIconExists('F'), "F: lost its icon with the card");
    PrintIconTable();
    SendVolumeEvent(run.window, DBT_DEVICEARRIVAL, 1u << ('F' - 'A'), DBTF_MEDIA);
    WaitForPasses(run.window);
    printf("    card back in:\n");
    Expect(WaitForDriveIcon('F', DefaultIconPath("sdico.ico").c_str()), "F: no SD icon");
    PrintIconTable();
    return run;
}

static void ShowRequests(const std::vector<InstallRequest> &requests)
{
    if (requests.empty())
        printf("    (no installation requested)\n");
    for (const InstallRequest &r : requests)
        printf("    install request: hardware ID %s, INF %s, flags %lu\n", r.hardwareId.c_str(),
               r.infPath.c_str(), r.flags);
}

// The setup started morvex, whose start-up scan found the reader on the
// generic driver.
static void ShowReaderOnItsDriver(const std::string &folder)
{
    Step(2, "morvex, started by the setup, moved the reader to its own driver");
    DWORD start = GetTickCount();
    while (GetDeviceService(Reader) != "FLASHREADER" && GetTickCount() - start < 60000)
        Sleep(50);
    printf("    reader %s is bound to service %s\n", ReaderId, GetDeviceService(Reader).c_str());
    Expect(GetDeviceService(Reader) == "FLASHREADER", "reader not moved to its own driver");
    DWORD morvex = ProcessOfClass("MORVEX");
    Expect(WaitForTrace(morvex, "scan 1 ended", 0, 60000) >= 0, "morvex's scan did not end");
    ShowTrace(morvex, 0);

    // A second morvex in the session ends at once: no second scan beside
    // the first.
    std::string second = CopyProgramTo(folder, "morvex.exe");
    std::string log = NewdevLogPath(folder);
    DeleteFileA(log.c_str());
    SetDeviceService(Reader, "USBSTOR");
    DWORD code = RunProgram(second, "", true, log, 60000);
    SetDeviceService(Reader, "FLASHREADER");
    printf("    a second morvex launched by hand: exit code %lu, still one running: %s\n", code,
           ProcessOfClass("MORVEX") ? "yes" : "no");
    ShowRequests(ReadInstallRequests(log));
    Expect(code == 0 && ReadInstallRequests(log).empty(), "the second morvex scanned");
}

static void RebindOnDemand(const std::string &folder)
{
    Step(5, "vorbind 0e5b 0a17 zelmot.inf re-binds every device with the reader's IDs");
    const char *variants[] = {"vorbind.exe", "vorbind-oem.exe", "vorbind-bare.exe"};
    for (const char *variant : variants) {
        std::string exe = CopyProgramTo(folder, variant);
        std::string log = NewdevLogPath(folder);
        DeleteFileA(log.c_str());
        DWORD code = RunProgram(exe, "0e5b 0a17 zelmot.inf", true, log, 60000);
        printf("    %s: exit code %lu\n", variant, code);
        std::vector<InstallRequest> requests = ReadInstallRequests(log);
        ShowRequests(requests);
        Expect(code == 0 && requests.size() == 1, "vorbind did not request one installation");
    }
}

static void StopTavlix(TavlixRun *run, const std::string &tavlixPath)
{
    Step(6, "Stop tavlix by launching it a second time");
    InsertCardAndBroadcast(run->window, ReaderSlotCF, 'G');
    Expect(WaitForDriveIcon('G', DefaultIconPath("cfico.ico").c_str()), "G: got no CF icon");
    printf("    a CF card inserted as G: first:\n");
    PrintIconTable();
    DWORD second = RunProgram(tavlixPath, "", false, "", 60000);
    DWORD first = WaitForExit(run->process, 60000);
    CloseHandle(run->process);
    printf("    second launch exit code %lu, running copy exit code %lu\n", second, first);
    printf("    icon keys left on D..Z: %s; markers left: %s\n",
           LettersWithIcons().empty() ? "none" : LettersWithIcons().c_str(),
           LettersWithMarkers().empty() ? "none" : LettersWithMarkers().c_str());
    Expect(second == 0 && first == 0 && LettersWithIcons().empty(), "tavlix did not stop cleanly");
}

static void Uninstall(const std::string &tavlixPath)
{
    Step(7, "Uninstall silently, in the form that waits for the end");
    std::string folder = tavlixPath.substr(0, tavlixPath.find_last_of('\\'));
    std::string command = "\"" + folder + "\\uninstall.exe\" /S _?=" + folder;
    printf("    %s\n", command.c_str());
    DWORD code = FinishProgram(StartCommandLine(command, NULL), 120000);
    // Run in place, the uninstaller cannot remove itself.
    DeleteFileA((folder + "\\uninstall.exe").c_str());
    RemoveDirectoryA(folder.c_str());
    bool left = GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES ||
                !ProgramFromRunValue("morvex").empty() ||
                RegKeyExists(HKEY_LOCAL_MACHINE, UninstallKey) || ProcessOfClass("MORVEX");
    printf("    exit code %lu; morvex stopped, programs, icons and entries removed: %s\n", code,
           left ? "NO" : "yes");
    Expect(code == 0 && !left, "the uninstallation left something");
}

static BOOL CALLBACK PrintBoxLine(HWND child, LPARAM)
{
    char text[1024] = "";
    GetWindowTextA(child, text, sizeof(text));
    char *line = text;
    while (*line) {
        char *end = strchr(line, '\n');
        if (end)
            *end = '\0';
        if (*line && strcmp(line, "OK") != 0)
            printf("    | %s\n", line);
        if (!end)
            break;
        line = end + 1;
    }
    return TRUE;
}

// What a user does when something does not work: Start menu, Card Reader
// Kit, Record a trace. Here with a file of the demo's own; it reads the
// trace for the whole demonstration (the demo follows its file).
static void StartRecording(const std::string &folder)
{
    Step(0, "Record a trace: kittrace becomes the session's debug-output reader");
    RecordPath = folder + "\\cardkit-trace.txt";
    // The Windows the whole demonstration runs on, which the file names.
    RegPutString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win2k");
    DeleteFileA(RecordPath.c_str());
    Recorder = StartProgram(KitProgramPath("kittrace.exe"), "\"" + RecordPath + "\"", false, "");
    RecorderBox = Recorder ? WaitForDialogOfProcess(RecorderCaption, GetProcessId(Recorder), 60000)
                           : NULL;
    Expect(RecorderBox != NULL, "kittrace shows no box");
    printf("    kittrace \"%s\" shows its box, \"" RecorderCaption "\":\n", RecordPath.c_str());
    if (RecorderBox)
        EnumChildWindows(RecorderBox, PrintBoxLine, 0);
    Expect(FollowRecordFile(RecordPath), "kittrace's file is not there");
}

static void StopRecording(void)
{
    Step(8, "Click OK in kittrace's box: the recording ends, the file is complete");
    HWND ok = RecorderBox ? GetDlgItem(RecorderBox, IDOK) : NULL;
    if (ok)
        PostMessageA(RecorderBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)ok);
    DWORD code = FinishProgram(Recorder, 60000);
    StopFollowingRecordFile();
    printf("    kittrace: exit code %lu; %s, what a user sends to support:\n", code,
           RecordPath.c_str());
    FILE *file = fopen(RecordPath.c_str(), "rb");
    char line[2048];
    int lines = 0;
    while (file && fgets(line, sizeof(line), file)) {
        line[strcspn(line, "\r\n")] = '\0';
        printf("      %s\n", line);
        lines++;
    }
    if (file)
        fclose(file);
    Expect(code == 0 && lines > 1, "the recording did not end well");
}

int main(int argc, char **argv)
{
    // kittrace is the session's debug-output reader here, not the demo.
    StartTests(argc, argv, false);
    SetupPath = SetupArgument(argc, argv);
    DWORD start = GetTickCount();
    std::string folder = MakeWorkFolder("demo");
    InstallNewdevRecorder(folder);
    StartRecording(folder);
    std::string tavlix = InstallKit();
    if (tavlix.empty())
        return 1;
    ShowReaderOnItsDriver(folder);
    TavlixRun run = FollowCard();
    RebindOnDemand(folder);
    StopTavlix(&run, tavlix);
    Uninstall(tavlix);
    StopRecording();
    printf("\ndemo %s in %.1f s\n", Failures ? "FAILED" : "finished",
           (GetTickCount() - start) / 1000.0);
    return Failures ? 1 : 0;
}
