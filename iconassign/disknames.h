// The names the disk list is read under: the disk service's value of each
// disk, and each disk's device key. Pure: no Windows header.
#ifndef DISKNAMES_H
#define DISKNAMES_H

enum {
    DiskValueNameSize = 12,       // "-2147483648" + NUL: any int fits
    DeviceKeyNameSize = 260       // "system\CurrentControlSet\Enum\" + path
};

// The disk service's value name of disk index: the single digit for 0..9,
// "%02d" from 10 on (10 -> "10", 123 -> "123"). name holds DiskValueNameSize
// bytes. A negative index is never passed; it is formatted as "%02d" would
// format it ("-1", "-2147483648"), which fits and names no listed disk (it
// never aliases value "0").
void FormatDiskValueName(int index, char *name);

// Builds "system\CurrentControlSet\Enum\" + instancePath into keyName of
// keyNameSize bytes. Returns 1 when it fitted; otherwise 0 with keyName left
// empty (when keyNameSize allows): such a disk is passed over like one whose
// key cannot be opened. With DeviceKeyNameSize, paths up to 229 chars fit.
int FormatDeviceKeyName(const char *instancePath, char *keyName,
                        unsigned keyNameSize);

#endif
