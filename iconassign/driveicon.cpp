#include <windows.h>
#include "driveicon.h"
#include "iconname.h"
#include "iconplace.h"
#include "iconsettings.h"
#include "tavlixglobals.h"
#include "osversion.h"
#include "asciitext.h"

// The letter's keys below the Drives key of the place, made as the version
// wants them. The Drives key and any missing parent are kept keys whatever
// the version: a volatile one would refuse every kept key below it, among
// them the user's own Open With entries under Applications.
static LONG CreateLetterIconKey(char letter, HKEY *key, DWORD *disposition)
{
    HKEY drives;
    LONG result = RegCreateKeyExA(DrivesRoot(), DrivesKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_CREATE_SUB_KEY, NULL, &drives, NULL);
    if (result != ERROR_SUCCESS)
        return result;
    char letterKey[LetterIconKeySize];
    FormatLetterIconKey(letter, letterKey, sizeof(letterKey));
    // Only 5.1 and later 5.x keep the key across a restart of Windows.
    DWORD option = IsWindowsXpFamily() ? REG_OPTION_NON_VOLATILE : REG_OPTION_VOLATILE;
    result = RegCreateKeyExA(drives, letterKey, 0, NULL, option, KEY_SET_VALUE, NULL, key,
                             disposition);
    RegCloseKey(drives);
    return result;
}

// The key is written before its marker: a removal of the same letter that
// comes in between leaves a marked key, which the exit or the next start
// takes away, never a key without its marker.
int SetDriveIcon(char letter, SlotType slot)
{
    if (slot > SlotCombo)
        return 0;
    HKEY key;
    DWORD disposition;
    if (CreateLetterIconKey(letter, &key, &disposition) != ERROR_SUCCESS)
        return 0;

    // At most 63 + 19 characters: both parts are bounded when loaded.
    char iconPath[WindowsDirSize + IconEntrySize];
    // The byte count leaves the NUL out, as the shell reads it.
    LONG written = ERROR_INVALID_DATA;
    if (JoinPath(iconPath, sizeof(iconPath), WindowsDir, IconFileTable[slot]))
        written = RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)iconPath,
                                 (DWORD)lstrlenA(iconPath));
    RegCloseKey(key);
    if (MarkDriveInSettings(letter, 1))
        return written == ERROR_SUCCESS;
    if (disposition == REG_CREATED_NEW_KEY) {
        char keyPath[DriveIconKeySize];
        FormatDriveIconKey(DrivesKeyPath, letter, keyPath, sizeof(keyPath));
        RegDeleteKeyA(DrivesRoot(), keyPath);
    }
    return 0;
}

IconRemoval RemoveMarkedIcon(HKEY root, HKEY settings, char letter)
{
    char keyPath[DriveIconKeySize];
    FormatDriveIconKey(DrivesKeyPath, letter, keyPath, sizeof(keyPath));
    if (!DriveIsMarked(settings, letter)) {
        HKEY key;
        if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return NoIconKey;
        RegCloseKey(key);
        return IconNotTheKits;
    }
    LONG deleted = RegDeleteKeyA(root, keyPath);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
        return IconNotRemovable;
    const char name[2] = { letter, '\0' };
    RegDeleteValueA(settings, name);
    return deleted == ERROR_SUCCESS ? IconRemoved : MarkerRemoved;
}

IconRemoval RemoveDriveIcon(char letter)
{
    return RemoveMarkedIcon(DrivesRoot(), IconSettingsKey, letter);
}
