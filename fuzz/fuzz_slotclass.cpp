// ClassifySlot on any disk instance path.
// Input: the path, optionally followed by a NUL and bytes that lie beyond
// the path in memory (they must never change the result).
#include "fuzzcheck.h"
#include "iconassign/slotclass.h"

namespace {

// Whether pattern stands at position of text, letter case ignored.
bool HasNoCase(const char *text, size_t length, size_t position, const char *pattern)
{
    size_t n = std::strlen(pattern);
    if (position + n > length)
        return false;
    for (size_t i = 0; i < n; i++) {
        if (FoldLower(text[position + i]) != FoldLower(pattern[i]))
            return false;
    }
    return true;
}

bool IsSlotKindOrNone(SlotType kind)
{
    return kind <= SlotCombo || kind == SlotNone;
}

// A result outside 0..4 and SlotNone comes only from the digit rule: the
// path is of a family, carries the digit-rule product at 29 plus the
// family's shift (5 for vexlunor), and the result is its last character
// minus '0' as a byte (any byte: the character is not tested).
void CheckDigitRuleOrigin(const char *path, size_t length, SlotType kind)
{
    if (IsSlotKindOrNone(kind))
        return;
    bool shifted = HasNoCase(path, length, 0, "vexlunor");
    FUZZ_CHECK(shifted || HasNoCase(path, length, 0, "usbstor")
               || HasNoCase(path, length, 0, "usb_flash_card_reader"));
    FUZZ_CHECK(HasNoCase(path, length, shifted ? 34 : 29, "_Vistocard_6_in_1"));
    FUZZ_CHECK(kind == (SlotType)((unsigned char)path[length - 1] - '0'));
}

// The family prefixes (at most 21 characters) ignore letter case, and every
// later rule reads position 28 or beyond: swapping the case of the first 21
// characters never changes the result.
void CheckPrefixCaseIgnored(const Block &path, SlotType kind)
{
    Block swapped(path.data(), path.size());
    for (size_t i = 0; i < 21 && swapped.data()[i] != '\0'; i++) {
        char c = swapped.data()[i];
        swapped.data()[i] = IsAsciiLower(c) ? FoldUpper(c) : FoldLower(c);
    }
    FUZZ_CHECK(ClassifySlot(swapped.data()) == kind);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Block path = TextBlock(data, size);
    size_t length = path.size() - 1;
    SlotType kind = ClassifySlot(path.data());

    // Never writes through its argument.
    FUZZ_CHECK(std::memcmp(path.data(), data, length) == 0 && path.data()[length] == '\0');
    CheckDigitRuleOrigin(path.data(), length, kind);
    if (length == 0)
        FUZZ_CHECK(kind == SlotNone);
    CheckPrefixCaseIgnored(path, kind);

    // The same path with the input's remaining bytes after its NUL: the
    // path is never read past its NUL, so the result is the same.
    if (length < size) {
        Block padded(data, size);
        FUZZ_CHECK(ClassifySlot(padded.data()) == kind);
    }
    return 0;
}
