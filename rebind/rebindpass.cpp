#include "rebindpass.h"
#include <windows.h>
#include <setupapi.h>
#include "driverinstall.h"
#include "errortext.h"
#include "structsizes.h"
#include "rebindrequest.h"
#include "rebindvariant.h"
#include "trace.h"
#include "vorbindstate.h"
#include "windowsfolder.h"

#if RebindVariant == InfFolder
static char InfPath[MAX_PATH];
#define InfPathOrigin "from the argument text"
#else
#define InfPathOrigin "this build's own"
#endif

// The INF path and flags of this build. Returns 0 when the path cannot be
// formed whole.
static int ChooseInstallation(const RebindRequest *request, const char **infPath,
                              DWORD *flags)
{
#if RebindVariant == InfFolder
    char windowsDir[MAX_PATH];
    WindowsFolderResult folder = ReadWindowsFolder(windowsDir, sizeof(windowsDir));
    if (folder.outcome != WindowsFolderRead) {
        char reason[WindowsFolderRefusalSize];
        FormatWindowsFolderRefusal(&folder, sizeof(windowsDir), reason);
        Trace("nothing re-bound: %s", reason);
        return 0;
    }
    if (!BuildInfFolderPath(InfPath, sizeof(InfPath), windowsDir, request->InfName)) {
        Trace("nothing re-bound: the Windows folder, \"\\inf\\\" and INF name %s make more "
              "than 259 characters",
              request->InfName);
        return 0;
    }
    *infPath = InfPath;
    *flags = INSTALLFLAG_FORCE;
#elif RebindVariant == OemFolder
    (void)request;
    *infPath = "OEMDRVRS\\zelmot.inf";
    *flags = INSTALLFLAG_FORCE;
#elif RebindVariant == BareName
    (void)request;
    *infPath = "zelmot.inf";
    *flags = 0;
#endif
    return 1;
}

// Returns nonzero when the device matched.
static int RebindDevice(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD index,
                        RebindRequest *request, const char *infPath, DWORD flags)
{
    // Zero-filled, with two bytes beyond what is offered: a property that
    // lacks its NULs still ends right where its data ends, never in what an
    // earlier device left in this buffer.
    char hardwareId[HardwareIdSize + 2] = {};
    DWORD type;
    DWORD required;
    if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, &type,
                                           (BYTE *)hardwareId, HardwareIdSize,
                                           &required))
        return 0;
    if (!MatchRebindHardwareId(hardwareId, HardwareIdSize, request))
        return 0;
    Trace("device %lu: installation requested: its hardware ID %s matches", index, hardwareId);
    InstallOutcome outcome = InstallDriver(hardwareId, infPath, flags);
    char text[InstallOutcomeTextSize];
    FormatInstallOutcome(&outcome, text);
    Trace("device %lu: %s", index, text);
    return 1;
}

void RebindMatchingDevices(void)
{
    RebindRequest request;
    if (!ArgumentTextKept) {
        Trace("nothing re-bound: the argument text has more than %d characters",
              ArgumentTextSize - 1);
        return;
    }
    RebindRefusal refusal;
    if (!ParseRebindRequest(ArgumentText, &request, RebindUsesInfName, &refusal)) {
        Trace("nothing re-bound: the argument text \"%s\" %s", ArgumentText,
              RebindRefusalText(refusal));
        return;
    }
    const char *infPath;
    DWORD flags;
    if (!ChooseInstallation(&request, &infPath, &flags))
        return;
    Trace("understood: vendor %s, product %s, INF %s (" InfPathOrigin "), flags %lu (%s)",
          request.VendorId, request.ProductId, infPath, flags, flags ? "forced" : "not forced");

    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        char error[ErrorTextSize];
        FormatLastError(error);
        Trace("nothing re-bound: the device list cannot be opened: %s", error);
        return;
    }
    unsigned long matched = 0;
    SP_DEVINFO_DATA device;
    DWORD index = 0;
    for (;; index++) {
        device.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        matched += RebindDevice(set, &device, index, &request, infPath, flags);
    }
    SetupDiDestroyDeviceInfoList(set);
    Trace("done: %lu devices examined, %lu matched", (unsigned long)index, matched);
}
