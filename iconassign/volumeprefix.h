// A volume's parent prefix, the byte-level part of volume resolution: the
// drive's value name in the mounted-devices table, the prefix read from its
// data, and its comparison with a disk's ParentIdPrefix. Pure: no Windows
// header; the registry calls around these belong to the Win32 side.
#ifndef VOLUMEPREFIX_H
#define VOLUMEPREFIX_H

enum {
    ParentPrefixSize = 13,        // a volume's parent prefix: 12 chars + NUL
    MountedDataMinSize = 78,      // 27 skipped UTF-16 units + 12 read
    MountedDataMaxSize = 260,
    VolumeValueNameSize = 15      // "\DosDevices\X:" + NUL
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

// Whole-string, case-sensitive comparison of a volume's parent prefix
// (NUL-terminated) with ParentIdPrefix data of idPrefixBytes bytes. The data
// text ends at its first NUL or, lacking one, at the end of the data. Equal
// only when both texts end at the same place. Never reads the data past
// idPrefixBytes, nor the volume prefix past its NUL. Two empty texts are
// equal (as whole-string comparison says).
int ParentPrefixEquals(const char *volumePrefix, const char *idPrefixData,
                       unsigned long idPrefixBytes);

#endif
