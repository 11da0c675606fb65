// morvex against a device tree and driver files that a broken or malicious
// system could hold: hardware ID lists at and past the 260 bytes it reads,
// IDs and service names without their NUL or of another type, service
// names at and past their 20 bytes, driver files that are directories or
// held open by someone else. Each scan must leave morvex running (a crash
// ends it), request exactly the installations the data still justifies,
// and go on to the devices after the one it passed over.
#include "harness.h"
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
// Where the last run's trace lines begin; one morvex runs at a time.
static size_t RunMark;

// The last run traced a line holding these parts, in order (any process:
// one morvex runs at a time).
#define ok_traced(...) CheckTracedAt(__FILE__, __LINE__, 0, RunMark, {__VA_ARGS__})

// One scan: morvex's start-up scan, then File > Exit. The requests, in
// the order they came.
static std::vector<InstallRequest> ScanOnce(void)
{
    DeleteFileA(Log.c_str());
    RunMark = TraceMark();
    DWORD code = RunStartupPass(Exe, "MORVEX", true, Log);
    ok(code == 0, "morvex's start-up pass: exit code 0x%lx", code);
    return ReadInstallRequests(Log);
}

static std::vector<std::string> RequestedIds(const std::vector<InstallRequest> &requests)
{
    std::vector<std::string> ids;
    for (size_t i = 0; i < requests.size(); i++)
        ids.push_back(requests[i].hardwareId);
    return ids;
}

static std::string Joined(const std::vector<std::string> &ids)
{
    std::string text;
    for (size_t i = 0; i < ids.size(); i++)
        text += (i ? ", " : "") + ids[i];
    return text;
}

static void CheckRequests(int line, const std::vector<InstallRequest> &requests,
                          const std::vector<std::string> &expected)
{
    std::vector<std::string> ids = RequestedIds(requests);
    CheckAt(__FILE__, line, ids == expected, "requested [%s], expected [%s]",
            Joined(ids).c_str(), Joined(expected).c_str());
}

// A reader whose properties the test then overwrites as it likes.
static bool AddReader(const char *instance, const char *firstId, const char *service)
{
    return AddDevice(instance, {firstId}, service, true);
}

static void RemoveReaders(const std::vector<const char *> &instances)
{
    for (size_t i = 0; i < instances.size(); i++)
        RemoveDevice(instances[i]);
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
static void test_hardware_id_lists(void)
{
    std::vector<const char *> readers = {
        "USB\\VID_0E5B&PID_0A17\\L260", "USB\\VID_0E5B&PID_0A17\\L261",
        "USB\\VID_0E5B&PID_0A17\\N260", "USB\\VID_0E5B&PID_0A17\\N020"};
    ok(AddReader(readers[0], "USB\\VID_0E5B&PID_0A17&REV_0260", "USBSTOR") &&
           PutDeviceValueBytes(readers[0], "HardwareID", REG_MULTI_SZ,
                               ListOf("USB\\VID_0E5B&PID_0A17&REV_0260", 260)),
       "260-byte list");
    ok(AddReader(readers[1], "USB\\VID_0E5B&PID_0A17&REV_0261", "USBSTOR") &&
           PutDeviceValueBytes(readers[1], "HardwareID", REG_MULTI_SZ,
                               ListOf("USB\\VID_0E5B&PID_0A17&REV_0261", 261)),
       "261-byte list");
    ok(AddReader(readers[2], "USB\\VID_0E5B&PID_0A17&REV_N260", "USBSTOR") &&
           PutDeviceValueBytes(readers[2], "HardwareID", REG_BINARY, NoNulId()),
       "260 bytes without NUL");
    // One character short of the product ID, and no NUL behind it.
    ok(AddReader(readers[3], "USB\\VID_0E5B&PID_0A17&REV_N020", "USBSTOR") &&
           PutDeviceValueBytes(readers[3], "HardwareID", REG_BINARY,
                               std::string("USB\\VID_0E5B&PID_0A1")),
       "20 bytes without NUL");
    CheckRequests(__LINE__, ScanOnce(),
                  {FirstId, "USB\\VID_0E5B&PID_0A17&REV_0260", NoNulId(), LastId});
    ok_traced("morvex: scan 1: device ", " skipped: its hardware ID cannot be read: "
              "122 (Insufficient buffer.)");
    RemoveReaders(readers);
}

// Service names compare whole and without regard to case. A name that does
// not fit the 20 bytes cannot be read and its device is passed over, also
// when the text before an embedded NUL would be "USBSTOR"; within the 20
// bytes the name ends at its NUL. The property's type is not examined.
static void test_service_names(void)
{
    struct Case {
        const char *instance;
        const char *firstId;
        DWORD type;
        std::string service; // empty: the device has no service value
        bool served;
    };
    const Case cases[] = {
        {"USB\\VID_0E5B&PID_0A17\\S001", "USB\\VID_0E5B&PID_0A17&REV_S001", REG_SZ,
         std::string("usbstor", 8), true},
        {"USB\\VID_0E5B&PID_0A17\\S019", "USB\\VID_0E5B&PID_0A17&REV_S019", REG_SZ,
         std::string("USBSTOR____________", 20), false},
        {"USB\\VID_0E5B&PID_0A17\\S020", "USB\\VID_0E5B&PID_0A17&REV_S020", REG_SZ,
         std::string("USBSTOR_____________", 21), false},
        {"USB\\VID_0E5B&PID_0A17\\S021", "USB\\VID_0E5B&PID_0A17&REV_S021", REG_BINARY,
         std::string("USBSTOR\0_____________", 21), false},
        {"USB\\VID_0E5B&PID_0A17\\S022", "USB\\VID_0E5B&PID_0A17&REV_S022", REG_BINARY,
         std::string("USBSTOR\0____________", 20), true},
        {"USB\\VID_0E5B&PID_0A17\\S023", "USB\\VID_0E5B&PID_0A17&REV_S023", REG_BINARY,
         std::string("USBSTORUSBSTORUSBSTO", 20), false},
        {"USB\\VID_0E5B&PID_0A17\\S024", "USB\\VID_0E5B&PID_0A17&REV_S024", REG_DWORD,
         std::string("USBSTOR", 8), true},
        {"USB\\VID_0E5B&PID_0A17\\S025", "USB\\VID_0E5B&PID_0A17&REV_S025", REG_SZ, "", false},
    };
    std::vector<const char *> readers;
    std::vector<std::string> expected = {FirstId};
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        const Case &c = cases[i];
        readers.push_back(c.instance);
        bool seeded = AddReader(c.instance, c.firstId, "HidUsb") &&
                      (c.service.empty()
                           ? RemoveDeviceValue(c.instance, "Service")
                           : PutDeviceValueBytes(c.instance, "Service", c.type, c.service));
        ok(seeded, "seed %s", c.instance);
        if (c.served)
            expected.push_back(c.firstId);
    }
    expected.push_back(LastId);
    CheckRequests(__LINE__, ScanOnce(), expected);
    ok_traced("morvex: scan 1: table entry 0e5b 0a17 skipped: its service cannot be read: "
              "122 (Insufficient buffer.): reader USB\\VID_0E5B&PID_0A17&REV_S020 (device ");
    RemoveReaders(readers);
}

// The installed driver file cannot be opened (a directory, or held open
// exclusively): no installation on that ground for the reader on its own
// service, and the reader after it is still served.
static void CheckInstalledDriverUnreadable(const char *what, const char *error)
{
    ok(SetDeviceService(First, "FLASHREADER") && SetDeviceService(Last, "USBSTOR"),
       "%s: services", what);
    CheckRequests(__LINE__, ScanOnce(), {LastId});
    ok_traced("morvex: scan 1: rest of the reader table skipped for this device: on service "
              "FLASHREADER, installed driver " InstalledPath " cannot be read: ",
              error, ": reader " FirstId " (device ");
    ok(SetDeviceService(First, "USBSTOR"), "%s: service back", what);
}

static void test_installed_driver_unreadable(void)
{
    // Readable and of another time than the reference: installation.
    ok(MakeFileWithTime(InstalledPath, FileTimeAtSeconds(60)), "installed driver");
    ok(SetDeviceService(First, "FLASHREADER"), "service");
    CheckRequests(__LINE__, ScanOnce(), {FirstId, LastId});

    HANDLE held = CreateFileA(InstalledPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ok(held != INVALID_HANDLE_VALUE, "installed driver held open: error %lu", GetLastError());
    CheckInstalledDriverUnreadable("held open", "32 (Sharing violation.)");
    CloseHandle(held);

    ok(DeleteFileA(InstalledPath) && CreateDirectoryA(InstalledPath, NULL),
       "installed driver replaced by a directory");
    CheckInstalledDriverUnreadable("directory", "5 (Access denied.)");
    RemoveDirectoryA(InstalledPath);
}

// The reference copy cannot be opened: morvex ends at once with 0, before
// any window or scan.
static void CheckEndsAtOnce(const char *what, const char *error)
{
    DeleteFileA(Log.c_str());
    RunMark = TraceMark();
    bool window = false;
    HANDLE process = StartProgram(Exe, "", true, Log);
    DWORD code = FinishProgramWatchingWindow(process, "MORVEX", 60000, &window);
    ok(code == 0, "%s: exit code 0x%lx", what, code);
    ok(!window, "%s: a window was created", what);
    ok(ReadInstallRequests(Log).empty(), "%s: a scan ran", what);
    ok_traced("morvex: start: ends: no reference driver: " ReferencePath " cannot be opened: ",
              error);
}

static void test_reference_unreadable(void)
{
    HANDLE held = CreateFileA(ReferencePath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ok(held != INVALID_HANDLE_VALUE, "reference held open: error %lu", GetLastError());
    CheckEndsAtOnce("reference held open", "32 (Sharing violation.)");
    CloseHandle(held);

    ok(DeleteFileA(ReferencePath) && CreateDirectoryA(ReferencePath, NULL),
       "reference replaced by a directory");
    CheckEndsAtOnce("reference is a directory", "5 (Access denied.)");
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
    ok(AddReader(Last, LastId, "USBSTOR") && AddReader(First, FirstId, "USBSTOR"),
       "first and last reader");
    // The devices under test lie between these two.
    CheckRequests(__LINE__, ScanOnce(), {FirstId, LastId});
    RUN_TEST(test_hardware_id_lists);
    RUN_TEST(test_service_names);
    RUN_TEST(test_installed_driver_unreadable);
    RUN_TEST(test_reference_unreadable);
    return FinishTests();
}
