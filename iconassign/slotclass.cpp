// Card slot classification.
//
// Two stages: the family prefix at position 0 chooses a shift (and, for the
// "usb_flash_card_reader" family, first tries kind list A at 58); stage 2
// then tries the three product patterns at fixed positions plus the shift.
// All the texts and positions the rules use are in the tables below.
#include "slotclass.h"

#include "../shell/asciitext.h"

// A text and the number of its characters that are compared.
#define SLOT_TEXT(literal) literal, (unsigned)(sizeof(literal) - 1)
#define COUNT_OF(table) (unsigned)(sizeof(table) / sizeof((table)[0]))

namespace {

struct KindCode {
    const char *code;
    unsigned length;
    SlotType kind;
};

enum FamilyStart { ProductRulesOnly, KindListAFirst };

struct Family {
    const char *prefix;    // compared at position 0, case ignored
    unsigned length;
    unsigned shift;        // added to every stage-2 position
    FamilyStart start;     // whether kind list A is tried before stage 2
};

enum ProductRule { RuleKindListB, RuleDigit, RuleSlotLetter };

struct Product {
    unsigned position;     // before the shift
    const char *pattern;   // case ignored
    unsigned length;
    ProductRule rule;
};

struct SlotLetter {
    char letter;           // exact
    SlotType kind;
};

// Stage 1, tried in this order; the first that matches decides.
const Family Families[] = {
    { SLOT_TEXT("usbstor"),               0, ProductRulesOnly },
    { SLOT_TEXT("vexlunor"),              5, ProductRulesOnly },
    { SLOT_TEXT("usb_flash_card_reader"), 0, KindListAFirst },
};

// Kind list A, exact case, at KindListAPosition (no shift).
const unsigned KindListAPosition = 58;
const KindCode KindListA[] = {
    { SLOT_TEXT("CF"),    SlotCF },
    { SLOT_TEXT("SD"),    SlotSD },
    { SLOT_TEXT("SMC"),   SlotSM },
    { SLOT_TEXT("MSTK"),  SlotMS },
    { SLOT_TEXT("Combo"), SlotCombo },
};

// Stage 2, tried in this order at position + shift; the first that matches
// decides, and its rule gives the result.
const Product Products[] = {
    { 28, SLOT_TEXT("_cardreader_"),      RuleKindListB },
    { 29, SLOT_TEXT("_Vistocard_6_in_1"), RuleDigit },
    { 28, SLOT_TEXT("_MultiCard_Slot_"),  RuleSlotLetter },
};

// Kind list B, exact case, at KindListBPosition + shift.
const unsigned KindListBPosition = 40;
const KindCode KindListB[] = {
    { SLOT_TEXT("CF"),    SlotCF },
    { SLOT_TEXT("SD"),    SlotSD },
    { SLOT_TEXT("SM"),    SlotSM },
    { SLOT_TEXT("MS"),    SlotMS },
    { SLOT_TEXT("Combo"), SlotCombo },
};

// Table C: the slot letter at SlotLetterPosition + shift, exact case.
const unsigned SlotLetterPosition = 44;
const SlotLetter TableC[] = {
    { 'A', SlotCF },
    { 'D', SlotSD },
    { 'S', SlotSM },
    { 'M', SlotMS },
    { 'O', SlotCombo },
};

// The path from position on, or null when the path ends before position.
// Walks the characters before position instead of indexing, so a short path
// is never read past its NUL. At position == length the result points to
// the NUL, which matches no pattern and no letter.
const char *TextAt(const char *path, unsigned position)
{
    for (unsigned i = 0; i < position; i++) {
        if (path[i] == '\0')
            return 0;
    }
    return path + position;
}

int MatchesNoCase(const char *path, unsigned position,
                  const char *pattern, unsigned length)
{
    const char *text = TextAt(path, position);
    return text != 0 && AsciiMatchNoCase(text, pattern, length);
}

// Looks the kind list up at position; SlotNone when no code matches.
SlotType MatchKindList(const char *path, unsigned position,
                       const KindCode *list, unsigned count)
{
    const char *text = TextAt(path, position);
    if (text == 0)
        return SlotNone;
    for (unsigned i = 0; i < count; i++) {
        if (AsciiMatchExact(text, list[i].code, list[i].length))
            return list[i].kind;
    }
    return SlotNone;
}

// The digit rule: the code of the path's last character minus '0', as an
// 8-bit value. No test is made that the character is a digit.
SlotType DigitRule(const char *path)
{
    const char *last = path;
    for (const char *p = path; *p != '\0'; p++)
        last = p;
    return (SlotType)((unsigned char)*last - (unsigned char)'0');
}

SlotType SlotLetterRule(const char *path, unsigned position)
{
    const char *text = TextAt(path, position);
    if (text == 0)
        return SlotNone;
    for (unsigned i = 0; i < COUNT_OF(TableC); i++) {
        if (*text == TableC[i].letter)
            return TableC[i].kind;
    }
    return SlotNone;   // any other character, the end of the path included
}

// Stage 2 at the given shift: the first product pattern that matches decides
// (the later ones are not tried), none matching gives SlotNone.
SlotType ApplyProductRules(const char *path, unsigned shift)
{
    for (unsigned i = 0; i < COUNT_OF(Products); i++) {
        const Product &product = Products[i];
        if (!MatchesNoCase(path, shift + product.position,
                           product.pattern, product.length))
            continue;
        switch (product.rule) {
        case RuleKindListB:
            return MatchKindList(path, shift + KindListBPosition,
                                 KindListB, COUNT_OF(KindListB));
        case RuleDigit:
            return DigitRule(path);
        case RuleSlotLetter:
            return SlotLetterRule(path, shift + SlotLetterPosition);
        }
        return SlotNone;
    }
    return SlotNone;
}

} // namespace

SlotType ClassifySlot(const char *path)
{
    if (path == 0)
        return SlotNone;
    for (unsigned i = 0; i < COUNT_OF(Families); i++) {
        const Family &family = Families[i];
        if (!AsciiMatchNoCase(path, family.prefix, family.length))
            continue;
        if (family.start == KindListAFirst) {
            SlotType kind = MatchKindList(path, KindListAPosition,
                                          KindListA, COUNT_OF(KindListA));
            if (kind != SlotNone)
                return kind;
        }
        return ApplyProductRules(path, family.shift);
    }
    return SlotNone;
}
