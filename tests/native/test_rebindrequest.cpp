// The re-binder's argument text and device selection rule.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "rebind/rebindrequest.h"
#include "shell/commandline.h"

namespace {

// A hardware ID list in a heap block of exactly its size, so that a read
// past its end shows under ASan.
std::vector<char> IdList(const std::string &first, const std::string &rest = "")
{
    std::string bytes = first + std::string(1, '\0') + rest + std::string(2, '\0');
    return std::vector<char>(bytes.begin(), bytes.end());
}

bool Matches(const std::string &arguments, std::vector<char> ids, std::string *requested = nullptr)
{
    RebindRequest request;
    if (!ParseRebindRequest(arguments.c_str(), &request, 1))
        return false;
    int matched = MatchRebindHardwareId(ids.data(), (unsigned)ids.size(), &request);
    if (requested)
        *requested = ids.data();
    return matched != 0;
}

TEST(RebindRequest, FieldsAtFixedPositionsWithAnySeparator)
{
    RebindRequest request;
    ASSERT_TRUE(ParseRebindRequest("0e5b 0a17 zelmot.inf", &request, 1));
    EXPECT_STREQ(request.VendorId, "0e5b");
    EXPECT_STREQ(request.ProductId, "0a17");
    EXPECT_STREQ(request.InfName, "zelmot.inf");

    ASSERT_TRUE(ParseRebindRequest("0e5b-0a17-my name.inf  ", &request, 1));
    EXPECT_STREQ(request.ProductId, "0a17");
    EXPECT_STREQ(request.InfName, "my name.inf  ") << "blanks inside and at the end are kept";
}

TEST(RebindRequest, NineCharactersGiveAnEmptyInfNameAndFewerNothing)
{
    RebindRequest request;
    ASSERT_TRUE(ParseRebindRequest("0e5b 0a17", &request, 1));
    EXPECT_STREQ(request.InfName, "");
    EXPECT_FALSE(ParseRebindRequest("0e5b 0a1", &request, 0));
    EXPECT_FALSE(ParseRebindRequest("", &request, 0));
}

TEST(RebindRequest, OverlongInfNameIsRefusedNotCutWhereItIsUsed)
{
    RebindRequest request;
    std::string name59(59, 'n');
    EXPECT_TRUE(ParseRebindRequest(("0e5b 0a17 " + name59).c_str(), &request, 1));
    EXPECT_EQ(std::string(request.InfName), name59);
    EXPECT_FALSE(ParseRebindRequest(("0e5b 0a17 " + name59 + "x").c_str(), &request, 1));
    EXPECT_STREQ(request.VendorId, "") << "a refused request selects nothing";
}

TEST(RebindRequest, UnusedInfNameMayHaveAnyLength)
{
    RebindRequest request;
    std::string name200(200, 'n');
    ASSERT_TRUE(ParseRebindRequest(("0e5b 0a17 " + name200).c_str(), &request, 0));
    EXPECT_STREQ(request.VendorId, "0e5b");
    EXPECT_STREQ(request.ProductId, "0a17");
    EXPECT_STREQ(request.InfName, "") << "never cut into another name";
    EXPECT_FALSE(ParseRebindRequest("0e5b 0a1", &request, 0)) << "the IDs still need 9 characters";
}

TEST(RebindRequest, RefusalSaysWhy)
{
    RebindRequest request;
    RebindRefusal refusal = RebindAccepted;
    EXPECT_FALSE(ParseRebindRequest("0e5b 0a1", &request, 1, &refusal));
    EXPECT_EQ(refusal, RefusedTextTooShort);
    EXPECT_FALSE(ParseRebindRequest("", &request, 0, &refusal));
    EXPECT_EQ(refusal, RefusedTextTooShort) << "also where the INF name is not used";

    std::string name60(60, 'n');
    EXPECT_FALSE(ParseRebindRequest(("0e5b 0a17 " + name60).c_str(), &request, 1, &refusal));
    EXPECT_EQ(refusal, RefusedInfNameTooLong);
    EXPECT_TRUE(ParseRebindRequest(("0e5b 0a17 " + name60).c_str(), &request, 0, &refusal));
    EXPECT_EQ(refusal, RebindAccepted) << "an unused name is no reason, and a refusal is not kept";
    EXPECT_TRUE(ParseRebindRequest("0e5b 0a17", &request, 1, &refusal));
    EXPECT_EQ(refusal, RebindAccepted);
}

TEST(RebindRequest, ArgumentStoreRefusesTextsOver159CharactersWhereTheNameIsUsed)
{
    char store[ArgumentTextSize];
    EXPECT_TRUE(StoreArgumentText(store, std::string(159, 'a').c_str(), 1));
    EXPECT_EQ(std::string(store).size(), 159u);
    EXPECT_FALSE(StoreArgumentText(store, std::string(160, 'a').c_str(), 1));
    EXPECT_STREQ(store, "");
}

TEST(RebindRequest, ArgumentStoreCutsAnUnusedName)
{
    std::vector<char> store(ArgumentTextSize);
    std::string text = "0e5b 0a17 " + std::string(8000, 'n');
    ASSERT_TRUE(StoreArgumentText(store.data(), text.c_str(), 0));
    EXPECT_EQ(std::string(store.data()), text.substr(0, ArgumentTextSize - 1));
}

TEST(RebindMatch, VendorAndProductIgnoreCaseButUsbPrefixDoesNot)
{
    std::string requested;
    EXPECT_TRUE(Matches("0e5b 0a17 x", IdList("USB\\Vid_0e5b&Pid_0a17&Rev_0100"), &requested));
    EXPECT_EQ(requested, "USB\\Vid_0E5B&PID_0A17&REV_0100") << "upper-cased from character 8 on";
    EXPECT_TRUE(Matches("0E5B 0A17 x", IdList("USB\\VID_0E5B&PID_0A17")));
    EXPECT_FALSE(Matches("0e5b 0a17 x", IdList("usb\\VID_0E5B&PID_0A17&REV_0100")));
    EXPECT_FALSE(Matches("0e5b 0a18 x", IdList("USB\\VID_0E5B&PID_0A17&REV_0100")));
    EXPECT_FALSE(Matches("0e5c 0a17 x", IdList("USB\\VID_0E5B&PID_0A17&REV_0100")));
}

TEST(RebindMatch, FirstStringMustHoldTwentyOneCharacters)
{
    EXPECT_TRUE(Matches("0e5b 0a17 x", IdList("USB\\VID_0E5B&PID_0A17")));
    EXPECT_FALSE(Matches("0e5b 0a1\x01 x", IdList("USB\\VID_0E5B&PID_0A1")));
    EXPECT_FALSE(Matches("0e5b 0a17 x", IdList("USB\\VID_0E5B&PID_0A1", "USB\\VID_0E5B&PID_0A17")))
        << "the second string never completes the first";
}

TEST(RebindMatch, OnlyTheFirstHardwareIdCounts)
{
    EXPECT_FALSE(Matches("0e5b 0a17 x",
                         IdList("USB\\VID_1111&PID_2222&REV_0001", "USB\\VID_0E5B&PID_0A17")));
}

TEST(RebindMatch, UnterminatedListIsNotReadPastItsBuffer)
{
    std::string text = "USB\\VID_0E5B&PID_0A17&REV";
    std::vector<char> ids(text.begin(), text.end()); // no NUL at all
    RebindRequest request;
    ASSERT_TRUE(ParseRebindRequest("0e5b 0a17 x", &request, 1));
    EXPECT_TRUE(MatchRebindHardwareId(ids.data(), (unsigned)ids.size(), &request));
    std::vector<char> shortIds(ids.begin(), ids.begin() + 20);
    EXPECT_FALSE(MatchRebindHardwareId(shortIds.data(), (unsigned)shortIds.size(), &request));
}

TEST(RebindInfPath, BuiltWholeOrNotAtAll)
{
    char path[260];
    ASSERT_TRUE(BuildInfFolderPath(path, sizeof(path), "C:\\WINNT", "zelmot.inf"));
    EXPECT_STREQ(path, "C:\\WINNT\\inf\\zelmot.inf");
    ASSERT_TRUE(BuildInfFolderPath(path, sizeof(path), "C:\\WINNT", ""));
    EXPECT_STREQ(path, "C:\\WINNT\\inf\\");
    // Too long by the folder's part, then by the name's: path left empty.
    std::string longDir(256, 'd');
    EXPECT_FALSE(BuildInfFolderPath(path, sizeof(path), longDir.c_str(), "zelmot.inf"));
    EXPECT_STREQ(path, "");
    std::string dir(249, 'd');
    EXPECT_FALSE(BuildInfFolderPath(path, sizeof(path), dir.c_str(), "zelmot.inf"));
    EXPECT_STREQ(path, "");
    ASSERT_TRUE(BuildInfFolderPath(path, sizeof(path), dir.c_str(), "z.inf")) << "259 characters";
    EXPECT_EQ(std::string(path), dir + "\\inf\\z.inf");
}

TEST(CommandLine, ProgramNameAndFollowingBlanksAreSkipped)
{
    EXPECT_STREQ(SkipProgramName("vorbind.exe 0e5b 0a17 x.inf"), "0e5b 0a17 x.inf");
    EXPECT_STREQ(SkipProgramName("\"C:\\Program Files\\kit\\tavlix.exe\"   v"), "v");
    EXPECT_STREQ(SkipProgramName("\"C:\\a b\\tavlix.exe\"v"), "v");
    EXPECT_STREQ(SkipProgramName("tavlix.exe"), "");
    EXPECT_STREQ(SkipProgramName("\"unterminated"), "");
    EXPECT_STREQ(SkipProgramName("morvex.exe\t x  y "), "x  y ");
}

} // namespace
