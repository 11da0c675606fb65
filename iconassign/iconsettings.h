// The icon settings store: HKLM "Software\BrindIco" holds the icon file
// names of the five slot kinds (values "0".."4") and one empty marker value
// per drive letter whose icon this program has set.
#ifndef ICONSETTINGS_H
#define ICONSETTINGS_H

#include <windows.h>
#include "iconname.h"

extern HKEY IconSettingsKey;
extern char IconFileTable[IconEntryCount][IconEntrySize];

int OpenIconSettingsKey(void);
// Nonzero when all five values were read into IconFileTable.
int LoadIconFileTable(void);
// The start-up load: the five values (nonzero), or all five defaults (0).
int LoadIconFileTableOrDefaults(void);
// Sets (set nonzero) or removes the empty marker value named by letter.
int MarkDriveInSettings(char letter, int set);

#endif
