// MatchRebindHardwareId: the re-binder's selection rule on any hardware ID
// list. Input: one byte choosing the buffer size (0 means the program's
// HardwareIdSize, n > 0 means n - 1 bytes), 9 bytes of argument text (vendor,
// separator, product), then the list's bytes (padded with NULs or cut to
// the buffer size; a list without any NUL is possible).
#include "fuzzcheck.h"
#include "rebind/rebindrequest.h"

namespace {

const size_t CanarySize = 16;
const unsigned char Canary = 0xC3;

size_t FirstStringLength(const Block &ids)
{
    const void *nul = std::memchr(ids.data(), '\0', ids.size());
    return nul ? (size_t)((const char *)nul - ids.data()) : ids.size();
}

bool SameNoCase(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (a[i] == '\0' || b[i] == '\0' || FoldUpper(a[i]) != FoldUpper(b[i]))
            return false;
    }
    return true;
}

// The documented rule, on the list and request as they were before the call.
bool ShouldMatch(const Block &ids, const RebindRequest &request)
{
    size_t length = FirstStringLength(ids);
    const char *id = ids.data();
    return length >= 21 && std::memcmp(id, "USB", 3) == 0
        && SameNoCase(id + 8, request.VendorId, 4)
        && SameNoCase(id + 17, request.ProductId, 4);
}

// Each byte is unchanged or its ASCII upper case, and only positions of
// the first string from 8 on may change.
void CheckOnlyUpperCased(const Block &before, const Block &after, size_t length)
{
    for (size_t i = 0; i < before.size(); i++) {
        char was = before.data()[i];
        char now = after.data()[i];
        if (i < 8 || i >= length)
            FUZZ_CHECK(now == was);
        else
            FUZZ_CHECK(now == was || now == FoldUpper(was));
    }
}

void CheckRequestField(const char *before, const char *after, size_t size)
{
    FUZZ_CHECK(std::memchr(after, '\0', size) != nullptr);
    for (size_t i = 0; i < size; i++)
        FUZZ_CHECK(after[i] == before[i] || after[i] == FoldUpper(before[i]));
}

// The same call on a copy followed by canary bytes: the same result and
// bytes, and the canary intact (nothing written past the buffer).
void CheckCopyWithCanary(const Block &before, const RebindRequest &requestBefore,
                         const Block &after, int matched)
{
    size_t size = before.size();
    Block copy(size + CanarySize, Canary);
    if (size > 0)
        std::memcpy(copy.data(), before.data(), size);
    RebindRequest request = requestBefore;
    FUZZ_CHECK(MatchRebindHardwareId(copy.data(), (unsigned)size, &request) == matched);
    FUZZ_CHECK(size == 0 || std::memcmp(copy.data(), after.data(), size) == 0);
    for (size_t i = size; i < copy.size(); i++)
        FUZZ_CHECK(copy.bytes()[i] == Canary);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    uint8_t choice = input.TakeByte();
    size_t bufferSize = choice == 0 ? (size_t)HardwareIdSize : choice - 1u;
    char argument[10] = {};
    for (unsigned i = 0; i < 9; i++)
        argument[i] = (char)input.TakeByte();
    RebindRequest request;
    ParseRebindRequest(argument, &request, 1);   // a refused text leaves empty IDs

    Block ids(bufferSize, 0);
    size_t content = input.restSize() < bufferSize ? input.restSize() : bufferSize;
    if (content > 0)
        std::memcpy(ids.data(), input.rest(), content);
    const Block before(ids.data(), ids.size());
    const RebindRequest requestBefore = request;

    int matched = MatchRebindHardwareId(ids.data(), (unsigned)bufferSize, &request);

    FUZZ_CHECK((matched != 0) == ShouldMatch(before, requestBefore));
    size_t length = FirstStringLength(before);
    CheckOnlyUpperCased(before, ids, length);
    CheckRequestField(requestBefore.VendorId, request.VendorId, sizeof request.VendorId);
    CheckRequestField(requestBefore.ProductId, request.ProductId, sizeof request.ProductId);
    FUZZ_CHECK(std::memcmp(requestBefore.InfName, request.InfName, sizeof request.InfName) == 0);
    // A device that is examined is asked for with its ID upper-cased from
    // character 8 on.
    bool examined = length >= 21 && std::memcmp(before.data(), "USB", 3) == 0;
    for (size_t i = 8; examined && matched && i < length; i++)
        FUZZ_CHECK(!IsAsciiLower(ids.data()[i]));
    if (!examined)
        FUZZ_CHECK(ids.Equals(before) && std::memcmp(&request, &requestBefore, sizeof request) == 0);
    CheckCopyWithCanary(before, requestBefore, ids, matched);
    return 0;
}
