// Disk list and volume resolution, the byte-level part.
#include "volumeprefix.h"

#include "../shell/asciitext.h"

namespace {

const unsigned PrefixFirstUnit = 27;        // "\??\STORAGE#RemovableMedia#"
const unsigned PrefixMaxChars = ParentPrefixSize - 1;
const unsigned PrefixEndingAmpersand = 3;   // the third '&' ends the prefix

const char DeviceKeyHead[] = "system\\CurrentControlSet\\Enum\\";

} // namespace

void FormatVolumeValueName(char letter, char *name)
{
    const char head[] = "\\DosDevices\\";
    unsigned n = 0;
    for (; head[n] != '\0'; n++)
        name[n] = head[n];
    name[n++] = letter;
    name[n++] = ':';
    name[n] = '\0';
}

int ExtractParentPrefix(const unsigned char *data, unsigned long size,
                        char *prefix)
{
    if (size < MountedDataMinSize || size > MountedDataMaxSize)
        return 0;
    // size >= 78 holds units 27..38, all this loop can read.
    const unsigned char *unit = data + 2 * PrefixFirstUnit;
    unsigned ampersands = 0;
    unsigned count = 0;
    while (count < PrefixMaxChars) {
        char c = (char)unit[2 * count];   // low byte; the high byte is ignored
        if (c == '&' && ++ampersands == PrefixEndingAmpersand)
            break;
        prefix[count++] = c;
    }
    prefix[count] = '\0';
    return 1;
}

void FormatDiskValueName(int index, char *name)
{
    // For 0..9 the single digit and "%02d" from 10 on are both the plain
    // decimal; a negative index gets the sign "%02d" would give it.
    unsigned n = 0;
    unsigned magnitude = (unsigned)index;
    if (index < 0) {
        name[n++] = '-';
        magnitude = 0u - magnitude;
    }
    FormatDecimal(magnitude, 1, name + n);
}

int FormatDeviceKeyName(const char *instancePath, char *keyName,
                        unsigned keyNameSize)
{
    if (TextCopy(keyName, keyNameSize, DeviceKeyHead)
        && TextAppend(keyName, keyNameSize, instancePath))
        return 1;
    if (keyNameSize > 0)
        keyName[0] = '\0';
    return 0;
}

unsigned TerminateRegistryText(char *buffer, unsigned bufferSize,
                               unsigned long bytesRead)
{
    if (bufferSize == 0)
        return 0;
    unsigned filled = bytesRead < bufferSize ? (unsigned)bytesRead : bufferSize;
    for (unsigned i = 0; i < filled; i++) {
        if (buffer[i] == '\0')
            return i;
    }
    unsigned end = filled < bufferSize ? filled : bufferSize - 1;
    buffer[end] = '\0';
    return end;
}

int RegistryTextComplete(const char *buffer, unsigned long bytesRead)
{
    for (unsigned long i = 0; i < bytesRead; i++) {
        if (buffer[i] == '\0')
            return 1;
    }
    return 0;
}

int ParentPrefixEquals(const char *volumePrefix, const char *idPrefixData,
                       unsigned long idPrefixBytes)
{
    for (unsigned long i = 0; i < idPrefixBytes; i++) {
        if (volumePrefix[i] != idPrefixData[i])
            return 0;
        if (volumePrefix[i] == '\0')
            return 1;             // both end here
    }
    // The data ended without a NUL; characters 0..idPrefixBytes-1 of the
    // volume prefix were equal to it and none was its NUL, so reading the
    // next one stays within the volume prefix.
    return volumePrefix[idPrefixBytes] == '\0';
}
