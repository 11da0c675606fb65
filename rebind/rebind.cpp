// The re-binding pass: every device the system knows, present or not, whose
// first hardware ID names the vendor and product of the command line is
// handed to the new-device library with the variant's INF file.
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>
#include "structsizes.h"
#include "rebind.h"
#include "rebindrequest.h"
#include "rebindvariant.h"

char ArgumentText[ArgumentTextSize];
int ArgumentTextKept;

#if RebindVariant == InfFolder
static char InfPath[MAX_PATH];
#endif

// The INF path and flags of this build. Returns 0 when the path cannot be
// formed whole.
static int ChooseInstallation(const RebindRequest *request, const char **infPath,
                              DWORD *flags)
{
#if RebindVariant == InfFolder
    char windowsDir[MAX_PATH];
    windowsDir[0] = '\0';
    UINT length = GetWindowsDirectoryA(windowsDir, sizeof(windowsDir));
    if (length >= sizeof(windowsDir))
        return 0;
    for (unsigned i = 0; i < sizeof(InfPath); i++)
        InfPath[i] = '\0';
    if (!BuildInfFolderPath(InfPath, sizeof(InfPath), windowsDir, request->InfName))
        return 0;
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

static void RebindDevice(HDEVINFO set, SP_DEVINFO_DATA *device,
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
        return;
    if (!MatchRebindHardwareId(hardwareId, HardwareIdSize, request))
        return;
    UpdateDriverForPlugAndPlayDevicesA(NULL, hardwareId, infPath, flags, NULL);
}

void RebindMatchingDevices(void)
{
    RebindRequest request;
    if (!ArgumentTextKept || !ParseRebindRequest(ArgumentText, &request, RebindUsesInfName))
        return;
    const char *infPath;
    DWORD flags;
    if (!ChooseInstallation(&request, &infPath, &flags))
        return;

    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device;
    for (DWORD index = 0;; index++) {
        device.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        RebindDevice(set, &device, &request, infPath, flags);
    }
    SetupDiDestroyDeviceInfoList(set);
}
