// Registry string data that may lack its NUL: TerminateRegistryText. Input: buffer size (2 bytes, up to 1023), a byte
// choosing how the reported size relates to it, 4 bytes for that size, then
// the buffer's content (padded with 'x' or cut to the buffer size).
#include "fuzzcheck.h"
#include "iconassign/registrytext.h"

namespace {

// What the query reported: anything, well above 4 GiB included, around the
// buffer size, or within it.
unsigned long ReportedSize(uint8_t mode, uint32_t raw, unsigned bufferSize)
{
    switch (mode % 4) {
    case 0:
        return raw;
    case 1:
        return ((unsigned long)raw << 32) | raw;
    case 2: {
        long delta = (int8_t)(raw & 0xFF);
        long reported = (long)bufferSize + delta;
        return reported < 0 ? 0 : (unsigned long)reported;
    }
    default:
        return raw % (bufferSize + 1ul);
    }
}

// The documented result: the first NUL among the bytes looked at, else
// their count, cut to bufferSize - 1 when they fill the buffer.
unsigned ExpectedLength(const Block &before, unsigned long filled)
{
    const void *nul = std::memchr(before.data(), '\0', filled);
    if (nul != nullptr)
        return (unsigned)((const char *)nul - before.data());
    return filled < before.size() ? (unsigned)filled : (unsigned)before.size() - 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    unsigned bufferSize = input.TakeUint(2) % 1024;
    uint8_t mode = input.TakeByte();
    unsigned long bytesRead = ReportedSize(mode, input.TakeUint(4), bufferSize);

    Block buffer(bufferSize, 'x');
    size_t content = input.restSize() < bufferSize ? input.restSize() : bufferSize;
    if (content > 0)
        std::memcpy(buffer.data(), input.rest(), content);
    Block before(buffer.data(), bufferSize);
    unsigned long filled = bytesRead < bufferSize ? bytesRead : bufferSize;
    bool complete = std::memchr(buffer.data(), '\0', filled) != nullptr;

    unsigned length = TerminateRegistryText(buffer.data(), bufferSize, bytesRead);
    if (bufferSize == 0) {
        FUZZ_CHECK(length == 0);
        return 0;
    }
    FUZZ_CHECK(length < bufferSize);
    FUZZ_CHECK(buffer.data()[length] == '\0');
    FUZZ_CHECK(std::strlen(buffer.data()) == length);
    FUZZ_CHECK(length == ExpectedLength(before, filled));
    // Only the terminating byte may change, and not even that when the data
    // looked at already held a NUL.
    before.data()[length] = '\0';
    FUZZ_CHECK(buffer.Equals(before));
    if (complete)
        FUZZ_CHECK(std::memchr(before.data(), '\0', filled) == before.data() + length);
    return 0;
}
