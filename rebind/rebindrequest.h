// The re-binder's argument text and the device selection rule. No Windows
// header: tested natively and fuzzed.
#ifndef REBINDREQUEST_H
#define REBINDREQUEST_H

#define ArgumentTextSize 160
#define HardwareIdSize 200

struct RebindRequest {
    char VendorId[5];
    char ProductId[5];
    char InfName[60];
};

// Why an argument text re-binds nothing, as the trace says it.
enum RebindRefusal {
    RebindAccepted,
    RefusedTextTooShort,  // fewer than 9 characters: no vendor and product ID
    RefusedInfNameTooLong // the INF name, which this build uses, does not fit
};
const char *RebindRefusalText(RebindRefusal refusal);

// Keeps the argument text in a store of ArgumentTextSize bytes. A text that
// does not fit is refused (0, store left empty) when its INF name is used,
// as a cut text would name another INF file; otherwise only the unused INF
// name is cut, and the text kept.
int StoreArgumentText(char *store, const char *argumentText, int infNameUsed);

// Vendor ID from characters 0-3, product ID from 5-8, INF name from 10 to
// the end; characters 4 and 9 are separators of any kind. Returns 0 when the
// text is shorter than 9 characters, or when the INF name is used and does
// not fit: then no device may be re-bound, and refusal, when given, says
// why. An unused INF name that does not fit is left empty.
int ParseRebindRequest(const char *argumentText, RebindRequest *request, int infNameUsed,
                       RebindRefusal *refusal = 0);

// The selection rule on a hardware ID list of bufferSize bytes: its first
// string must begin with "USB" (exact case), be at least 21 characters long
// and carry the vendor ID at 8 and the product ID at 17, compared without
// regard to case. The request's IDs and the first string are upper-cased in
// place from the compared positions on, as the installation is then asked
// for with that text. Never reads past bufferSize.
int MatchRebindHardwareId(char *hardwareId, unsigned bufferSize,
                          RebindRequest *request);

// Windows directory + "\inf\" + INF name into path (pathSize bytes), as
// JoinPath joins: nonzero when it fitted, else 0 and path empty.
int BuildInfFolderPath(char *path, unsigned pathSize, const char *windowsDir,
                       const char *infName);

#endif
