// ClassifySlot : families, fixed positions, kind lists,
// the digit rule, table C, and short paths never read past their NUL.
#include "iconassign/slotclass.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

const int CF = SlotCF, SD = SlotSD, SM = SlotSM, MS = SlotMS,
          Combo = SlotCombo, None = SlotNone;

// A head of a realistic instance path, exactly as long as the position
// where its product pattern stands: checked as the test is built, since a
// head of another length would make the tests that expect no match pass
// for the wrong reason.
template <size_t Length, size_t N>
std::string Head(const char (&text)[N])
{
    static_assert(N - 1 == Length, "a head ends where its pattern stands");
    return text;
}

const std::string UsbstorHead = Head<28>("USBSTOR\\Disk&Ven_Vendor&Prod");
const std::string UsbstorHead29 = Head<29>("USBSTOR\\Disk&Ven_Generic&Prod");
const std::string VexlunorHead = Head<33>("VEXLUNOR\\Disk&Ven_VendorName&Prod");
const std::string VexlunorHead34 = Head<34>("VEXLUNOR\\Disk&Ven_VendorNames&Prod");
const std::string FlashHead = Head<28>("USB_FLASH_CARD_READER\\Disk&P");
const std::string Tail = "&Rev_1.00\\7&1a2b3c4d&0";

struct Piece {
    size_t position;
    std::string text;
};

// Builds a path piece by piece: each text is written at its position and
// the gap before it filled with 'x'. Pieces come in order, never overlap.
std::string BuildPath(std::initializer_list<Piece> pieces)
{
    std::string path;
    for (const Piece &piece : pieces) {
        if (piece.position < path.size())
            throw std::logic_error("piece overlaps the one before");
        path.resize(piece.position, 'x');
        path += piece.text;
    }
    return path;
}

// Classifies a copy held in a heap block of exactly its size, so a read past
// the NUL is caught by AddressSanitizer.
int Classify(const std::string &path)
{
    std::unique_ptr<char[]> copy(new char[path.size() + 1]);
    std::memcpy(copy.get(), path.c_str(), path.size() + 1);
    return ClassifySlot(copy.get());
}

// Classifies every prefix of path shorter than full, each in an exact block.
void ExpectEveryShorterPrefixIsNone(const std::string &path, size_t full)
{
    for (size_t length = 0; length < full && length <= path.size(); length++)
        EXPECT_EQ(None, Classify(path.substr(0, length))) << "length " << length;
}

std::string CardReader(const std::string &head, const std::string &kind)
{
    return head + "_cardreader_" + kind + Tail;
}

} // namespace

// --- Families ---------------------------------------------------------------

TEST(ClassifySlot, FamilyPrefixIgnoresCase)
{
    EXPECT_EQ(SD, Classify(CardReader("USBSTOR\\Disk&Ven_Vendor&Prod", "SD")));
    EXPECT_EQ(SD, Classify(CardReader("usbstor\\Disk&Ven_Vendor&Prod", "SD")));
    EXPECT_EQ(SD, Classify(CardReader("UsBsToR\\Disk&Ven_Vendor&Prod", "SD")));
    EXPECT_EQ(CF, Classify(CardReader("vExLuNoR\\Disk&Ven_VendorName&Prod", "CF")));
    EXPECT_EQ(SM, Classify(BuildPath({{0, "Usb_Flash_Card_Reader\\Disk&P"},
                                      {58, "SMC"}})));
}

TEST(ClassifySlot, OnlyTheFirstSevenCharactersDecideTheFirstFamily)
{
    EXPECT_EQ(SD, Classify(CardReader("USBSTORAGE\\Dsk&Ven_Vend&Prod", "SD")));
}

TEST(ClassifySlot, FamilyPrefixMustStandAtTheStart)
{
    EXPECT_EQ(None, Classify(CardReader("XUSBSTOR\\Dsk&Ven_Vendor&Prod", "SD")));
}

TEST(ClassifySlot, OtherPathsAreNoCardSlot)
{
    EXPECT_EQ(None, Classify(""));
    EXPECT_EQ(None, ClassifySlot(nullptr));
    EXPECT_EQ(None, Classify(BuildPath({{0, "USB\\VID_1234&PID_5678"},
                                        {28, "_cardreader_SD"}, {42, Tail}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, "USB\\Disk&Ven_Vendor&Prod"},
                                        {28, "_MultiCard_Slot_D"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, "SCSI\\Disk&Ven_Vendor&Prod"},
                                        {28, "_cardreader_CF"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, "vexluno\\Disk&Ven_Vendor&Prod"},
                                        {33, "_cardreader_CF"}})));
}

// --- Stage 2, "_cardreader_" and kind list B ----------------------------------

TEST(ClassifySlot, CardReaderGivesEveryKindOfListB)
{
    EXPECT_EQ(CF, Classify(CardReader(UsbstorHead, "CF")));
    EXPECT_EQ(SD, Classify(CardReader(UsbstorHead, "SD")));
    EXPECT_EQ(SM, Classify(CardReader(UsbstorHead, "SM")));
    EXPECT_EQ(MS, Classify(CardReader(UsbstorHead, "MS")));
    EXPECT_EQ(Combo, Classify(CardReader(UsbstorHead, "Combo")));
}

TEST(ClassifySlot, ProductPatternIgnoresCase)
{
    EXPECT_EQ(SD, Classify(UsbstorHead + "_CARDREADER_SD" + Tail));
    EXPECT_EQ(SD, Classify(UsbstorHead + "_CardReader_SD" + Tail));
}

TEST(ClassifySlot, KindCodesAreExact)
{
    EXPECT_EQ(None, Classify(CardReader(UsbstorHead, "sd")));
    EXPECT_EQ(None, Classify(CardReader(UsbstorHead, "Sd")));
    EXPECT_EQ(None, Classify(CardReader(UsbstorHead, "cf")));
    EXPECT_EQ(None, Classify(CardReader(UsbstorHead, "combo")));
    EXPECT_EQ(None, Classify(CardReader(UsbstorHead, "COMBO")));
}

TEST(ClassifySlot, KindListBComparesTwoCharacters)
{
    EXPECT_EQ(SM, Classify(CardReader(UsbstorHead, "SMC")));
    EXPECT_EQ(MS, Classify(CardReader(UsbstorHead, "MSTK")));
    EXPECT_EQ(CF, Classify(CardReader(UsbstorHead, "CFII")));
}

TEST(ClassifySlot, ComboNeedsAllFiveCharacters)
{
    EXPECT_EQ(None, Classify(UsbstorHead + "_cardreader_Comb"));
    EXPECT_EQ(Combo, Classify(UsbstorHead + "_cardreader_Combo"));
}

TEST(ClassifySlot, CardReaderWithoutKindCodeGivesNoneWhateverFollows)
{
    // Once "_cardreader_" matched, the other product rules are not tried.
    EXPECT_EQ(None, Classify(BuildPath({{0, UsbstorHead}, {28, "_cardreader_"},
                                        {40, "XY"}, {50, "_MultiCard_Slot_D"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, UsbstorHead}, {28, "_cardreader_"},
                                        {40, "_Vistocard_6_in_1"}, {60, "3"}})));
}

TEST(ClassifySlot, CardReaderEndingAtTheKindPositionGivesNone)
{
    std::string path = UsbstorHead + "_cardreader_";
    ASSERT_EQ(40u, path.size());
    EXPECT_EQ(None, Classify(path));
    EXPECT_EQ(None, Classify(path + "S"));
    EXPECT_EQ(SD, Classify(path + "SD"));
}

TEST(ClassifySlot, PositionsAreFixedNotSearched)
{
    EXPECT_EQ(None, Classify(CardReader(UsbstorHead29, "SD")));     // at 29
    EXPECT_EQ(None, Classify(CardReader("USBSTOR\\Disk&Ven_Vendr&Prod", "SD"))); // at 27
    // Pattern at 28 but kind code at 41 instead of 40.
    EXPECT_EQ(None, Classify(UsbstorHead + "_cardreader_xSD" + Tail));
}

// --- Shift of the "vexlunor" family -------------------------------------------

TEST(ClassifySlot, VexlunorIsReadFivePositionsLater)
{
    EXPECT_EQ(CF, Classify(CardReader(VexlunorHead, "CF")));
    EXPECT_EQ(Combo, Classify(CardReader(VexlunorHead, "Combo")));
    // The same text at 28 and 40.
    EXPECT_EQ(None, Classify(BuildPath({{0, "VEXLUNOR\\Disk&Ven_Vend&Prod"},
                                        {28, "_cardreader_"}, {40, "CF"},
                                        {42, Tail}})));
}

TEST(ClassifySlot, VexlunorShiftAppliesToEveryProductRule)
{
    EXPECT_EQ(MS, Classify(VexlunorHead34 + "_Vistocard_6_in_1" + Tail + "&3"));
    EXPECT_EQ(SM, Classify(BuildPath({{0, VexlunorHead}, {33, "_MultiCard_Slot_"},
                                      {49, "S"}, {50, Tail}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, "VEXLUNOR\\Disk&Ven_Vend&Prod"},
                                        {28, "_MultiCard_Slot_"}, {44, "S"},
                                        {45, Tail}})));
}

// --- "usb_flash_card_reader" and kind list A ---------------------------------

TEST(ClassifySlot, FlashFamilyKindListAAtFiftyEight)
{
    EXPECT_EQ(CF, Classify(BuildPath({{0, FlashHead}, {58, "CF"}})));
    EXPECT_EQ(SD, Classify(BuildPath({{0, FlashHead}, {58, "SD"}, {60, Tail}})));
    EXPECT_EQ(SM, Classify(BuildPath({{0, FlashHead}, {58, "SMC"}, {61, Tail}})));
    EXPECT_EQ(MS, Classify(BuildPath({{0, FlashHead}, {58, "MSTK"}, {62, Tail}})));
    EXPECT_EQ(Combo, Classify(BuildPath({{0, FlashHead}, {58, "Combo"}})));
}

TEST(ClassifySlot, FlashFamilyKindListAIsExactAndNeedsWholeCodes)
{
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {58, "cf"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {58, "SMX"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {58, "SM"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {58, "MS"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {58, "MSTX"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {57, "CF"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {59, "CF"}})));
}

TEST(ClassifySlot, FlashFamilyWithoutListAGoesOnToStageTwo)
{
    // "SM" followed by another character than C: list A does not match.
    EXPECT_EQ(SD, Classify(BuildPath({{0, FlashHead}, {28, "_MultiCard_Slot_"},
                                      {44, "D"}, {58, "SMX"}})));
    EXPECT_EQ(SD, Classify(BuildPath({{0, FlashHead}, {28, "_MultiCard_Slot_"},
                                      {44, "D"}, {45, Tail}})));
    EXPECT_EQ(MS, Classify(BuildPath({{0, FlashHead}, {28, "_cardreader_"},
                                      {40, "MS"}, {58, "MS"}})));
    // Stage 2 at shift 0, not 5.
    EXPECT_EQ(None, Classify(BuildPath({{0, FlashHead}, {33, "_cardreader_"},
                                        {45, "CF"}})));
}

TEST(ClassifySlot, FlashFamilyListAWinsOverStageTwo)
{
    EXPECT_EQ(CF, Classify(BuildPath({{0, FlashHead}, {28, "_cardreader_"},
                                      {40, "SD"}, {58, "CF"}})));
}

TEST(ClassifySlot, KindListABelongsToTheFlashFamilyOnly)
{
    EXPECT_EQ(None, Classify(BuildPath({{0, UsbstorHead}, {58, "CF"}})));
    EXPECT_EQ(None, Classify(BuildPath({{0, VexlunorHead}, {58, "CF"}})));
}

// --- The digit rule -------------------------------------------------------------

TEST(ClassifySlot, VistocardTakesTheLastCharacterOfThePath)
{
    std::string path = UsbstorHead29 + "_Vistocard_6_in_1" + Tail + "&";
    EXPECT_EQ(CF, Classify(path + "0"));
    EXPECT_EQ(MS, Classify(path + "3"));
    EXPECT_EQ(Combo, Classify(path + "4"));
    EXPECT_EQ(7, Classify(path + "7"));    // no slot kind, but not SlotNone
    EXPECT_EQ(9, Classify(path + "9"));
}

TEST(ClassifySlot, DigitRuleMakesNoDigitTest)
{
    std::string path = UsbstorHead29 + "_Vistocard_6_in_1" + Tail + "&";
    EXPECT_EQ('A' - '0', Classify(path + "A"));           // 17
    EXPECT_EQ(255, Classify(path + "/"));                 // '/' - '0' wraps
    EXPECT_EQ(0xE9 - 0x30, Classify(path + "\xE9"));      // high byte, unsigned
    EXPECT_EQ(256 + '#' - '0', Classify(path + "#"));     // wraps to 243
}

TEST(ClassifySlot, DigitRuleOnPathEndingWithThePattern)
{
    // The last character of the whole path is then the pattern's own '1'.
    EXPECT_EQ(SD, Classify(UsbstorHead29 + "_Vistocard_6_in_1"));
    EXPECT_EQ(SD, Classify(UsbstorHead29 + "_VISTOCARD_6_IN_1"));
}

TEST(ClassifySlot, VistocardPositionIsTwentyNine)
{
    EXPECT_EQ(None, Classify(UsbstorHead + "_Vistocard_6_in_1" + Tail + "&0"));
    EXPECT_EQ(None, Classify("USBSTOR\\Disk&Ven_Generic0&Prod_Vistocard_6_in_1&0"));
}

// --- "_MultiCard_Slot_" and table C --------------------------------------------

TEST(ClassifySlot, MultiCardSlotLetters)
{
    const std::string head = UsbstorHead + "_MultiCard_Slot_";
    ASSERT_EQ(44u, head.size());
    EXPECT_EQ(CF, Classify(head + "A" + Tail));
    EXPECT_EQ(SD, Classify(head + "D" + Tail));
    EXPECT_EQ(SM, Classify(head + "S" + Tail));
    EXPECT_EQ(MS, Classify(head + "M" + Tail));
    EXPECT_EQ(Combo, Classify(head + "O" + Tail));
    EXPECT_EQ(Combo, Classify(head + "O"));
}

TEST(ClassifySlot, MultiCardOtherLettersAreNone)
{
    const std::string head = UsbstorHead + "_MULTICARD_SLOT_";
    EXPECT_EQ(None, Classify(head + "o" + Tail));
    EXPECT_EQ(None, Classify(head + "B" + Tail));
    EXPECT_EQ(None, Classify(head + "Z" + Tail));
    EXPECT_EQ(None, Classify(head + "d" + Tail));
    EXPECT_EQ(None, Classify(head + "0" + Tail));
    EXPECT_EQ(None, Classify(head));            // the end of the path
}

TEST(ClassifySlot, MultiCardPatternIgnoresCase)
{
    EXPECT_EQ(SD, Classify(UsbstorHead + "_multicard_slot_D" + Tail));
}

// --- Short paths: nothing is read past the NUL ---------------------------------

TEST(ClassifySlot, ShortPathsOfEveryFamilyAreNone)
{
    EXPECT_EQ(None, Classify("USBSTO"));
    EXPECT_EQ(None, Classify("USBSTOR"));
    EXPECT_EQ(None, Classify("USBSTOR\\"));
    EXPECT_EQ(None, Classify("vexluno"));
    EXPECT_EQ(None, Classify("vexlunor"));
    EXPECT_EQ(None, Classify("usb_flash_card_reade"));
    EXPECT_EQ(None, Classify("usb_flash_card_reader"));
    EXPECT_EQ(None, Classify("U"));
}

TEST(ClassifySlot, EveryPrefixOfACardReaderPathIsNone)
{
    std::string path = CardReader(UsbstorHead, "SD");
    ExpectEveryShorterPrefixIsNone(path, 42);
    EXPECT_EQ(SD, Classify(path.substr(0, 42)));

    path = CardReader(VexlunorHead, "Combo");
    ExpectEveryShorterPrefixIsNone(path, 50);
    EXPECT_EQ(Combo, Classify(path.substr(0, 50)));
}

TEST(ClassifySlot, EveryPrefixOfAVistocardPathIsNone)
{
    std::string path = UsbstorHead29 + "_Vistocard_6_in_1" + Tail + "&3";
    ExpectEveryShorterPrefixIsNone(path, 46);
    EXPECT_EQ(SD, Classify(path.substr(0, 46)));   // ends with the pattern's 1
}

TEST(ClassifySlot, EveryPrefixOfAMultiCardPathIsNone)
{
    std::string path = UsbstorHead + "_MultiCard_Slot_M" + Tail;
    ExpectEveryShorterPrefixIsNone(path, 45);
    EXPECT_EQ(MS, Classify(path.substr(0, 45)));
}

TEST(ClassifySlot, EveryPrefixOfAFlashListAPathIsNone)
{
    std::string path = BuildPath({{0, FlashHead}, {58, "MSTK"}, {62, Tail}});
    ExpectEveryShorterPrefixIsNone(path, 62);
    EXPECT_EQ(MS, Classify(path.substr(0, 62)));
}
