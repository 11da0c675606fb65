// The simulated card reader, seeded through the real registry API.
#include "reader.h"
#include "harness.h"
#include <string.h>
#include <vector>

// Positions 28 ("_CARDREADER_") and 40 (kind code) of the first family:
// "USBSTOR\DISK&VEN_ZELMOT&PROD_" is 29 characters, so the underscore that
// ends "PROD_" is character 28 and the product text begins at 29.
const char *const ReaderDiskPaths[ReaderSlotCount] = {
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_CF&REV_1.00\\20040716000001&0",
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_SD&REV_1.00\\20040716000001&1",
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_SM&REV_1.00\\20040716000001&2",
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_CARDREADER_MS&REV_1.00\\20040716000001&3",
};
const char *const ReaderParentPrefixes[ReaderSlotCount] = {
    "7&1a2b3c4d&0", "7&2b3c4d5e&0", "7&3c4d5e6f&0", "7&4d5e6f70&0",
};

// "VEXLUNOR\DISK&VEN_ZELMOT_&PROD_U2" puts "_CARDREADER_" at 33, "CF" at 45.
const char VexlunorCfDiskPath[] =
    "VEXLUNOR\\DISK&VEN_ZELMOT_&PROD_U2_CARDREADER_CF&REV_1.00\\5&1f0d2c3b&0&0";
// An 8-character vendor puts the product's "SD" at 58.
const char FlashCardReaderSdDiskPath[] =
    "USB_FLASH_CARD_READER\\DISK&VEN_ZELMOTCO&PROD_MULTI_READER_SD&REV_1.00\\0000001&0";
// The product begins with an underscore, at 29.
const char VistocardMsDiskPath[] =
    "USBSTOR\\DISK&VEN_ZELMOT&PROD__VISTOCARD_6_IN_1&REV_1.00\\0123456789ABCD&3";
// "_MULTICARD_SLOT_" at 28, the slot letter at 44.
const char MultiCardSdDiskPath[] =
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_MULTICARD_SLOT_D&REV_1.00\\0123456789ABCD&1";
const char FlashDiskPath[] =
    "USBSTOR\\DISK&VEN_ZELMOT&PROD_USB_FLASH_DISK&REV_1.00\\0011223344556677&0";
const char SystemDiskPath[] =
    "IDE\\DISKKITDISK_80G_____________________1.00____\\5&2c6b0e6&0&0.0.0";

const char MountedDevicesKeyName[] = "SYSTEM\\MountedDevices";
const char DiskServiceKeyName[] = "system\\CurrentControlSet\\Services\\disk\\Enum";

static const char RemovableHead[] = "\\??\\STORAGE#RemovableMedia#";
static const char RemovableTail[] = "&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

// What this fixture wrote, so that clean-up removes exactly that.
static std::vector<std::string> SeededDevices;
static DWORD SeededLetters;               // bit n: \DosDevices\(A+n):
static int CardSlotOfLetter[26] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                   -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

// ---- single steps ----------------------------------------------------------

std::string DeviceKeyName(const char *instancePath)
{
    return std::string("system\\CurrentControlSet\\Enum\\") + instancePath;
}

static void RememberDevice(const char *instancePath)
{
    for (size_t i = 0; i < SeededDevices.size(); i++)
        if (SeededDevices[i] == instancePath)
            return;
    SeededDevices.push_back(instancePath);
}

bool AddDiskDevice(const char *instancePath, const char *parentIdPrefix)
{
    RememberDevice(instancePath);
    std::string key = DeviceKeyName(instancePath);
    if (!parentIdPrefix) {
        HKEY handle;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                            NULL, &handle, NULL))
            return false;
        RegCloseKey(handle);
        return true;
    }
    return RegPutString(HKEY_LOCAL_MACHINE, key.c_str(), "ParentIdPrefix", parentIdPrefix);
}

bool PutParentIdPrefixBytes(const char *instancePath, const std::string &data, DWORD type)
{
    RememberDevice(instancePath);
    return RegPutBytes(HKEY_LOCAL_MACHINE, DeviceKeyName(instancePath).c_str(),
                       "ParentIdPrefix", type, data.data(), (DWORD)data.size());
}

static DWORD ReadDiskCountValue(void)
{
    std::string data;
    DWORD count = 0;
    if (RegReadBytes(HKEY_LOCAL_MACHINE, DiskServiceKeyName, "Count", &data, NULL) &&
        data.size() == sizeof(count))
        memcpy(&count, data.data(), sizeof(count));
    return count;
}

bool SetDiskCount(DWORD count)
{
    return RegPutDword(HKEY_LOCAL_MACHINE, DiskServiceKeyName, "Count", count);
}

bool PutDiskValue(int index, const char *instancePath)
{
    return RegPutString(HKEY_LOCAL_MACHINE, DiskServiceKeyName,
                        std::to_string(index).c_str(), instancePath);
}

bool PutDiskValueBytes(int index, const std::string &data, DWORD type)
{
    return RegPutBytes(HKEY_LOCAL_MACHINE, DiskServiceKeyName, std::to_string(index).c_str(),
                       type, data.data(), (DWORD)data.size());
}

bool DeleteDiskValue(int index)
{
    return RegRemoveValue(HKEY_LOCAL_MACHINE, DiskServiceKeyName, std::to_string(index).c_str());
}

int ListDisk(const char *instancePath)
{
    DWORD count = ReadDiskCountValue();
    if (!PutDiskValue((int)count, instancePath) || !SetDiskCount(count + 1))
        return -1;
    return (int)count;
}

int ListDiskValueBytes(const std::string &data, DWORD type)
{
    DWORD count = ReadDiskCountValue();
    if (!PutDiskValueBytes((int)count, data, type) || !SetDiskCount(count + 1))
        return -1;
    return (int)count;
}

std::string RemovableVolumeData(const char *parentIdPrefix)
{
    std::string text = std::string(RemovableHead) + parentIdPrefix + RemovableTail;
    std::string data;
    for (size_t i = 0; i < text.size(); i++) {
        data += text[i];
        data += '\0';
    }
    return data;
}

static std::string VolumeValueName(char letter)
{
    return std::string("\\DosDevices\\") + letter + ":";
}

// A mounted volume is also a drive that exists: it shows in the logical
// drive mask, as a card's drive does on Windows.
static void DefineDrive(char letter, bool present)
{
    char name[3] = {letter, ':', '\0'};
    if (present) {
        CreateDirectoryA("C:\\kit-volumes", NULL);
        DefineDosDeviceA(0, name, "C:\\kit-volumes");
    } else {
        DefineDosDeviceA(DDD_REMOVE_DEFINITION, name, NULL);
    }
}

bool PutMountedDevice(char letter, const std::string &data)
{
    if (!(SeededLetters & (1u << (letter - 'A'))))
        DefineDrive(letter, true);
    SeededLetters |= 1u << (letter - 'A');
    return RegPutBytes(HKEY_LOCAL_MACHINE, MountedDevicesKeyName,
                       VolumeValueName(letter).c_str(), REG_BINARY, data.data(),
                       (DWORD)data.size());
}

bool RemoveMountedDevice(char letter)
{
    if (SeededLetters & (1u << (letter - 'A')))
        DefineDrive(letter, false);
    SeededLetters &= ~(1u << (letter - 'A'));
    return RegRemoveValue(HKEY_LOCAL_MACHINE, MountedDevicesKeyName,
                          VolumeValueName(letter).c_str());
}

// ---- the reader --------------------------------------------------------------

int AddNonCardDisk(const char *instancePath, const char *parentIdPrefix)
{
    if (!AddDiskDevice(instancePath, parentIdPrefix))
        return -1;
    return ListDisk(instancePath);
}

bool PlugInReader(void)
{
    bool done = true;
    for (int slot = 0; slot < ReaderSlotCount; slot++) {
        done = AddDiskDevice(ReaderDiskPaths[slot], ReaderParentPrefixes[slot]) && done;
        done = ListDisk(ReaderDiskPaths[slot]) >= 0 && done;
    }
    return done;
}

bool InsertCard(int slot, char letter)
{
    if (slot < 0 || slot >= ReaderSlotCount || letter < 'A' || letter > 'Z')
        return false;
    CardSlotOfLetter[letter - 'A'] = slot;
    return PutMountedDevice(letter, RemovableVolumeData(ReaderParentPrefixes[slot]));
}

bool RemoveCard(char letter)
{
    if (letter < 'A' || letter > 'Z')
        return false;
    CardSlotOfLetter[letter - 'A'] = -1;
    return RemoveMountedDevice(letter);
}

static bool IsReaderDisk(const std::string &path)
{
    for (int slot = 0; slot < ReaderSlotCount; slot++)
        if (path == ReaderDiskPaths[slot])
            return true;
    return false;
}

void UnplugReader(void)
{
    DWORD count = ReadDiskCountValue();
    std::vector<std::string> kept;
    for (DWORD i = 0; i < count; i++) {
        std::string data;
        if (!RegReadBytes(HKEY_LOCAL_MACHINE, DiskServiceKeyName, std::to_string(i).c_str(),
                          &data, NULL))
            continue;
        std::string path(data.c_str());
        if (!IsReaderDisk(path))
            kept.push_back(path);
    }
    for (DWORD i = 0; i < count; i++)
        DeleteDiskValue((int)i);
    for (size_t i = 0; i < kept.size(); i++)
        PutDiskValue((int)i, kept[i].c_str());
    SetDiskCount((DWORD)kept.size());
    for (int n = 0; n < 26; n++)
        if (CardSlotOfLetter[n] >= 0)
            RemoveCard((char)('A' + n));
}

void ClearSimulatedDisks(void)
{
    RegRemoveTree(HKEY_LOCAL_MACHINE, DiskServiceKeyName);
    for (size_t i = 0; i < SeededDevices.size(); i++)
        RegRemoveTree(HKEY_LOCAL_MACHINE, DeviceKeyName(SeededDevices[i].c_str()).c_str());
    SeededDevices.clear();
    for (int n = 0; n < 26; n++) {
        if (SeededLetters & (1u << n))
            RemoveMountedDevice((char)('A' + n));
        CardSlotOfLetter[n] = -1;
    }
}
