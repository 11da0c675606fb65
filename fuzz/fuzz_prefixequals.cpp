// ParentPrefixEquals: a volume's parent prefix against ParentIdPrefix data
// of any size, with or without a NUL. Input: a mode byte, the volume prefix
// up to a NUL, then the data. Mode bit 0 puts the volume prefix in front of
// the data, so equal and nearly equal texts are common.
#include <string>

#include "fuzzcheck.h"
#include "iconassign/volumeprefix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzInput input(bytes, size);
    uint8_t mode = input.TakeByte();
    Block volumePrefix = input.TakeText();
    std::string content;
    if (mode & 1)
        content.assign(volumePrefix.data());
    content.append((const char *)input.rest(), input.restSize());
    Block data(content.data(), content.size());

    int equal = ParentPrefixEquals(volumePrefix.data(), data.data(), data.size());

    // The data's text ends at its first NUL or at the end of the data.
    const void *nul = std::memchr(data.data(), '\0', data.size());
    size_t dataLength = nul ? (size_t)((const char *)nul - data.data()) : data.size();
    bool expected = dataLength == volumePrefix.size() - 1
        && std::memcmp(data.data(), volumePrefix.data(), dataLength) == 0;
    FUZZ_CHECK((equal != 0) == expected);
    return 0;
}
