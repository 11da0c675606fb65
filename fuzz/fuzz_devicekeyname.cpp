// FormatDeviceKeyName: a disk's instance path into the name of its device
// key. Input: one byte choosing the buffer size (0 means the program's
// DeviceKeyNameSize, n > 0 means n - 1 bytes), then the instance path.
#include "fuzzcheck.h"
#include "iconassign/disknames.h"

namespace {

const char Head[] = "system\\CurrentControlSet\\Enum\\";
const size_t HeadLength = sizeof Head - 1;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    uint8_t choice = input.TakeByte();
    unsigned keyNameSize = choice == 0 ? (unsigned)DeviceKeyNameSize : choice - 1u;
    Block path = input.TakeText();
    size_t pathLength = path.size() - 1;

    Block keyName(keyNameSize);
    int fitted = FormatDeviceKeyName(path.data(), keyName.data(), keyNameSize);

    FUZZ_CHECK((fitted != 0) == (HeadLength + pathLength < keyNameSize));
    if (choice == 0)
        FUZZ_CHECK((fitted != 0) == (pathLength <= 229));
    if (fitted) {
        FUZZ_CHECK(std::memcmp(keyName.data(), Head, HeadLength) == 0);
        FUZZ_CHECK(std::memcmp(keyName.data() + HeadLength, path.data(), pathLength + 1) == 0);
    } else if (keyNameSize > 0) {
        // A cut name would open another device's key: it is left empty.
        FUZZ_CHECK(keyName.data()[0] == '\0');
    }
    return 0;
}
