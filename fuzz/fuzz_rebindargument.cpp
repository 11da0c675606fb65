// The re-binder's argument text: StoreArgumentText, ParseRebindRequest and
// the INF path of the InfFolder build. Input: the argument text up to a NUL,
// then the Windows directory up to the next NUL.
#include <string>

#include "fuzzcheck.h"
#include "rebind/rebindrequest.h"

namespace {

const size_t InfPathSize = 260;   // the program's MAX_PATH buffer

bool TerminatedWithin(const char *field, size_t size)
{
    return std::memchr(field, '\0', size) != nullptr;
}

// A USB hardware ID that carries the argument's vendor and product
// characters where the selection rule looks for them.
std::string IdFromArgument(const char *argument)
{
    std::string id = "USB\\VID_";
    id.append(argument, 4);
    id += "&PID_";
    id.append(argument + 5, 4);
    id += "&REV_0100";
    id.append(2, '\0');
    return id;
}

void CheckStore(const Block &argument)
{
    size_t length = argument.size() - 1;
    Block store(ArgumentTextSize);
    int kept = StoreArgumentText(store.data(), argument.data(), 1);
    FUZZ_CHECK((kept != 0) == (length < ArgumentTextSize));
    if (kept)
        FUZZ_CHECK(std::strcmp(store.data(), argument.data()) == 0);
    else
        FUZZ_CHECK(store.data()[0] == '\0');

    // Without the INF name, a long text is kept up to the store's end.
    Block cutStore(ArgumentTextSize);
    FUZZ_CHECK(StoreArgumentText(cutStore.data(), argument.data(), 0) != 0);
    size_t kept0 = std::strlen(cutStore.data());
    FUZZ_CHECK(kept0 == (length < ArgumentTextSize ? length : ArgumentTextSize - 1));
    FUZZ_CHECK(std::memcmp(cutStore.data(), argument.data(), kept0) == 0);
}

// A refused request must select no device, even one whose hardware ID
// carries the characters at the vendor and product places.
void CheckRefusedSelectsNothing(const Block &argument, RebindRequest *request)
{
    FUZZ_CHECK(request->VendorId[0] == '\0' && request->ProductId[0] == '\0');
    if (argument.size() - 1 < 9)
        return;
    std::string id = IdFromArgument(argument.data());
    Block ids(id.data(), id.size());
    FUZZ_CHECK(MatchRebindHardwareId(ids.data(), (unsigned)ids.size(), request) == 0);
}

void CheckAccepted(const Block &argument, const RebindRequest *request)
{
    const char *text = argument.data();
    FUZZ_CHECK(std::strlen(request->VendorId) == 4
               && std::memcmp(request->VendorId, text, 4) == 0);
    FUZZ_CHECK(std::strlen(request->ProductId) == 4
               && std::memcmp(request->ProductId, text + 5, 4) == 0);
    const char *tail = argument.size() - 1 > 9 ? text + 10 : "";
    FUZZ_CHECK(std::strcmp(request->InfName, tail) == 0);
}

void CheckInfFolderPath(const Block &windowsDir, const char *infName)
{
    Block path(InfPathSize);
    std::memset(path.data(), 0, InfPathSize);
    int built = BuildInfFolderPath(path.data(), InfPathSize, windowsDir.data(), infName);
    std::string expected = std::string(windowsDir.data()) + "\\inf\\" + infName;
    FUZZ_CHECK((built != 0) == (expected.size() < InfPathSize));
    FUZZ_CHECK(TerminatedWithin(path.data(), InfPathSize));
    // Whole, or empty: never a cut path that names another file.
    FUZZ_CHECK(std::string(path.data()) == (built ? expected : std::string()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    Block argument = input.TakeText();
    Block windowsDir = input.TakeText();
    size_t length = argument.size() - 1;

    CheckStore(argument);

    Block requestBlock(sizeof(RebindRequest));
    RebindRequest *request = reinterpret_cast<RebindRequest *>(requestBlock.data());
    RebindRefusal refusal = RefusedTextTooShort;
    int accepted = ParseRebindRequest(argument.data(), request, 1, &refusal);
    FUZZ_CHECK(TerminatedWithin(request->VendorId, sizeof request->VendorId));
    FUZZ_CHECK(TerminatedWithin(request->ProductId, sizeof request->ProductId));
    FUZZ_CHECK(TerminatedWithin(request->InfName, sizeof request->InfName));
    // At least 9 characters, and an INF name that fits its 59.
    FUZZ_CHECK((accepted != 0) == (length >= 9 && length <= 69));
    // The reason given is the one that holds.
    FUZZ_CHECK(refusal == (accepted         ? RebindAccepted
                           : length < 9     ? RefusedTextTooShort
                                            : RefusedInfNameTooLong));

    // A build that ignores the INF name accepts every text of 9 characters
    // or more, with the same IDs.
    Block unusedBlock(sizeof(RebindRequest));
    RebindRequest *unused = reinterpret_cast<RebindRequest *>(unusedBlock.data());
    FUZZ_CHECK((ParseRebindRequest(argument.data(), unused, 0) != 0) == (length >= 9));
    FUZZ_CHECK(TerminatedWithin(unused->InfName, sizeof unused->InfName));
    if (length >= 9)
        FUZZ_CHECK(std::memcmp(unused->VendorId, argument.data(), 4) == 0 &&
                   std::memcmp(unused->ProductId, argument.data() + 5, 4) == 0);
    if (!accepted) {
        CheckRefusedSelectsNothing(argument, request);
        return 0;
    }
    CheckAccepted(argument, request);
    CheckInfFolderPath(windowsDir, request->InfName);

    return 0;
}
