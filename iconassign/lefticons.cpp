#include <windows.h>
#include "lefticons.h"
#include "driveresolve.h"
#include "driveicon.h"
#include "iconplace.h"
#include "iconsettings.h"
#include "iconwrite.h"
#include "trace.h"

// Removes the kit's icon of each letter in the mask and says why.
static void TakeAway(HKEY root, HKEY settings, DWORD letters, const char *why)
{
    for (int n = 0; n < 26; n++) {
        if (!(letters & (1u << n)))
            continue;
        const char *done = IconRemovalText(RemoveMarkedIcon(root, settings, (char)('A' + n)));
        if (done)
            Trace("start: drive %c: %s: %s", 'A' + n, done, why);
    }
}

static void TakeAwayUserIcons(void)
{
    HKEY settings;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, IconSettingsPath, 0, IconSettingsAccess, &settings) !=
        ERROR_SUCCESS)
        return;
    TakeAway(HKEY_CURRENT_USER, settings, MarkedLetters(settings),
             "this user's own, which would hide the machine's icon");
    RegCloseKey(settings);
}

void TakeAwayLeftIcons(void)
{
    if (IconKeysPlace == PlaceMachine)
        TakeAwayUserIcons();
    DWORD marked = MarkedLetters(IconSettingsKey);
    if (!marked)
        return;
    DWORD slots;
    if (!ResolveCardSlotLetters(GetLogicalDrives(), &slots)) {
        Trace("start: the disk list cannot be read: icons kept");
        return;
    }
    TakeAway(DrivesRoot(), IconSettingsKey, marked & ~slots,
             "no card slot of the reader has that letter now");
}
