#include "rebindrequest.h"
#include "asciitext.h"

int StoreArgumentText(char *store, const char *argumentText, int infNameUsed)
{
    if (TextCopy(store, ArgumentTextSize, argumentText))
        return 1;
    if (infNameUsed)
        return 0;
    // The IDs lie within the first 9 characters: the cut takes INF name only.
    for (unsigned i = 0; i < ArgumentTextSize - 1; i++)
        store[i] = argumentText[i];
    store[ArgumentTextSize - 1] = '\0';
    return 1;
}

static void CopyField(char *field, const char *text, unsigned count)
{
    for (unsigned i = 0; i < count; i++)
        field[i] = text[i];
}

const char *RebindRefusalText(RebindRefusal refusal)
{
    switch (refusal) {
    case RebindAccepted:
        break;
    case RefusedTextTooShort:
        return "has fewer than 9 characters: vendor ID, a separator, product ID";
    case RefusedInfNameTooLong:
        return "names an INF file of more than 59 characters";
    }
    return "is accepted";
}

static int Refuse(RebindRefusal reason, RebindRefusal *refusal)
{
    if (refusal)
        *refusal = reason;
    return 0;
}

int ParseRebindRequest(const char *argumentText, RebindRequest *request, int infNameUsed,
                       RebindRefusal *refusal)
{
    char *raw = (char *)request;
    for (unsigned i = 0; i < sizeof(RebindRequest); i++)
        raw[i] = '\0';
    if (refusal)
        *refusal = RebindAccepted;

    unsigned length = TextLength(argumentText, ArgumentTextSize);
    if (length < 9)
        return Refuse(RefusedTextTooShort, refusal);
    CopyField(request->VendorId, argumentText, 4);
    CopyField(request->ProductId, argumentText + 5, 4);
    if (length == 9)
        return 1;
    if (!TextCopy(request->InfName, sizeof(request->InfName), argumentText + 10)) {
        if (!infNameUsed)
            return 1;   // TextCopy left InfName empty
        request->VendorId[0] = '\0';
        request->ProductId[0] = '\0';
        return Refuse(RefusedInfNameTooLong, refusal);
    }
    return 1;
}

// Upper-cases text from start to the end of its first string, within limit.
static void UpperFrom(char *text, unsigned start, unsigned limit)
{
    for (unsigned i = start; i < limit && text[i] != '\0'; i++)
        text[i] = AsciiUpper(text[i]);
}

int MatchRebindHardwareId(char *hardwareId, unsigned bufferSize,
                          RebindRequest *request)
{
    unsigned length = TextLength(hardwareId, bufferSize);
    if (length < 21 || !AsciiMatchExact(hardwareId, "USB", 3))
        return 0;

    UpperFrom(request->VendorId, 0, 4);
    UpperFrom(hardwareId, 8, length);
    if (!AsciiMatchExact(hardwareId + 8, request->VendorId, 4))
        return 0;

    UpperFrom(request->ProductId, 0, 4);
    UpperFrom(hardwareId, 17, length);
    return AsciiMatchExact(hardwareId + 17, request->ProductId, 4);
}

int BuildInfFolderPath(char *path, unsigned pathSize, const char *windowsDir,
                       const char *infName)
{
    return JoinPath(path, pathSize, windowsDir, "\\inf\\") &&
           JoinPath(path, pathSize, path, infName);
}
