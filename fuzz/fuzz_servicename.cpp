// ClassifyService: the exchanger's reading of a device's service property.
// Input: one byte choosing the buffer size (0 means the program's
// ServiceNameSize, n > 0 means n - 1 bytes), then the property's bytes
// (padded with NULs or cut to the buffer size; a name without NUL is
// possible).
#include "drvexchange/servicename.h"
#include "fuzzcheck.h"

namespace {

bool NamedNoCase(const Block &service, const char *name)
{
    size_t length = std::strlen(name);
    const void *nul = std::memchr(service.data(), '\0', service.size());
    size_t serviceLength = nul ? (size_t)((const char *)nul - service.data()) : service.size();
    if (serviceLength != length)
        return false;
    for (size_t i = 0; i < length; i++) {
        if (FoldLower(service.data()[i]) != FoldLower(name[i]))
            return false;
    }
    return true;
}

BoundService Expected(const Block &service)
{
    if (NamedNoCase(service, "USBSTOR"))
        return ServiceGenericStorage;
    if (NamedNoCase(service, "FLASHREADER"))
        return ServiceReaderDriver;
    return ServiceOther;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    size_t bufferSize = input.TakeBufferSize(ServiceNameSize);
    Block service = input.TakeBlock(bufferSize);
    const Block before(service.data(), service.size());

    BoundService bound = ClassifyService(service.data(), (unsigned)bufferSize);
    FUZZ_CHECK(bound == Expected(before));
    FUZZ_CHECK(service.Equals(before));

    // Names compare without regard to letter case: swapping it everywhere
    // changes nothing.
    Block swapped(service.data(), service.size());
    for (size_t i = 0; i < bufferSize; i++) {
        char c = swapped.data()[i];
        swapped.data()[i] = IsAsciiLower(c) ? FoldUpper(c) : FoldLower(c);
    }
    FUZZ_CHECK(ClassifyService(swapped.data(), (unsigned)bufferSize) == bound);
    return 0;
}
