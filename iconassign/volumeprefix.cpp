// A volume's parent prefix: its value name in the mounted-devices table,
// the prefix read from its data, and its comparison with a disk's.
#include "volumeprefix.h"

#include "../shell/asciitext.h"

namespace {

const unsigned PrefixFirstUnit = 27;        // "\??\STORAGE#RemovableMedia#"
const unsigned PrefixMaxChars = ParentPrefixSize - 1;
const unsigned PrefixEndingAmpersand = 3;   // the third '&' ends the prefix

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
