#include <windows.h>
#include "driveicon.h"
#include "iconname.h"
#include "iconsettings.h"
#include "tavlixstate.h"
#include "asciitext.h"

int SetDriveIcon(char letter, SlotType slot)
{
    char keyPath[DriveIconKeySize];
    FormatDriveIconKey(letter, keyPath, sizeof(keyPath));
    if (slot > SlotCombo)
        return 0;

    // Only 5.1 and later 5.x keep the key across a restart of Windows.
    DWORD option = IsWindowsXpFamily() ? REG_OPTION_NON_VOLATILE : REG_OPTION_VOLATILE;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, NULL, option, KEY_ALL_ACCESS, NULL,
                        &key, NULL) != ERROR_SUCCESS)
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
    FormatDriveIconKey(letter, keyPath, sizeof(keyPath));
    LONG deleted = RegDeleteKeyA(HKEY_CLASSES_ROOT, keyPath);
    MarkDriveInSettings(letter, 0);
    return deleted == ERROR_SUCCESS;
}
