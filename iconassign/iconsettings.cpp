// The icon settings store: "Software\BrindIco", its five icon file values
// and the per-drive marker values.
#include "iconsettings.h"
#include "sharedkey.h"

int IconSettingsOfUser;
HKEY IconSettingsKey;
char IconFileTable[IconEntryCount][IconEntrySize];

const char IconSettingsPath[] = "Software\\BrindIco";

static HKEY SettingsRoot(void)
{
    return IconSettingsOfUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Creates the key (non-volatile) or opens it when it exists, with the
// rights its use needs and no more: an account that may write its values
// but not change its access list (a Power User on XP) gets it too.
LONG CreateIconSettingsKey(void)
{
    HKEY created;
    LONG result = RegCreateKeyExA(SettingsRoot(), IconSettingsPath, 0, NULL,
                                  REG_OPTION_NON_VOLATILE, IconSettingsAccess, NULL,
                                  &created, NULL);
    if (result == ERROR_SUCCESS)
        KeepSharedKey(&IconSettingsKey, created);
    return result;
}

int OpenIconSettingsKey(void)
{
    return CreateIconSettingsKey() == ERROR_SUCCESS;
}

// IconSettingsKey, opened with the plain open when it is still empty;
// null when that open fails.
static HKEY SettingsKeyOrOpen(void)
{
    HKEY key = IconSettingsKey;
    if (key != NULL)
        return key;
    if (RegOpenKeyExA(SettingsRoot(), IconSettingsPath, 0, IconSettingsAccess, &key) !=
        ERROR_SUCCESS)
        return NULL;
    return KeepSharedKey(&IconSettingsKey, key);
}

// Reads value "0" + index straight into the entry behind its backslash.
// A value that fills the 19 bytes without a NUL would leave the entry
// without one: it counts as unreadable.
static int LoadIconFileEntry(HKEY key, int index)
{
    const char name[2] = { (char)('0' + index), '\0' };
    char *entry = IconFileTable[index];
    DWORD size = IconValueLimit;
    if (RegQueryValueExA(key, name, NULL, NULL, (BYTE *)entry + 1,
                         &size) != ERROR_SUCCESS) {
        entry[0] = '\0';   // a failed query may have left anything behind
        return 0;
    }
    return LoadIconEntry(entry, entry + 1, size);
}

static int LoadIconFileEntries(HKEY key)
{
    for (int i = 0; i < IconEntryCount; i++) {
        if (!LoadIconFileEntry(key, i))
            return 0;
    }
    return 1;
}

// The machine's names where the markers are the user's: read, never made.
static IconNamesSource LoadMachineIconNames(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, IconSettingsPath, 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return NamesUnreadable;
    int loaded = LoadIconFileEntries(key);
    RegCloseKey(key);
    return loaded ? NamesFromSettings : NamesIncomplete;
}

// A missing machine key is created for the markers, but the table then
// stays unloaded: a new key has no values.
static IconNamesSource LoadIconNames(void)
{
    if (IconSettingsOfUser)
        return LoadMachineIconNames();
    HKEY key = SettingsKeyOrOpen();
    if (key == NULL) {
        OpenIconSettingsKey();
        return NamesIncomplete;
    }
    return LoadIconFileEntries(key) ? NamesFromSettings : NamesIncomplete;
}

int LoadIconFileTable(void)
{
    return LoadIconNames() == NamesFromSettings;
}

// All five entries from the registry, or all five defaults: a partial
// configuration is never used.
IconNamesSource LoadIconFileTableOrDefaults(void)
{
    IconNamesSource source = LoadIconNames();
    if (source == NamesFromSettings)
        return source;
    for (int i = 0; i < IconEntryCount; i++) {
        for (int j = 0; j < IconEntrySize; j++)
            IconFileTable[i][j] = DefaultIconEntries[i][j];
    }
    return source;
}

// Sets (an empty REG_SZ, zero bytes) or removes the marker value named by
// the drive letter. Never creates the key.
int MarkDriveInSettings(char letter, int set)
{
    HKEY key = SettingsKeyOrOpen();
    if (key == NULL)
        return 0;
    const char name[2] = { letter, '\0' };
    LONG result;
    if (set)
        result = RegSetValueExA(key, name, 0, REG_SZ, NULL, 0);
    else
        result = RegDeleteValueA(key, name);
    return result == ERROR_SUCCESS;
}

int DriveIsMarked(HKEY key, char letter)
{
    const char name[2] = { letter, '\0' };
    return key != NULL && RegQueryValueExA(key, name, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
}

// Value names longer than a letter do not fit the buffer and are passed
// over (ERROR_MORE_DATA), as are the icon file values.
DWORD MarkedLetters(HKEY key)
{
    DWORD letters = 0;
    char name[4];
    DWORD size = sizeof(name);
    for (DWORD i = 0; key != NULL; i++, size = sizeof(name)) {
        LONG result = RegEnumValueA(key, i, name, &size, NULL, NULL, NULL, NULL);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        int drive = result == ERROR_SUCCESS ? MarkerDriveIndex(name) : -1;
        if (drive >= 0)
            letters |= 1u << drive;
    }
    return letters;
}
