#include "exchange.h"
#include <setupapi.h>
#include <newdev.h>
#include <initguid.h>
#include <usbiodef.h>
#include "structsizes.h"
#include "readerid.h"
#include "servicename.h"
#include "trace.h"

char WindowsDir[WindowsDirSize];
FILETIME ReferenceDriverTime;

enum InstalledDriverState { DriverUnreadable, DriverCurrent, DriverDiffers };

int ReadLastWriteTime(const char *path, FILETIME *time)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    time->dwLowDateTime = 0;
    time->dwHighDateTime = 0;
    GetFileTime(file, NULL, NULL, time);
    CloseHandle(file);
    return 1;
}

void FormatFileTime(const FILETIME *time, char *text)
{
    SYSTEMTIME t;
    if (FileTimeToSystemTime(time, &t))
        wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u UTC", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    else // beyond the calendar the system converts
        wsprintfA(text, "0x%08lx%08lx", time->dwHighDateTime, time->dwLowDateTime);
}

// The trace line of a reader on the reader's own service says what the
// comparison saw, or why there was none.
static InstalledDriverState CheckInstalledDriver(unsigned long scan, const char *reader)
{
    char path[DriverPathSize];
    FILETIME installed;
    if (!BuildInstalledDriverPath(path, sizeof(path), WindowsDir) ||
        !ReadLastWriteTime(path, &installed)) {
        char error[ErrorTextSize];
        FormatLastError(error);
        Trace("scan %lu: %s: installed driver %s cannot be read: %s: rest of the reader "
              "table skipped for this device",
              scan, reader, path, error);
        return DriverUnreadable;
    }
    char installedTime[FileTimeTextSize];
    char referenceTime[FileTimeTextSize];
    FormatFileTime(&installed, installedTime);
    FormatFileTime(&ReferenceDriverTime, referenceTime);
    if (CompareFileTime(&ReferenceDriverTime, &installed) == 0) {
        Trace("scan %lu: %s: installed driver written %s, as the reference: left alone", scan,
              reader, installedTime);
        return DriverCurrent;
    }
    Trace("scan %lu: %s: installed driver written %s, the reference %s: its own driver "
          "to be installed again",
          scan, reader, installedTime, referenceTime);
    return DriverDiffers;
}

// Forced installation of the reader's own driver for the devices with this
// hardware ID. Its outcome is traced, not acted on. Returns nonzero when
// requested.
static int InstallReaderDriver(unsigned long scan, const char *hardwareId)
{
    // Sized for any accepted Windows directory, not only for short ones.
    char infPath[InfPathSize];
    if (!BuildInfPath(infPath, sizeof(infPath), WindowsDir)) {
        Trace("scan %lu: the INF path does not fit: no installation", scan);
        return 0;
    }
    Trace("scan %lu: installation requested for %s: INF %s, flags 1 (forced)", scan, hardwareId,
          infPath);
    // Primed: not every failure sets it, and an old code would mislead.
    SetLastError(0);
    BOOL done =
        UpdateDriverForPlugAndPlayDevicesA(NULL, hardwareId, infPath, INSTALLFLAG_FORCE, NULL);
    char error[ErrorTextSize];
    FormatLastError(error);
    Trace("scan %lu: installation returned %s, last error %s", scan, done ? "TRUE" : "FALSE",
          error);
    return 1;
}

static void ClearBuffer(char *buffer, unsigned size)
{
    for (unsigned i = 0; i < size; i++)
        buffer[i] = '\0';
}

// Reads a text property into buffer, which has two bytes more than offered
// so the text stays terminated whatever the device holds.
static int ReadDeviceText(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property,
                          char *buffer, unsigned offered)
{
    ClearBuffer(buffer, offered + 2);
    DWORD type;
    DWORD required;
    return SetupDiGetDeviceRegistryPropertyA(set, device, property, &type, (BYTE *)buffer,
                                             offered, &required) != FALSE;
}

struct ScanCounts {
    unsigned long readers;
    unsigned long requested;
};

// Walks the reader table for one device (index in the set).
static void ExchangeDeviceDriver(unsigned long scan, HDEVINFO set, SP_DEVINFO_DATA *device,
                                 DWORD index, ScanCounts *counts)
{
    char hardwareId[ReaderHardwareIdSize + 2];
    char error[ErrorTextSize];
    if (!ReadDeviceText(set, device, SPDRP_HARDWAREID, hardwareId, ReaderHardwareIdSize)) {
        FormatLastError(error);
        Trace("scan %lu: device %lu: hardware ID cannot be read: %s: skipped", scan, index, error);
        return;
    }
    int found = 0;
    for (const ReaderId *entry = ReaderIdTable; entry->VendorId; entry++) {
        if (!MatchReaderId(hardwareId, ReaderHardwareIdSize, entry))
            continue;
        if (!found) {
            found = 1;
            counts->readers++;
        }
        // Read afresh for every entry: an installation may have changed it.
        char service[ServiceNameSize + 2];
        if (!ReadDeviceText(set, device, SPDRP_SERVICE, service, ServiceNameSize)) {
            FormatLastError(error);
            Trace("scan %lu: reader %s (device %lu): its service cannot be read: %s: table "
                  "entry %s %s skipped",
                  scan, hardwareId, index, error, entry->VendorId, entry->ProductId);
            continue;
        }
        // Starts each line about this reader.
        char reader[ReaderHardwareIdSize + ServiceNameSize + 48];
        wsprintfA(reader, "reader %s (device %lu) on service %s", hardwareId, index, service);
        switch (ClassifyService(service, ServiceNameSize)) {
        case ServiceGenericStorage:
            Trace("scan %lu: %s, the generic storage one: its own driver to be installed", scan,
                  reader);
            counts->requested += InstallReaderDriver(scan, hardwareId);
            break;
        case ServiceReaderDriver:
            switch (CheckInstalledDriver(scan, reader)) {
            case DriverUnreadable:
                return;
            case DriverDiffers:
                counts->requested += InstallReaderDriver(scan, hardwareId);
                break;
            case DriverCurrent:
                break;
            }
            break;
        case ServiceOther:
            Trace("scan %lu: %s: neither USBSTOR nor FLASHREADER: left alone", scan, reader);
            break;
        }
    }
}

int ExchangeDrivers(unsigned long scan, const char *cause)
{
    Trace("scan %lu begun (%s)", scan, cause);
    ScanCounts counts = {0, 0};
    DWORD index = 0;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USB_DEVICE, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        char error[ErrorTextSize];
        FormatLastError(error);
        Trace("scan %lu: the present USB devices cannot be listed: %s", scan, error);
    } else {
        SP_DEVINFO_DATA device;
        for (;; index++) {
            device.cbSize = sizeof(SP_DEVINFO_DATA);
            if (!SetupDiEnumDeviceInfo(set, index, &device))
                break;
            ExchangeDeviceDriver(scan, set, &device, index, &counts);
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    Trace("scan %lu ended: %lu present USB devices, %lu readers, %lu installations requested",
          scan, (unsigned long)index, counts.readers, counts.requested);
    return (int)counts.requested;
}
