// FormatDiskValueName for any index: the disk service's value names.
// Input: the index, 4 bytes little-endian.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "fuzzcheck.h"
#include "iconassign/disknames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    int index = (int)input.TakeUint(4);

    Block name(DiskValueNameSize);
    FormatDiskValueName(index, name.data());
    const void *nul = std::memchr(name.data(), '\0', name.size());
    FUZZ_CHECK(nul != nullptr);

    // The name reads back as the index: no two disks share a value name
    // and a negative index never aliases a listed one.
    char *end = nullptr;
    errno = 0;
    long parsed = std::strtol(name.data(), &end, 10);
    FUZZ_CHECK(errno == 0 && end == nul && parsed == index);

    // The single digit below 10, "%02d" from 10 on and for negatives.
    char expected[DiskValueNameSize + 8];
    if (index >= 0 && index <= 9)
        std::snprintf(expected, sizeof expected, "%d", index);
    else
        std::snprintf(expected, sizeof expected, "%02d", index);
    FUZZ_CHECK(std::strcmp(name.data(), expected) == 0);
    return 0;
}
