#include "exchange.h"
#include <setupapi.h>
#include <newdev.h>
#include <initguid.h>
#include <usbiodef.h>
#include "structsizes.h"
#include "readerid.h"
#include "servicename.h"

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

static InstalledDriverState CheckInstalledDriver(void)
{
    char path[DriverPathSize];
    FILETIME installed;
    if (!BuildInstalledDriverPath(path, sizeof(path), WindowsDir) ||
        !ReadLastWriteTime(path, &installed))
        return DriverUnreadable;
    return CompareFileTime(&ReferenceDriverTime, &installed) == 0 ? DriverCurrent : DriverDiffers;
}

// Forced installation of the reader's own driver for the devices with this
// hardware ID. Its outcome is not examined. Returns nonzero when requested.
static int InstallReaderDriver(const char *hardwareId)
{
    // Sized for any accepted Windows directory, not only for short ones.
    char infPath[InfPathSize];
    if (!BuildInfPath(infPath, sizeof(infPath), WindowsDir))
        return 0;
    UpdateDriverForPlugAndPlayDevicesA(NULL, hardwareId, infPath, INSTALLFLAG_FORCE, NULL);
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

// Walks the reader table for one device. Returns nonzero when an
// installation was requested for it.
static int ExchangeDeviceDriver(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    char hardwareId[ReaderHardwareIdSize + 2];
    if (!ReadDeviceText(set, device, SPDRP_HARDWAREID, hardwareId, ReaderHardwareIdSize))
        return 0;

    int requested = 0;
    for (const ReaderId *entry = ReaderIdTable; entry->VendorId; entry++) {
        if (!MatchReaderId(hardwareId, ReaderHardwareIdSize, entry))
            continue;
        // Read afresh for every entry: an installation may have changed it.
        char service[ServiceNameSize + 2];
        if (!ReadDeviceText(set, device, SPDRP_SERVICE, service, ServiceNameSize))
            continue;
        switch (ClassifyService(service, ServiceNameSize)) {
        case ServiceGenericStorage:
            requested |= InstallReaderDriver(hardwareId);
            break;
        case ServiceReaderDriver:
            switch (CheckInstalledDriver()) {
            case DriverUnreadable:
                return requested;
            case DriverDiffers:
                requested |= InstallReaderDriver(hardwareId);
                break;
            case DriverCurrent:
                break;
            }
            break;
        case ServiceOther:
            break;
        }
    }
    return requested;
}

int ExchangeDrivers(void)
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_USB_DEVICE, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    int requested = 0;
    SP_DEVINFO_DATA device;
    for (DWORD index = 0;; index++) {
        device.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        requested |= ExchangeDeviceDriver(set, &device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return requested;
}
