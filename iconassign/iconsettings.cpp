// The icon settings store: HKLM "Software\BrindIco", its five icon file
// values and the per-drive marker values.
#include "iconsettings.h"
#include "sharedkey.h"

HKEY IconSettingsKey;
char IconFileTable[IconEntryCount][IconEntrySize];

static const char IconSettingsPath[] = "Software\\BrindIco";

// Creates the key (non-volatile, full access) or opens it when it exists.
int OpenIconSettingsKey(void)
{
    HKEY created;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, IconSettingsPath, 0, NULL,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &created, NULL) != ERROR_SUCCESS)
        return 0;
    KeepSharedKey(&IconSettingsKey, created);
    return 1;
}

// IconSettingsKey, opened with the plain open when it is still empty;
// null when that open fails.
static HKEY SettingsKeyOrOpen(void)
{
    HKEY key = IconSettingsKey;
    if (key != NULL)
        return key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, IconSettingsPath, &key) != ERROR_SUCCESS)
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

// Nonzero when all five values were read. A missing key is created for the
// markers, but the table then stays unloaded: a new key has no values.
int LoadIconFileTable(void)
{
    HKEY key = SettingsKeyOrOpen();
    if (key == NULL) {
        OpenIconSettingsKey();
        return 0;
    }
    for (int i = 0; i < IconEntryCount; i++) {
        if (!LoadIconFileEntry(key, i))
            return 0;
    }
    return 1;
}

// All five entries from the registry, or all five defaults: a partial
// configuration is never used.
int LoadIconFileTableOrDefaults(void)
{
    if (LoadIconFileTable())
        return 1;
    for (int i = 0; i < IconEntryCount; i++) {
        for (int j = 0; j < IconEntrySize; j++)
            IconFileTable[i][j] = DefaultIconEntries[i][j];
    }
    return 0;
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
