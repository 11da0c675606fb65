// MatchReaderId: the exchanger's reader table against any hardware ID list.
// Input: one byte choosing the buffer size (0 means the program's
// ReaderHardwareIdSize, n > 0 means n - 1 bytes), then the list's bytes (padded
// with NULs or cut to the buffer size; a list without any NUL is possible).
#include "drvexchange/readerid.h"
#include "fuzzcheck.h"

namespace {

size_t FirstStringLength(const Block &ids)
{
    const void *nul = std::memchr(ids.data(), '\0', ids.size());
    return nul ? (size_t)((const char *)nul - ids.data()) : ids.size();
}

bool SameNoCase(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (FoldLower(a[i]) != FoldLower(b[i]))
            return false;
    }
    return true;
}

// The documented rule: a first string of 21 characters or more with the
// entry's IDs at 8 and 17, letter case ignored. The prefix is not examined.
bool ShouldMatch(const Block &ids, const ReaderId &entry)
{
    return FirstStringLength(ids) >= 21
        && SameNoCase(ids.data() + 8, entry.VendorId, 4)
        && SameNoCase(ids.data() + 17, entry.ProductId, 4);
}

// An entry made of the list's own characters at 8 and 17, their case
// swapped, matches exactly when the first string is long enough.
void CheckOwnIdsMatch(const Block &ids)
{
    if (ids.size() < 21)
        return;
    char vendor[5] = {};
    char product[5] = {};
    for (unsigned i = 0; i < 4; i++) {
        char v = ids.data()[8 + i];
        char p = ids.data()[17 + i];
        vendor[i] = IsAsciiLower(v) ? FoldUpper(v) : FoldLower(v);
        product[i] = IsAsciiLower(p) ? FoldUpper(p) : FoldLower(p);
    }
    const ReaderId own = { vendor, product };
    bool longEnough = FirstStringLength(ids) >= 21;
    FUZZ_CHECK((MatchReaderId(ids.data(), (unsigned)ids.size(), &own) != 0) == longEnough);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    size_t bufferSize = input.TakeBufferSize(ReaderHardwareIdSize);
    Block ids = input.TakeBlock(bufferSize);
    const Block before(ids.data(), ids.size());

    for (const ReaderId *entry = ReaderIdTable; entry->VendorId != nullptr; entry++) {
        int matched = MatchReaderId(ids.data(), (unsigned)bufferSize, entry);
        FUZZ_CHECK((matched != 0) == ShouldMatch(before, *entry));
    }
    CheckOwnIdsMatch(ids);
    // The installation is asked for with the list unchanged.
    FUZZ_CHECK(ids.Equals(before));
    return 0;
}
