#include "iconplace.h"
#include "iconname.h"
#include "iconsettings.h"

IconPlace IconKeysPlace;   // PlaceMachine until the start-up chooses

// The machine's Drives key and its parents, deepest first, as they lie in
// HKEY_LOCAL_MACHINE: HKEY_CLASSES_ROOT makes new keys there. Only the
// deepest that exists tells whether the icon keys could be made below it.
// The classes key is looked at in its own right, never through a view that
// the system could redirect.
static const char *const MachineDrivesChain[] = {
    "Software\\Classes\\Applications\\Explorer.exe\\Drives",
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
    PlaceChoice choice = {PlaceMachine, MachinePlacesWritable, MayMakeMachineIconKeys()};
    if (choice.error != ERROR_SUCCESS)
        choice.reason = MachineDrivesDenied;
    else if ((choice.error = CreateIconSettingsKey()) != ERROR_SUCCESS)
        choice.reason = MachineSettingsDenied;
    else
        return choice;
    // The user's own markers; when even these cannot be made, the icons are
    // still given and the markers fail quietly.
    choice.place = PlaceUser;
    IconKeysPlace = PlaceUser;
    IconSettingsOfUser = 1;
    CreateIconSettingsKey();
    return choice;
}

HKEY DrivesRoot(void)
{
    return IconKeysPlace == PlaceUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
}

const char *DrivesKey(void)
{
    return IconKeysPlace == PlaceUser ? UserDrivesKey : MachineDrivesKey;
}
