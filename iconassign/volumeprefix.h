// Disk list and volume resolution, the byte-level part:
// the mounted-devices data, value and key names, and registry text that may
// lack its NUL. Pure: no Windows header. The registry calls around these
// belong to the Win32 side.
#ifndef VOLUMEPREFIX_H
#define VOLUMEPREFIX_H

enum {
    ParentPrefixSize = 13,        // a volume's parent prefix: 12 chars + NUL
    MountedDataMinSize = 78,      // 27 skipped UTF-16 units + 12 read
    MountedDataMaxSize = 260,
    VolumeValueNameSize = 15,     // "\DosDevices\X:" + NUL
    DiskValueNameSize = 12,       // "-2147483648" + NUL: any int fits
    DeviceKeyNameSize = 260       // "system\CurrentControlSet\Enum\" + path
};

// The value name of a drive in the mounted-devices table: "\DosDevices\%c:"
// with letter (callers pass 'A'..'Z'). name holds VolumeValueNameSize bytes.
void FormatVolumeValueName(char letter, char *name);

// Extracts a volume's parent prefix from its mounted-devices data of size
// bytes (UTF-16LE). Returns 0, leaving prefix untouched, when size is below
// 78 or above 260. Otherwise reads from unit 27 (byte 54) on, taking the low
// byte of each unit: the first and second '&' are copied, the third ends the
// text (not copied), at most 12 characters are taken. NUL units are copied as
// they are, so they end the text early. prefix (ParentPrefixSize bytes) is
// NUL-terminated; returns 1. Never reads past data + size.
int ExtractParentPrefix(const unsigned char *data, unsigned long size,
                        char *prefix);

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

// Makes registry string data into a NUL-terminated text inside buffer of
// bufferSize bytes, trusting no NUL in the data. bytesRead is what the query
// reported and may be anything, also more than bufferSize. Only the first
// min(bytesRead, bufferSize) bytes are looked at:
//   - a NUL among them ends the text there;
//   - none, and bytesRead < bufferSize: the NUL is put at bytesRead;
//   - none, and the data fills the buffer: the text is cut to bufferSize - 1
//     characters (a 260-byte disk value without NUL gives 259 characters).
// Returns the length of the resulting text. With bufferSize 0 nothing is
// written and 0 is returned.
unsigned TerminateRegistryText(char *buffer, unsigned bufferSize,
                               unsigned long bytesRead);

// Nonzero when the first bytesRead bytes of buffer hold a NUL. bytesRead
// must not exceed the buffer's size (a successful query never reports
// more than it was offered).
int RegistryTextComplete(const char *buffer, unsigned long bytesRead);

// Whole-string, case-sensitive comparison of a volume's parent prefix
// (NUL-terminated) with ParentIdPrefix data of idPrefixBytes bytes. The data
// text ends at its first NUL or, lacking one, at the end of the data. Equal
// only when both texts end at the same place. Never reads the data past
// idPrefixBytes, nor the volume prefix past its NUL. Two empty texts are
// equal (as whole-string comparison says).
int ParentPrefixEquals(const char *volumePrefix, const char *idPrefixData,
                       unsigned long idPrefixBytes);

#endif
