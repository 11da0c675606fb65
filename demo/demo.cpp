// The kit's main job, shown on a simulated card reader under Wine: install,
// card icons following a card, the reader moved to its own driver, a
// re-bind on demand, and the stop. Run by scripts/demo.sh in a fresh prefix.
#include "harness.h"
#include "reader.h"
#include "tavlixrun.h"
#include <stdio.h>

#define Reader "USB\\VID_0E5B&PID_0A17\\KIT0001"
#define ReaderId "USB\\Vid_0e5b&Pid_0a17&Rev_0100"
#define RunKey "Software\\Microsoft\\Windows\\CurrentVersion\\Run"

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

static std::string InstallKit(void)
{
    Step(1, "Install the kit with install.inf (Windows 2000 mode, as right-click > Install does)");
    RegPutString(HKEY_CURRENT_USER, "Software\\Wine", "Version", "win2k");
    std::string inf = KitProgramPath("..\\package\\" KIT_PACKAGE_NAME "\\install.inf");
    std::string command = "setupapi.dll,InstallHinfSection DefaultInstall 132 " + inf;
    printf("    package %s, programs built for %s\n", KIT_PACKAGE_NAME,
           sizeof(void *) == 4 ? "32-bit Windows (what Windows 2000 and XP users run)"
                               : "64-bit Windows");
    DWORD code = RunProgram("C:\\windows\\system32\\rundll32.exe", command, false, "", 60000);
    std::string tavlix = ProgramFromRunValue("tavlix");
    printf("    rundll32 exit code %lu\n", code);
    printf("    Run key: tavlix = %s\n", tavlix.c_str());
    printf("    Run key: morvex = %s\n", ProgramFromRunValue("morvex").c_str());
    const char *icons[] = {"cfico.ico", "sdico.ico", "smico.ico", "msico.ico", "comboico.ico"};
    for (const char *icon : icons) {
        bool present = GetFileAttributesA(DefaultIconPath(icon).c_str()) != INVALID_FILE_ATTRIBUTES;
        printf("    %-28s %s\n", DefaultIconPath(icon).c_str(), present ? "installed" : "MISSING");
        Expect(present, "card icon missing");
    }
    Expect(!tavlix.empty(), "tavlix is not in the Run key");
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
        bool isVolatile = RegKeyIsVolatile(HKEY_CLASSES_ROOT, DriveIconKey(letter).c_str());
        printf("    %c:     %-14s %-28s %s\n", letter, KindOfIcon(icon), icon.c_str(),
               isVolatile ? "no (volatile)" : "yes");
    }
}

// tavlix works on a broadcast in passes of its own: what they write is all
// written once they have ended.
static void WaitForPasses(HWND window)
{
    Expect(WaitForWorkersToEnd(window, 60000), "tavlix's passes did not end");
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

static TavlixRun FollowCard(const std::string &tavlixPath)
{
    Step(2, "Start tavlix as the Run key does; plug in the four-slot reader; insert an SD card");
    ClearSimulatedDisks();
    AddNonCardDisk(SystemDiskPath, NULL);
    TavlixRun run;
    run.process = StartProgram(tavlixPath, "", false, "");
    run.pid = run.process ? GetProcessId(run.process) : 0;
    run.window = WaitForWindowOfClass("TAVLIX", run.pid, 60000);
    Expect(run.window != NULL, "tavlix did not start");
    // Its start-up scan reads the disk list: the reader comes after it.
    Expect(run.window && WaitUntilIdle(run.window, 60000), "tavlix did not finish starting");
    WaitForPasses(run.window);
    printf("    tavlix running (hidden window: %s)\n",
           run.window && !IsWindowVisible(run.window) ? "never shown" : "?");

    PlugInReader();
    SendDeviceEvent(run.window, DBT_DEVNODES_CHANGED, 0);
    WaitForPasses(run.window);
    printf("    reader plugged in: its CF, SD, SM and MS slots are listed as disks\n");
    InsertCardAndBroadcast(run.window, ReaderSlotSD, 'F');
    printf("    SD card inserted: its volume comes up as F:\n");
    Expect(WaitForDriveIcon('F', DefaultIconPath("sdico.ico").c_str()), "F: got no SD icon");
    PrintIconTable();

    Step(3, "Take the card out and put it back in");
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

// Starts morvex, lets its start-up scan finish, and exits it.
static void RunMorvexOnce(const std::string &exe, bool useRecorder, const std::string &log)
{
    Expect(RunStartupPass(exe, "MORVEX", useRecorder, log) == 0, "morvex's scan did not end with 0");
}

static void ShowRequests(const std::vector<InstallRequest> &requests)
{
    if (requests.empty())
        printf("    (no installation requested)\n");
    for (const InstallRequest &r : requests)
        printf("    install request: hardware ID %s, INF %s, flags %lu\n", r.hardwareId.c_str(),
               r.infPath.c_str(), r.flags);
}

static void MoveReaderToItsDriver(const std::string &folder)
{
    Step(4, "morvex finds the reader on the generic storage driver and binds it to its own");
    Expect(LayOutDriverPackage(), "driver package not laid out");
    AddDevice(Reader, {ReaderId, "USB\\Vid_0e5b&Pid_0a17"}, "USBSTOR", true);
    printf("    reader %s is bound to service %s\n", ReaderId, GetDeviceService(Reader).c_str());
    std::string installed = ProgramFromRunValue("morvex");
    RunMorvexOnce(installed, false, "");
    printf("    after morvex's scan the reader is bound to service %s\n",
           GetDeviceService(Reader).c_str());
    Expect(GetDeviceService(Reader) == "FLASHREADER", "reader not moved to its own driver");

    // The reader's driver is now current: the next scan asks for nothing.
    FILETIME reference;
    if (ReadLastWrite("C:\\windows\\zelmot\\zelmot.sys", &reference))
        SetLastWrite("C:\\windows\\system32\\drivers\\zelmot.sys", reference);
    std::string watched = CopyProgramTo(folder, "morvex.exe");
    std::string log = NewdevLogPath(folder);
    DeleteFileA(log.c_str());
    RunMorvexOnce(watched, true, log);
    printf("    next scan, installed driver as current as the reference copy:\n");
    std::vector<InstallRequest> requests = ReadInstallRequests(log);
    ShowRequests(requests);
    Expect(requests.empty(), "a current reader was re-installed");
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
    printf("    second launch exit code %lu, running copy exit code %lu\n", second, first);
    printf("    icon keys left on D..Z: %s; markers left: %s\n",
           LettersWithIcons().empty() ? "none" : LettersWithIcons().c_str(),
           LettersWithMarkers().empty() ? "none" : LettersWithMarkers().c_str());
    Expect(second == 0 && first == 0 && LettersWithIcons().empty(), "tavlix did not stop cleanly");
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    DWORD start = GetTickCount();
    std::string folder = MakeWorkFolder("demo");
    InstallNewdevRecorder(folder);
    std::string tavlix = InstallKit();
    if (tavlix.empty())
        return 1;
    TavlixRun run = FollowCard(tavlix);
    MoveReaderToItsDriver(folder);
    RebindOnDemand(folder);
    StopTavlix(&run, tavlix);
    printf("\ndemo %s in %.1f s\n", Failures ? "FAILED" : "finished",
           (GetTickCount() - start) / 1000.0);
    return Failures ? 1 : 0;
}
