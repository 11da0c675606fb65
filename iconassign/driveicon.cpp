#include <windows.h>
#include "driveicon.h"
#include "iconname.h"
#include "iconplace.h"
#include "iconsettings.h"
#include "tavlixstate.h"
#include "asciitext.h"

// The letter's keys below the Drives key of the place, made as the version
// wants them. The Drives key and any missing parent are kept keys whatever
// the version: a volatile one would refuse every kept key below it, among
// them the user's own Open With entries under Applications.
static LONG CreateLetterIconKey(char letter, HKEY *key)
{
    HKEY drives;
    LONG result = RegCreateKeyExA(DrivesRoot(), DrivesKey(), 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_CREATE_SUB_KEY, NULL, &drives, NULL);
    if (result != ERROR_SUCCESS)
        return result;
    char letterKey[LetterIconKeySize];
    FormatLetterIconKey(letter, letterKey, sizeof(letterKey));
    // Only 5.1 and later 5.x keep the key across a restart of Windows.
    DWORD option = IsWindowsXpFamily() ? REG_OPTION_NON_VOLATILE : REG_OPTION_VOLATILE;
    result = RegCreateKeyExA(drives, letterKey, 0, NULL, option, KEY_ALL_ACCESS, NULL, key, NULL);
    RegCloseKey(drives);
    return result;
}

int SetDriveIcon(char letter, SlotType slot)
{
    if (slot > SlotCombo)
        return 0;
    HKEY key;
    if (CreateLetterIconKey(letter, &key) != ERROR_SUCCESS)
        return 0;

    // At most 63 + 19 characters: both parts are bounded when loaded.
    char iconPath[WindowsDirSize + IconEntrySize];
    // The byte count leaves the NUL out, as the shell reads it.
    LONG written = ERROR_INVALID_DATA;
    if (TextCopy(iconPath, sizeof(iconPath), WindowsDir) &&
        TextAppend(iconPath, sizeof(iconPath), IconFileTable[slot]))
        written = RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)iconPath,
                                 (DWORD)lstrlenA(iconPath));
    RegCloseKey(key);
    MarkDriveInSettings(letter, 1);
    return written == ERROR_SUCCESS;
}

int RemoveDriveIcon(char letter)
{
    char keyPath[DriveIconKeySize];
    FormatDriveIconKey(DrivesKey(), letter, keyPath, sizeof(keyPath));
    LONG deleted = RegDeleteKeyA(DrivesRoot(), keyPath);
    MarkDriveInSettings(letter, 0);
    return deleted == ERROR_SUCCESS;
}
