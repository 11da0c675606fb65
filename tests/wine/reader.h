// The simulated card reader: a USB reader with CF, SD, SM and MS slots,
// seeded through the registry the way Windows leaves it. Each slot is a
// disk of the disk service (system\CurrentControlSet\Services\disk\Enum,
// "Count" and "0".."n"), each disk has its device key under
// system\CurrentControlSet\Enum with a ParentIdPrefix, and an inserted card
// is a volume: a \DosDevices\X: value in HKLM\SYSTEM\MountedDevices.
//
// MountedDevices is volatile and rebuilt at every wineserver start: seed it
// from inside the test program, whose wineserver lives as long as it does.
#ifndef READER_H
#define READER_H

#include <windows.h>
#include <string>

enum ReaderSlot { ReaderSlotCF, ReaderSlotSD, ReaderSlotSM, ReaderSlotMS, ReaderSlotCount };

// The reader's four disks, one per logical unit ("&0".."&3"), in slot
// order; their ParentIdPrefix values (12 characters, two ampersands).
extern const char *const ReaderDiskPaths[ReaderSlotCount];
extern const char *const ReaderParentPrefixes[ReaderSlotCount];

// Card-slot disks of the other families and product patterns.
extern const char VexlunorCfDiskPath[];        // read 5 positions later: CF
extern const char FlashCardReaderSdDiskPath[]; // kind code at 58: SD
extern const char VistocardMsDiskPath[];       // ends in '3': MS
extern const char MultiCardSdDiskPath[];       // slot letter 'D': SD
// Disks that are no card slot.
extern const char FlashDiskPath[];             // a USB flash disk
extern const char SystemDiskPath[];            // the IDE system disk

// Keys under HKEY_LOCAL_MACHINE.
extern const char MountedDevicesKeyName[];
extern const char DiskServiceKeyName[];

// ---- single steps ----------------------------------------------------------
// system\CurrentControlSet\Enum\<instancePath>
std::string DeviceKeyName(const char *instancePath);
// The disk's device key, with a REG_SZ ParentIdPrefix unless prefix is null.
bool AddDiskDevice(const char *instancePath, const char *parentIdPrefix);
// ParentIdPrefix as raw bytes of any type (for data without its NUL).
bool PutParentIdPrefixBytes(const char *instancePath, const std::string &data, DWORD type);
// Appends the path to the disk service's list and raises Count; returns
// the disk's index, or -1.
int ListDisk(const char *instancePath);
// Appends raw bytes of any type as the list's next value and raises Count
// (for a value without its NUL, or longer than a query takes); returns the
// value's index, or -1.
int ListDiskValueBytes(const std::string &data, DWORD type);
// Value index of the disk service's list ("0".."9", then "10"...).
bool PutDiskValue(int index, const char *instancePath);
bool PutDiskValueBytes(int index, const std::string &data, DWORD type);
bool DeleteDiskValue(int index);
bool SetDiskCount(DWORD count);
// The mounted-devices data of a removable-media volume on the disk with
// this ParentIdPrefix: \??\STORAGE#RemovableMedia#<prefix>&RM#{class},
// UTF-16LE without NUL.
std::string RemovableVolumeData(const char *parentIdPrefix);
bool PutMountedDevice(char letter, const std::string &data);
bool RemoveMountedDevice(char letter);

// ---- the reader --------------------------------------------------------------
// A disk that is no card slot (or any disk a test wants): device key plus
// its place in the list. Returns its index, or -1.
int AddNonCardDisk(const char *instancePath, const char *parentIdPrefix);
// The reader's four disks: device keys, listed after the disks listed so far.
bool PlugInReader(void);
// A card in the slot: its volume appears as drive letter.
bool InsertCard(int slot, char letter);
bool RemoveCard(char letter);
// The reader's disks leave the list (the others move up, as the disk
// service renumbers them) and its cards' volumes go; device keys stay, as
// Windows keeps them for devices that are not present.
void UnplugReader(void);
// Removes everything this fixture seeded: the disk service's list, every
// device key and every volume value it wrote.
void ClearSimulatedDisks(void);

#endif
