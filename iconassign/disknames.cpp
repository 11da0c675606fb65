// The names the disk list is read under: the disk service's value of each
// disk, and each disk's device key.
#include "disknames.h"

#include "../shell/asciitext.h"

static const char DeviceKeyHead[] = "system\\CurrentControlSet\\Enum\\";

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
    return JoinPath(keyName, keyNameSize, DeviceKeyHead, instancePath);
}
