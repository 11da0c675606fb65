// The package's install.inf under Wine, the way a user meets it: installed
// with Explorer's Install command, tavlix started from its Run entry on the
// simulated reader, and everything removed again through the Add/Remove
// Programs entry. The package is the one the build assembled beside the
// programs' folder.
#include "harness.h"
#include "reader.h"
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

static const char *const Programs[] = {"tavlix.exe", "morvex.exe", "vorbind.exe",
                                       "vorbind-oem.exe", "vorbind-bare.exe"};
// tavlix's default icon table, in slot order: CF, SD, SM, MS, combo.
static const char *const CardIcons[] = {"cfico.ico", "sdico.ico", "smico.ico", "msico.ico",
                                        "comboico.ico"};
static const char RunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char UninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\CardReaderKit";
static const char SettingsKey[] = "Software\\BrindIco";

static std::string PackageDir;  // Z:\...\build\<arch>\package\cardkit-<arch>
static std::string InstallDir;  // C:\Program Files\Card Reader Kit
static std::string WindowsDir;  // C:\windows

// ---- helpers ------------------------------------------------------------------

static bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static bool FolderExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static std::string ReadWholeFile(const std::string &path)
{
    std::string data;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return data;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
        data.append(buffer, n);
    fclose(file);
    return data;
}

static bool SameFile(const std::string &a, const std::string &b)
{
    std::string bytes = ReadWholeFile(a);
    return !bytes.empty() && bytes == ReadWholeFile(b);
}

static std::string DriveIconKey(char letter)
{
    return std::string("Applications\\Explorer.exe\\Drives\\") + letter + "\\DefaultIcon";
}

static std::string ReadString(HKEY root, const char *key, const char *name)
{
    std::string data;
    if (!RegReadBytes(root, key, name, &data, NULL))
        return "";
    return data.c_str();
}

// Starts a command line as Explorer starts a Run entry or an uninstall
// string: the whole text, no separate program path.
static HANDLE StartCommand(const std::string &commandLine, DWORD *pid)
{
    HANDLE process = StartCommandLine(commandLine, NULL);
    if (pid)
        *pid = process ? GetProcessId(process) : 0;
    return process;
}

static DWORD RunCommand(const std::string &commandLine, DWORD ms)
{
    HANDLE process = StartCommand(commandLine, NULL);
    DWORD code = FinishProgram(process, ms);
    return code;
}

// Creates and deletes a file, so that a read-only folder shows as itself
// and not as a failed installation.
static bool FolderIsWritable(const std::string &folder)
{
    std::string probe = folder + "\\kit-write-probe.tmp";
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return DeleteFileA(probe.c_str()) != FALSE;
}

// ---- the package ------------------------------------------------------------------

static bool HasOnlyCrlfLineEnds(const std::string &text)
{
    size_t lines = 0;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '\n')
            continue;
        if (i == 0 || text[i - 1] != '\r')
            return false;
        lines++;
    }
    return lines > 0;
}

// A 16-colour icon with a 32x32 and a 16x16 image, as Windows 2000 shows it.
static bool IsCardIcon(const std::string &bytes)
{
    const unsigned char *b = (const unsigned char *)bytes.data();
    if (bytes.size() < 6 + 2 * 16 || b[0] || b[1] || b[2] != 1 || b[3] || b[4] != 2 || b[5])
        return false;
    const unsigned char *first = b + 6, *second = b + 22;
    return first[0] == 32 && first[1] == 32 && first[6] == 4 && second[0] == 16 &&
           second[1] == 16 && second[6] == 4;
}

static std::vector<std::string> FilesIn(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

static bool Contains(const std::vector<std::string> &names, const std::string &name)
{
    for (size_t i = 0; i < names.size(); i++)
        if (lstrcmpiA(names[i].c_str(), name.c_str()) == 0)
            return true;
    return false;
}

static void test_package_contents(void)
{
    std::vector<std::string> expected(Programs, Programs + 5);
    expected.insert(expected.end(), CardIcons, CardIcons + 5);
    expected.push_back("install.inf");
    expected.push_back("readme.txt");

    // Exactly these: no test stand-in or leftover ships.
    std::vector<std::string> files = FilesIn(PackageDir);
    ok(files.size() == expected.size(), "%u files in %s, want %u", (unsigned)files.size(),
       PackageDir.c_str(), (unsigned)expected.size());
    for (size_t i = 0; i < files.size(); i++)
        ok(Contains(expected, files[i]), "the package holds %s, which does not belong there",
           files[i].c_str());
    for (size_t i = 0; i < expected.size(); i++)
        ok(Contains(files, expected[i]), "%s missing from the package", expected[i].c_str());

    for (const char *text : {"readme.txt", "install.inf"})
        ok(HasOnlyCrlfLineEnds(ReadWholeFile(PackageDir + "\\" + text)),
           "%s must have CRLF line ends only", text);
    for (const char *icon : CardIcons) {
        std::string path = PackageDir + "\\" + icon;
        ok(IsCardIcon(ReadWholeFile(path)), "%s is not a 16-colour 32x32 + 16x16 icon", icon);
        HANDLE image = LoadImageA(NULL, path.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE);
        ok(image != NULL, "%s does not load as an icon: error %lu", icon, GetLastError());
        if (image)
            DestroyIcon((HICON)image);
    }
}

// ---- install, run, uninstall --------------------------------------------------------

// The prefix is a fresh copy of the template whose files are shared with
// it: the installation must create new files, never write into old ones.
static void test_prefix_ready(void)
{
    ok(FolderIsWritable(WindowsDir), "%s is not writable", WindowsDir.c_str());
    std::string programFiles = InstallDir.substr(0, InstallDir.find_last_of('\\'));
    ok(FolderIsWritable(programFiles), "%s is not writable", programFiles.c_str());
    ok(!FolderExists(InstallDir), "%s exists before the installation", InstallDir.c_str());
    for (const char *icon : CardIcons)
        ok(!FileExists(WindowsDir + "\\" + icon), "%s exists before the installation", icon);
}

static void test_install(void)
{
    // Someone else's start-up entry, which the kit must leave alone.
    ok(RegPutString(HKEY_LOCAL_MACHINE, RunKey, "kit-test-other", "other.exe"), "seed Run");

    // What Explorer's Install command runs for an INF file.
    DWORD code = RunCommand("rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 " +
                                PackageDir + "\\install.inf",
                            60000);
    ok(code == 0, "installation: exit code %lu", code);

    for (const char *program : Programs)
        ok(SameFile(PackageDir + "\\" + program, InstallDir + "\\" + program),
           "%s not installed into %s", program, InstallDir.c_str());
    ok(SameFile(PackageDir + "\\install.inf", InstallDir + "\\install.inf"),
       "install.inf not kept for the uninstallation");
    ok(!FileExists(InstallDir + "\\readme.txt"), "readme.txt is for reading, not installing");
    for (const char *icon : CardIcons)
        ok(SameFile(PackageDir + "\\" + icon, WindowsDir + "\\" + icon),
           "%s not installed into %s", icon, WindowsDir.c_str());

    for (const char *name : {"tavlix", "morvex"}) {
        std::string want = "\"" + InstallDir + "\\" + name + ".exe\"";
        std::string got = ReadString(HKEY_LOCAL_MACHINE, RunKey, name);
        ok(got == want, "Run value %s is [%s], want [%s]", name, got.c_str(), want.c_str());
    }
    ok(ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "DisplayName") == "Card Reader Kit",
       "no Add/Remove Programs entry");
    std::string uninstall = ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString");
    ok(uninstall.find(InstallDir + "\\install.inf") != std::string::npos,
       "the uninstall string [%s] does not use the installed INF", uninstall.c_str());
}

// Letters D to Z whose icon key names a file; every such file must exist.
static int CountDriveIcons(void)
{
    int count = 0;
    for (char letter = 'D'; letter <= 'Z'; letter++) {
        std::string icon = ReadString(HKEY_CLASSES_ROOT, DriveIconKey(letter).c_str(), "");
        if (icon.empty())
            continue;
        count++;
        ok(FileExists(icon), "drive %c points at %s, which does not exist", letter, icon.c_str());
    }
    return count;
}

static void test_tavlix_from_run_entry(void)
{
    ok(PlugInReader(), "plug in the reader");
    ok(InsertCard(ReaderSlotSD, 'F'), "insert an SD card as F");
    SetProgramWindowsVersion("tavlix.exe", "win2k");

    std::string command = ReadString(HKEY_LOCAL_MACHINE, RunKey, "tavlix");
    DWORD pid = 0;
    HANDLE first = StartCommand(command, &pid);
    ok(first != NULL, "tavlix does not start from [%s]", command.c_str());
    HWND window = WaitForWindowOfClass("TAVLIX", pid, 60000);
    ok(window != NULL, "tavlix is not running");

    // On Windows 2000 tavlix scans the disks at start-up and gives F its icon.
    ok(window && WaitUntilIdle(window, 60000) && WaitForWorkersToEnd(window, 60000),
       "tavlix's start-up scan did not end");
    std::string icon = ReadString(HKEY_CLASSES_ROOT, DriveIconKey('F').c_str(), "");
    ok(lstrcmpiA(icon.c_str(), (WindowsDir + "\\sdico.ico").c_str()) == 0,
       "F's icon is [%s], want the installed SD icon", icon.c_str());
    ok(SameFile(icon, PackageDir + "\\sdico.ico"), "F's icon file is not the package's SD icon");
    ok(CountDriveIcons() >= 1, "no drive got an icon");

    // A second start from the same entry stops both.
    DWORD second = RunCommand(command, 60000);
    ok(second == 0, "second tavlix: exit code %lu", second);
    DWORD code = FinishProgram(first, 60000);
    ok(code == 0, "first tavlix: exit code %lu", code);
    ok(CountDriveIcons() == 0, "drive icons left after tavlix stopped");

    SetProgramWindowsVersion("tavlix.exe", "");
    ClearSimulatedDisks();
}

// A drive icon key as tavlix writes it on Windows 2000: volatile, like the
// parents it made on the way, which take no other kind of child.
static bool PutDriveIcon(char letter, const std::string &icon)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, DriveIconKey(letter).c_str(), 0, NULL,
                        REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL))
        return false;
    LONG rc = RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)icon.c_str(),
                             (DWORD)icon.size());
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

static void test_uninstall(void)
{
    // Traces of a tavlix that never got to stop, and a key that is not ours.
    ok(PutDriveIcon('G', WindowsDir + "\\msico.ico"), "seed G's icon");
    ok(RegPutString(HKEY_LOCAL_MACHINE, SettingsKey, "G", ""), "seed G's marker");
    ok(PutDriveIcon('C', "C:\\other.ico"), "seed C's icon");

    // What Add/Remove Programs runs.
    std::string uninstall = ReadString(HKEY_LOCAL_MACHINE, UninstallKey, "UninstallString");
    DWORD code = RunCommand(uninstall, 60000);
    ok(code == 0, "uninstallation: exit code %lu", code);

    for (const char *program : Programs)
        ok(!FileExists(InstallDir + "\\" + program), "%s left behind", program);
    ok(!FileExists(InstallDir + "\\install.inf"), "install.inf left behind");
    ok(!FolderExists(InstallDir), "%s left behind", InstallDir.c_str());
    for (const char *icon : CardIcons)
        ok(!FileExists(WindowsDir + "\\" + icon), "%s left behind", icon);

    ok(!RegValueExists(HKEY_LOCAL_MACHINE, RunKey, "tavlix"), "Run value tavlix left behind");
    ok(!RegValueExists(HKEY_LOCAL_MACHINE, RunKey, "morvex"), "Run value morvex left behind");
    ok(RegValueExists(HKEY_LOCAL_MACHINE, RunKey, "kit-test-other"),
       "another program's Run value was removed");
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, UninstallKey), "Add/Remove Programs entry left behind");
    ok(!RegKeyExists(HKEY_LOCAL_MACHINE, SettingsKey), "tavlix's settings left behind");
    ok(!RegKeyExists(HKEY_CLASSES_ROOT, DriveIconKey('G').c_str()), "G's icon key left behind");
    ok(RegKeyExists(HKEY_CLASSES_ROOT, DriveIconKey('C').c_str()),
       "C's icon key is not the kit's and must stay");

    RegRemoveTree(HKEY_CLASSES_ROOT, "Applications\\Explorer.exe\\Drives\\C");
    RegRemoveValue(HKEY_LOCAL_MACHINE, RunKey, "kit-test-other");
}

static std::string FullPath(const std::string &path)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof(full), full, NULL);
    return n > 0 && n < sizeof(full) ? std::string(full) : path;
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    // The build assembles the package beside the programs' folder.
    PackageDir = FullPath(KitProgramPath("..\\package\\" KIT_PACKAGE_NAME));
    char path[MAX_PATH];
    GetWindowsDirectoryA(path, sizeof(path));
    WindowsDir = path;
    SHGetFolderPathA(NULL, CSIDL_PROGRAM_FILES, NULL, 0, path);
    InstallDir = std::string(path) + "\\Card Reader Kit";

    RUN_TEST(test_package_contents);
    RUN_TEST(test_prefix_ready);
    RUN_TEST(test_install);
    RUN_TEST(test_tavlix_from_run_entry);
    RUN_TEST(test_uninstall);
    return FinishTests();
}
