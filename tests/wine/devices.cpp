// Fake devices for the tests, made through the Setup API the way a driver
// installation would leave them in the device tree.
#include "harness.h"
#include <initguid.h>
#include <devguid.h>
#include <usbiodef.h>
#include <string.h>

static HDEVINFO OpenDevice(const char *instanceId, SP_DEVINFO_DATA *device)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(NULL, NULL);
    if (set == INVALID_HANDLE_VALUE)
        return set;
    device->cbSize = sizeof(*device);
    if (!SetupDiOpenDeviceInfoA(set, instanceId, NULL, 0, device)) {
        SetupDiDestroyDeviceInfoList(set);
        return INVALID_HANDLE_VALUE;
    }
    return set;
}

static std::string MultiString(const std::vector<std::string> &strings)
{
    std::string bytes;
    for (size_t i = 0; i < strings.size(); i++) {
        bytes += strings[i];
        bytes += '\0';
    }
    bytes += '\0';
    return bytes;
}

// The present-USB-device enumeration lists a device through its interface,
// which Wine counts only once the interface is linked.
static bool AddUsbInterface(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    SP_DEVICE_INTERFACE_DATA iface;
    iface.cbSize = sizeof(iface);
    if (!SetupDiCreateDeviceInterfaceA(set, device, &GUID_DEVINTERFACE_USB_DEVICE, NULL, 0,
                                       &iface))
        return false;
    char buffer[1024];
    SP_DEVICE_INTERFACE_DETAIL_DATA_A *detail = (SP_DEVICE_INTERFACE_DETAIL_DATA_A *)buffer;
    detail->cbSize = sizeof(*detail);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, sizeof(buffer), NULL, NULL))
        return false;
    std::string path = detail->DevicePath; // \\?\usb#vid_...#{guid}
    std::string key = "System\\CurrentControlSet\\Control\\DeviceClasses\\"
                      "{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\##?#" + path.substr(4) +
                      "\\#\\Control";
    return RegPutDword(HKEY_LOCAL_MACHINE, key.c_str(), "Linked", 1);
}

bool AddDevice(const char *instanceId, const std::vector<std::string> &hardwareIds,
               const char *service, bool usbInterface, const std::string &hardwareIdsRaw)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_USB, NULL);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof(device);
    bool done = false;
    std::string ids = hardwareIdsRaw.empty() ? MultiString(hardwareIds) : hardwareIdsRaw;
    if (SetupDiCreateDeviceInfoA(set, instanceId, &GUID_DEVCLASS_USB, NULL, NULL, 0, &device) &&
        SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                          (const BYTE *)ids.data(), (DWORD)ids.size()) &&
        SetupDiRegisterDeviceInfo(set, &device, 0, NULL, NULL, NULL)) {
        done = true;
        if (service)
            done = SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                                     (const BYTE *)service,
                                                     (DWORD)strlen(service) + 1);
        if (done && usbInterface)
            done = AddUsbInterface(set, &device);
    }
    if (!done)
        printf("cannot add device %s: error %lu\n", instanceId, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
    return done;
}

bool SetDeviceService(const char *instanceId, const char *service)
{
    SP_DEVINFO_DATA device;
    HDEVINFO set = OpenDevice(instanceId, &device);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    BOOL done = SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                                  (const BYTE *)service,
                                                  (DWORD)strlen(service) + 1);
    SetupDiDestroyDeviceInfoList(set);
    return done != FALSE;
}

std::string GetDeviceService(const char *instanceId)
{
    SP_DEVINFO_DATA device;
    HDEVINFO set = OpenDevice(instanceId, &device);
    if (set == INVALID_HANDLE_VALUE)
        return "";
    char service[256] = "";
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE, NULL, (BYTE *)service,
                                           sizeof(service) - 1, NULL))
        service[0] = '\0';
    SetupDiDestroyDeviceInfoList(set);
    return service;
}

bool RemoveDevice(const char *instanceId)
{
    SP_DEVINFO_DATA device;
    HDEVINFO set = OpenDevice(instanceId, &device);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    BOOL done = SetupDiRemoveDevice(set, &device);
    SetupDiDestroyDeviceInfoList(set);
    return done != FALSE;
}

static std::string DeviceRegistryKey(const char *instanceId)
{
    return std::string("System\\CurrentControlSet\\Enum\\") + instanceId;
}

bool PutDeviceValueBytes(const char *instanceId, const char *valueName, DWORD type,
                         const std::string &data)
{
    return RegPutBytes(HKEY_LOCAL_MACHINE, DeviceRegistryKey(instanceId).c_str(), valueName,
                       type, data.data(), (DWORD)data.size());
}

bool RemoveDeviceValue(const char *instanceId, const char *valueName)
{
    return RegRemoveValue(HKEY_LOCAL_MACHINE, DeviceRegistryKey(instanceId).c_str(), valueName);
}
