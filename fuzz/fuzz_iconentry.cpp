// LoadIconEntry: an icon file value as the query returned it. Input: one
// byte whose bit 7 chooses where the data lies (set: queried straight into
// the entry after its backslash place, as the program does; clear: a buffer
// of its own) and whose low bits give the reported size, then the data.
#include "fuzzcheck.h"
#include "iconassign/iconname.h"

namespace {

// The name ends at the first NUL within the reported bytes, or at their end.
size_t NameLength(const Block &value)
{
    const void *nul = std::memchr(value.data(), '\0', value.size());
    return nul ? (size_t)((const char *)nul - value.data()) : value.size();
}

void CheckEntry(const Block &entry, const Block &value, int loaded)
{
    FUZZ_CHECK(std::memchr(entry.data(), '\0', IconEntrySize) != nullptr);
    size_t length = NameLength(value);
    // Usable: within the 19 bytes offered, not empty, and with room for its
    // NUL in the entry.
    bool usable = value.size() <= IconValueLimit && length >= 1 && length <= 18;
    FUZZ_CHECK((loaded != 0) == usable);
    if (!loaded) {
        FUZZ_CHECK(entry.data()[0] == '\0');
        return;
    }
    FUZZ_CHECK(entry.data()[0] == '\\');
    FUZZ_CHECK(std::memcmp(entry.data() + 1, value.data(), length) == 0);
    FUZZ_CHECK(entry.data()[1 + length] == '\0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    uint8_t choice = input.TakeByte();
    bool inPlace = (choice & 0x80) != 0;
    // In place the query cannot return more than the 19 bytes it offers.
    size_t valueBytes = inPlace ? (choice & 0x7F) % (IconValueLimit + 1) : (choice & 0x7F);

    Block value(valueBytes, 'n');
    size_t content = input.restSize() < valueBytes ? input.restSize() : valueBytes;
    if (content > 0)
        std::memcpy(value.data(), input.rest(), content);

    Block entry(IconEntrySize, '#');
    const char *valueData = value.data();
    if (inPlace) {
        if (valueBytes > 0)
            std::memcpy(entry.data() + 1, value.data(), valueBytes);
        valueData = entry.data() + 1;
    }
    int loaded = LoadIconEntry(entry.data(), valueData, valueBytes);
    CheckEntry(entry, value, loaded);
    return 0;
}
