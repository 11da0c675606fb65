#include "iconplace.h"
#include "iconname.h"
#include "iconsettings.h"

IconPlace IconKeysPlace;   // PlaceMachine until the start-up chooses

// The machine's Drives key and its parents, deepest first. Only the
// deepest that exists tells whether the icon keys could be made below it.
static const char *const MachineDrivesChain[] = {
    DrivesKeyPath,
    "Software\\Classes\\Applications\\Explorer.exe",
    "Software\\Classes\\Applications",
    "Software\\Classes",
};

// ERROR_SUCCESS when this account may make keys where the machine's icon
// keys go; otherwise why not. Makes nothing.
static LONG MayMakeMachineIconKeys(void)
{
    LONG result = ERROR_FILE_NOT_FOUND;
    for (unsigned i = 0; i < sizeof(MachineDrivesChain) / sizeof(MachineDrivesChain[0]); i++) {
        HKEY key;
        result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, MachineDrivesChain[i], 0, KEY_CREATE_SUB_KEY,
                               &key);
        if (result == ERROR_SUCCESS)
            RegCloseKey(key);
        if (result != ERROR_FILE_NOT_FOUND)
            break;
    }
    return result;
}

PlaceChoice ChooseIconPlace(void)
{
    PlaceChoice choice = {PlaceMachine, MachinePlacesWritable, MayMakeMachineIconKeys(),
                          ERROR_SUCCESS};
    if (choice.error != ERROR_SUCCESS)
        choice.reason = MachineDrivesDenied;
    else if ((choice.error = CreateIconSettingsKey()) != ERROR_SUCCESS)
        choice.reason = MachineSettingsDenied;
    else
        return choice;
    // The user's own markers. Without them no icon may be given: an icon
    // the kit has not marked is never taken away again.
    choice.place = PlaceUser;
    IconKeysPlace = PlaceUser;
    IconSettingsOfUser = 1;
    choice.markersError = CreateIconSettingsKey();
    return choice;
}

HKEY DrivesRoot(void)
{
    return IconKeysPlace == PlaceUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}
