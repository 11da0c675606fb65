// ExtractParentPrefix on mounted-devices data of any size and content.
// Input: the data itself (its size is the value's size).
#include "fuzzcheck.h"
#include "iconassign/volumeprefix.h"

namespace {

const unsigned char Untouched = 0xA5;

// The low byte of UTF-16 unit 27 + i.
char PrefixUnit(const Block &data, unsigned i)
{
    return data.data()[54 + 2 * i];
}

void CheckRefused(const Block &prefix)
{
    for (unsigned i = 0; i < ParentPrefixSize; i++)
        FUZZ_CHECK(prefix.bytes()[i] == Untouched);
}

// The prefix is the low bytes from unit 27 on, and it ends for one of the
// three documented reasons: 12 characters taken, a NUL unit copied, or the
// third ampersand met (two are inside the prefix).
void CheckExtracted(const Block &data, const Block &prefix)
{
    const char *text = prefix.data();
    const void *nul = std::memchr(text, '\0', ParentPrefixSize);
    FUZZ_CHECK(nul != nullptr);
    unsigned length = (unsigned)((const char *)nul - text);
    FUZZ_CHECK(length <= 12);

    unsigned ampersands = 0;
    for (unsigned i = 0; i < length; i++) {
        FUZZ_CHECK(text[i] == PrefixUnit(data, i));
        ampersands += text[i] == '&';
    }
    FUZZ_CHECK(ampersands <= 2);
    if (length == 12)
        return;
    char next = PrefixUnit(data, length);
    FUZZ_CHECK(next == '\0' || (next == '&' && ampersands == 2));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    Block data(bytes, size);
    Block prefix(ParentPrefixSize, Untouched);
    int extracted = ExtractParentPrefix(data.bytes(), size, prefix.data());

    bool sizeAccepted = size >= MountedDataMinSize && size <= MountedDataMaxSize;
    FUZZ_CHECK((extracted != 0) == sizeAccepted);
    if (extracted)
        CheckExtracted(data, prefix);
    else
        CheckRefused(prefix);
    FUZZ_CHECK(std::memcmp(data.data(), bytes, size) == 0);
    return 0;
}
