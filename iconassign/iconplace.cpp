#include "iconplace.h"
#include "iconname.h"
#include "iconsettings.h"
#include "asciitext.h"

IconPlace IconKeysPlace;   // PlaceMachine until the start-up chooses

// ERROR_SUCCESS when this account may make keys where the machine's icon
// keys go; otherwise why not. Only the deepest of the Drives key and its
// parents that exists tells whether the icon keys could be made below it,
// down to Software\Classes. Makes nothing.
static LONG MayMakeMachineIconKeys(void)
{
    char path[DriveIconKeySize];
    TextCopy(path, sizeof(path), DrivesKeyPath);
    LONG result;
    do {
        HKEY key;
        result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_CREATE_SUB_KEY, &key);
        if (result == ERROR_SUCCESS)
            RegCloseKey(key);
    } while (result == ERROR_FILE_NOT_FOUND && CutLastKey(path));
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
