// morvex against a device tree and driver files that a broken or malicious
// system could hold: hardware ID lists at and past the 260 bytes it reads,
// IDs and service names without their NUL or of another type, service
// names at and past their 20 bytes, driver files that are missing,
// directories or held open by someone else. Each scan must leave morvex
// running (a crash ends it), request exactly the installations the data
// still justifies, and go on to the devices after the one it passed over.
#include "morvexrun.h"
#include "tracereader.h"

#define ReferencePath "C:\\windows\\zelmot\\zelmot.sys"
#define InstalledPath "C:\\windows\\system32\\drivers\\zelmot.sys"

// Every device carries the reader's IDs; its revision names it in the log.
// The present-USB-device set lists devices in the order of their instance
// names, so "A..." comes first and "Z..." last.
#define First "USB\\VID_0E5B&PID_0A17\\A000"
#define FirstId "USB\\VID_0E5B&PID_0A17&REV_A000"
#define Last "USB\\VID_0E5B&PID_0A17\\Z999"
#define LastId "USB\\VID_0E5B&PID_0A17&REV_Z999"

static std::string Exe;
static std::string Log;
// The hostile devices, taken away after their scan.
static std::vector<std::string> Seeded;

// One scan: morvex's start-up scan, then File > Exit.
static MorvexRun ScanOnce_(At at)
{
    MorvexRun run;
    StartMorvex_(at, Exe, Log, &run);
    ExitMorvex_(at, &run);
    return run;
}
#define ScanOnce() ScanOnce_(HERE)

// A reader whose properties the test then overwrites as it likes.
static bool AddReader(const char *instance, const char *firstId, const char *service)
{
    Seeded.push_back(instance);
    return AddDevice(instance, {firstId}, service, true);
}

// A hardware ID list of exactly size bytes: the first ID, a filler ID and
// the empty string that ends the list.
static std::string ListOf(const std::string &firstId, size_t size)
{
    std::string list = firstId + '\0' + std::string(size - firstId.size() - 3, 'X') + '\0';
    return list + '\0';
}

static std::string NoNulId(void)
{
    std::string id = "USB\\Vid_0e5b&Pid_0a17&Rev_N260_";
    return id + std::string(260 - id.size(), 'x');
}

// A list too long for the buffer cannot be read and its device is passed
// over, although its first ID alone would match; at the limit it is read.
// An ID without NUL ends where its data ends and is passed on unchanged.
// Served in name order: L260, N260.
static void SeedHardwareIdLists(void)
{
    ok(AddReader("USB\\VID_0E5B&PID_0A17\\L260", "USB\\VID_0E5B&PID_0A17&REV_0260", "USBSTOR") &&
           PutDeviceValueBytes("USB\\VID_0E5B&PID_0A17\\L260", "HardwareID", REG_MULTI_SZ,
                               ListOf("USB\\VID_0E5B&PID_0A17&REV_0260", 260)),
       "260-byte list");
    ok(AddReader("USB\\VID_0E5B&PID_0A17\\L261", "USB\\VID_0E5B&PID_0A17&REV_0261", "USBSTOR") &&
           PutDeviceValueBytes("USB\\VID_0E5B&PID_0A17\\L261", "HardwareID", REG_MULTI_SZ,
                               ListOf("USB\\VID_0E5B&PID_0A17&REV_0261", 261)),
       "261-byte list");
    ok(AddReader("USB\\VID_0E5B&PID_0A17\\N260", "USB\\VID_0E5B&PID_0A17&REV_N260", "USBSTOR") &&
           PutDeviceValueBytes("USB\\VID_0E5B&PID_0A17\\N260", "HardwareID", REG_BINARY,
                               NoNulId()),
       "260 bytes without NUL");
    // One character short of the product ID, and no NUL behind it.
    ok(AddReader("USB\\VID_0E5B&PID_0A17\\N020", "USB\\VID_0E5B&PID_0A17&REV_N020", "USBSTOR") &&
           PutDeviceValueBytes("USB\\VID_0E5B&PID_0A17\\N020", "HardwareID", REG_BINARY,
                               std::string("USB\\VID_0E5B&PID_0A1")),
       "20 bytes without NUL");
}

// Service names compare whole and without regard to case. A name that does
// not fit the 20 bytes cannot be read and its device is passed over, also
// when the text before an embedded NUL would be "USBSTOR"; within the 20
// bytes the name ends at its NUL. The property's type is not examined.
// Served: S001, S022, S024.
static void SeedServiceNames(void)
{
    const struct {
        const char *instance;
        const char *firstId;
        DWORD type;
        std::string service; // empty: the device has no service value
    } cases[] = {
        {"USB\\VID_0E5B&PID_0A17\\S001", "USB\\VID_0E5B&PID_0A17&REV_S001", REG_SZ,
         std::string("usbstor", 8)},
        {"USB\\VID_0E5B&PID_0A17\\S019", "USB\\VID_0E5B&PID_0A17&REV_S019", REG_SZ,
         std::string("USBSTOR____________", 20)},
        {"USB\\VID_0E5B&PID_0A17\\S020", "USB\\VID_0E5B&PID_0A17&REV_S020", REG_SZ,
         std::string("USBSTOR_____________", 21)},
        {"USB\\VID_0E5B&PID_0A17\\S021", "USB\\VID_0E5B&PID_0A17&REV_S021", REG_BINARY,
         std::string("USBSTOR\0_____________", 21)},
        {"USB\\VID_0E5B&PID_0A17\\S022", "USB\\VID_0E5B&PID_0A17&REV_S022", REG_BINARY,
         std::string("USBSTOR\0____________", 20)},
        {"USB\\VID_0E5B&PID_0A17\\S023", "USB\\VID_0E5B&PID_0A17&REV_S023", REG_BINARY,
         std::string("USBSTORUSBSTORUSBSTO", 20)},
        {"USB\\VID_0E5B&PID_0A17\\S024", "USB\\VID_0E5B&PID_0A17&REV_S024", REG_DWORD,
         std::string("USBSTOR", 8)},
        {"USB\\VID_0E5B&PID_0A17\\S025", "USB\\VID_0E5B&PID_0A17&REV_S025", REG_SZ, ""},
    };
    for (const auto &c : cases) {
        bool seeded = AddReader(c.instance, c.firstId, "HidUsb") &&
                      (c.service.empty()
                           ? RemoveDeviceValue(c.instance, "Service")
                           : PutDeviceValueBytes(c.instance, "Service", c.type, c.service));
        ok(seeded, "seed %s", c.instance);
    }
}

// One scan over every hostile device, between the first and the last
// reader: each passed over or served by its own data only.
static void test_hostile_properties(void)
{
    SeedHardwareIdLists();
    SeedServiceNames();
    MorvexRun run = ScanOnce();
    CheckRequests(Log, FirstId, "USB\\VID_0E5B&PID_0A17&REV_0260", NoNulId(),
                  "USB\\VID_0E5B&PID_0A17&REV_S001", "USB\\VID_0E5B&PID_0A17&REV_S022",
                  "USB\\VID_0E5B&PID_0A17&REV_S024", LastId);
    ok_traced_by(run, "morvex: scan 1: device ",
                 " skipped: its hardware ID cannot be read: 122 (Insufficient buffer.)");
    ok_traced_by(run, "morvex: scan 1: table entry 0e5b 0a17 skipped: its service cannot be "
                      "read: 122 (Insufficient buffer.): reader "
                      "USB\\VID_0E5B&PID_0A17&REV_S020 (device ");
    ok_traced_by(run, "morvex: scan 1 ended: ", "7 installations requested");
    for (const std::string &instance : Seeded)
        RemoveDevice(instance.c_str());
}

// The installed driver file cannot be opened (missing, a directory, or held
// open exclusively): no installation on that ground for the reader on its
// own service, and the reader after it is still served.
static void CheckInstalledDriverUnreadable_(At at, const char *error)
{
    MorvexRun run = ScanOnce_(at);
    CheckRequests_(at, Log, {LastId});
    CheckTracedAt(at.file, at.line, run.pid, run.mark,
                  {"morvex: scan 1: rest of the reader table skipped for this device: on service "
                   "FLASHREADER, installed driver " InstalledPath " cannot be read: ",
                   error, ": reader " FirstId " (device "});
}
#define CheckInstalledDriverUnreadable(error) CheckInstalledDriverUnreadable_(HERE, error)

static void test_installed_driver_unreadable(void)
{
    ok(SetDeviceService(First, "FLASHREADER"), "service");
    DeleteFileA(InstalledPath);
    CheckInstalledDriverUnreadable("2 (File not found.)");

    ok(MakeFileWithTime(InstalledPath, FileTimeAtSeconds(60)), "installed driver");
    HANDLE held = CreateFileA(InstalledPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ok(held != INVALID_HANDLE_VALUE, "installed driver held open: error %lu", GetLastError());
    CheckInstalledDriverUnreadable("32 (Sharing violation.)");
    CloseHandle(held);

    ok(DeleteFileA(InstalledPath) && CreateDirectoryA(InstalledPath, NULL),
       "installed driver replaced by a directory");
    CheckInstalledDriverUnreadable("5 (Access denied.)");
    RemoveDirectoryA(InstalledPath);
    ok(SetDeviceService(First, "USBSTOR"), "service back");
}

// The reference copy cannot be opened: morvex ends at once with 0, before
// any window or scan.
static void test_reference_unreadable(void)
{
    DeleteFileA(ReferencePath);
    CheckEndsAtOnce(Exe, Log, "morvex: start: ends: no reference driver: " ReferencePath
                              " cannot be opened: 2 (File not found.)");

    ok(MakeFileWithTime(ReferencePath, FileTimeAtSeconds(0)), "reference");
    HANDLE held = CreateFileA(ReferencePath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ok(held != INVALID_HANDLE_VALUE, "reference held open: error %lu", GetLastError());
    CheckEndsAtOnce(Exe, Log, "morvex: start: ends: no reference driver: " ReferencePath
                              " cannot be opened: 32 (Sharing violation.)");
    CloseHandle(held);

    ok(DeleteFileA(ReferencePath) && CreateDirectoryA(ReferencePath, NULL),
       "reference replaced by a directory");
    CheckEndsAtOnce(Exe, Log, "morvex: start: ends: no reference driver: " ReferencePath
                              " cannot be opened: 5 (Access denied.)");
    RemoveDirectoryA(ReferencePath);
    ok(MakeFileWithTime(ReferencePath, FileTimeAtSeconds(0)), "reference back");
}

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    std::string folder = MakeWorkFolder("hostile-morvex");
    Exe = CopyProgramTo(folder, "morvex.exe");
    Log = NewdevLogPath(folder);
    InstallNewdevRecorder(folder);
    CreateDirectoryA("C:\\windows\\zelmot", NULL);
    ok(MakeFileWithTime(ReferencePath, FileTimeAtSeconds(0)), "reference copy");
    // Made last first: the scan's order is that of the names.
    ok(AddDevice(Last, {LastId}, "USBSTOR", true) && AddDevice(First, {FirstId}, "USBSTOR", true),
       "first and last reader");
    RUN_TEST(test_hostile_properties);
    RUN_TEST(test_installed_driver_unreadable);
    RUN_TEST(test_reference_unreadable);
    return FinishTests();
}
