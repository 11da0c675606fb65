// The Windows version the drive icon assigner runs on, and the rules that
// follow from it: which passes run on which event, and whether icon keys
// outlive a restart.
#ifndef OSVERSION_H
#define OSVERSION_H

#include <windows.h>

// From GetVersion, stored before the main window exists; read-only after.
extern DWORD OsMajor;
extern DWORD OsMinor;

// 5.0: icons at start and for each card volume that arrives.
int IsWindows2000(void);
// 5.1 and later 5.x: icon keys kept across a restart, icons given when the
// disk count grows rather than at start-up.
int IsWindowsXpFamily(void);

#endif
