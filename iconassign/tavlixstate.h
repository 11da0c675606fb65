// State of the drive icon assigner that its parts share across threads.
#ifndef TAVLIXSTATE_H
#define TAVLIXSTATE_H

#include <windows.h>

enum { WindowsDirSize = 64, DriveLetterCount = 26 };

// 1 while this run has given drive A + n a card-slot icon. Set and cleared
// with InterlockedExchange, read with plain loads.
extern volatile LONG DriveAssigned[DriveLetterCount];

// From GetVersion, stored before the main window exists; read-only after.
extern DWORD OsMajor;
extern DWORD OsMinor;

// The Windows directory, at most 63 characters; filled while the main
// window is created, read-only afterwards.
extern char WindowsDir[WindowsDirSize];

// Nonzero on 5.1 and later 5.x: the versions that keep icon keys across a
// restart and assign icons on device-tree growth rather than at start-up.
int IsWindowsXpFamily(void);

#endif
