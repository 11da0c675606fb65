// The icon settings store: "Software\BrindIco" holds the icon file names of
// the five slot kinds (values "0".."4") and one empty marker value per drive
// letter whose icon this program has set. The names are always the
// machine's (HKEY_LOCAL_MACHINE), an administrator's choice; the markers
// lie beside the icon keys they record: the machine's, or, for an account
// that may not write those, its own (HKEY_CURRENT_USER).
#ifndef ICONSETTINGS_H
#define ICONSETTINGS_H

#include <windows.h>
#include "iconname.h"

// Nonzero when the markers are the user's own (HKEY_CURRENT_USER), as the
// start-up chose; zero for the machine's. Set before the key is first
// opened.
extern int IconSettingsOfUser;
extern HKEY IconSettingsKey;
extern char IconFileTable[IconEntryCount][IconEntrySize];

extern const char IconSettingsPath[];   // "Software\BrindIco"
// Reading the names and markers, setting and deleting markers.
enum { IconSettingsAccess = KEY_QUERY_VALUE | KEY_SET_VALUE };

// Creates or opens the markers' key into IconSettingsKey: ERROR_SUCCESS, or
// the registry's error.
LONG CreateIconSettingsKey(void);
// The same, nonzero when it was created or opened.
int OpenIconSettingsKey(void);
// Nonzero when all five values were read into IconFileTable.
int LoadIconFileTable(void);

// Where the start-up load took the names from.
enum IconNamesSource {
    NamesFromSettings,    // all five values
    NamesIncomplete,      // the defaults: not all of values 0 to 4 are there
    NamesUnreadable       // the defaults: the machine's key cannot be read
};
// The start-up load: the five values, or all five defaults.
IconNamesSource LoadIconFileTableOrDefaults(void);
// Sets (set nonzero) or removes the empty marker value named by letter.
int MarkDriveInSettings(char letter, int set);
// Whether the settings key (of either place) holds the letter's marker:
// the kit gave that letter its icon key there.
int DriveIsMarked(HKEY key, char letter);
// The letters the settings key marks, as a unit mask (bit n for A + n).
DWORD MarkedLetters(HKEY key);

#endif
