#include "exchange.h"
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <usbiodef.h>
#include "driverinstall.h"
#include "drivertime.h"
#include "errortext.h"
#include "morvexstate.h"
#include "structsizes.h"
#include "readerid.h"
#include "servicename.h"
#include "trace.h"

// The installed driver file as read for a reader on the reader's own service.
struct InstalledDriver {
    char path[DriverPathSize];
    DWORD error; // why it could not be opened; 0 when it was
    FILETIME written;
};

static void ReadInstalledDriver(InstalledDriver *driver)
{
    // Always fits (driverpaths.h).
    BuildInstalledDriverPath(driver->path, sizeof(driver->path), WindowsDir);
    driver->error = ReadLastWriteTime(driver->path, &driver->written);
}

enum InstalledDriverState {
    InstalledUnreadable, // nothing to compare: the rest of the table is skipped
    InstalledCurrent,    // written when the reference copy was: left alone
    InstalledDiffers     // its own driver is installed again
};

static InstalledDriverState CheckInstalledDriver(const InstalledDriver *driver)
{
    if (driver->error)
        return InstalledUnreadable;
    return CompareFileTime(&ReferenceDriverTime, &driver->written) == 0 ? InstalledCurrent
                                                                         : InstalledDiffers;
}

// One line about a reader: decision and reason come ahead of the reader's
// hardware ID, so a line cut to fit the trace loses the end of the ID first.
static void TraceReader(unsigned long scan, const char *decision, const char *service,
                        const char *reason, const char *reader)
{
    Trace("scan %lu: %s: on service %s, %s: %s", scan, decision, service, reason, reader);
}

static void TraceInstalledDriver(unsigned long scan, const char *reader, const char *service,
                                 InstalledDriverState state, const InstalledDriver *driver)
{
    const char *decision = "rest of the reader table skipped for this device";
    char reason[DriverPathSize + ErrorTextSize + 48];
    char error[ErrorTextSize];
    char written[FileTimeTextSize];
    char reference[FileTimeTextSize];
    switch (state) {
    case InstalledUnreadable:
        FormatErrorText(driver->error, error, sizeof(error));
        wsprintfA(reason, "installed driver %s cannot be read: %s", driver->path, error);
        break;
    case InstalledCurrent:
        decision = "left alone";
        FormatFileTime(&driver->written, written);
        wsprintfA(reason, "installed driver written %s, as the reference", written);
        break;
    case InstalledDiffers:
        decision = "its own driver to be installed again";
        FormatFileTime(&driver->written, written);
        FormatFileTime(&ReferenceDriverTime, reference);
        wsprintfA(reason, "installed driver written %s, the reference %s", written, reference);
        break;
    }
    TraceReader(scan, decision, service, reason, reader);
}

// Forced installation of the reader's own driver for the devices with this
// hardware ID. Returns nonzero when requested.
static int InstallReaderDriver(unsigned long scan, const char *hardwareId)
{
    // Sized for any accepted Windows directory, not only for short ones.
    char infPath[InfPathSize];
    BuildInfPath(infPath, sizeof(infPath), WindowsDir);
    Trace("scan %lu: installation requested for %s: INF %s, flags 1 (forced)", scan, hardwareId,
          infPath);
    InstallOutcome outcome = InstallDriver(hardwareId, infPath, INSTALLFLAG_FORCE);
    char text[InstallOutcomeTextSize];
    FormatInstallOutcome(&outcome, text);
    Trace("scan %lu: %s", scan, text);
    return 1;
}

static void ClearBuffer(char *buffer, unsigned size)
{
    for (unsigned i = 0; i < size; i++)
        buffer[i] = '\0';
}

// Reads a text property into buffer, which has two bytes more than offered
// so the text stays terminated whatever the device holds. Returns 0, or the
// error of the query.
static DWORD ReadDeviceText(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property,
                            char *buffer, unsigned offered)
{
    ClearBuffer(buffer, offered + 2);
    DWORD type;
    DWORD required;
    if (SetupDiGetDeviceRegistryPropertyA(set, device, property, &type, (BYTE *)buffer, offered,
                                          &required))
        return 0;
    DWORD error = GetLastError();
    return error ? error : ERROR_INVALID_DATA;
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
    char text[ErrorTextSize];
    DWORD error = ReadDeviceText(set, device, SPDRP_HARDWAREID, hardwareId, ReaderHardwareIdSize);
    if (error) {
        FormatErrorText(error, text, sizeof(text));
        Trace("scan %lu: device %lu skipped: its hardware ID cannot be read: %s", scan, index,
              text);
        return;
    }
    // Ends each line about this reader.
    char reader[ReaderHardwareIdSize + 32];
    wsprintfA(reader, "reader %s (device %lu)", hardwareId, index);
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
        error = ReadDeviceText(set, device, SPDRP_SERVICE, service, ServiceNameSize);
        if (error) {
            FormatErrorText(error, text, sizeof(text));
            Trace("scan %lu: table entry %s %s skipped: its service cannot be read: %s: %s", scan,
                  entry->VendorId, entry->ProductId, text, reader);
            continue;
        }
        switch (ClassifyService(service, ServiceNameSize)) {
        case ServiceGenericStorage:
            TraceReader(scan, "its own driver to be installed", service,
                        "the generic storage one", reader);
            counts->requested += InstallReaderDriver(scan, hardwareId);
            break;
        case ServiceReaderDriver: {
            InstalledDriver driver;
            ReadInstalledDriver(&driver);
            InstalledDriverState state = CheckInstalledDriver(&driver);
            TraceInstalledDriver(scan, reader, service, state, &driver);
            if (state == InstalledDiffers)
                counts->requested += InstallReaderDriver(scan, hardwareId);
            else if (state == InstalledUnreadable)
                return;
            break;
        }
        case ServiceOther:
            TraceReader(scan, "left alone", service, "neither USBSTOR nor FLASHREADER", reader);
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
