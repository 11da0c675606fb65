// The globals of the drive icon assigner that its parts share across
// threads.
#ifndef TAVLIXGLOBALS_H
#define TAVLIXGLOBALS_H

#include <windows.h>

enum { WindowsDirSize = 64, DriveLetterCount = 26 };

// 1 while this run has given drive A + n a card-slot icon. Set and cleared
// with InterlockedExchange, read with plain loads.
extern volatile LONG DriveAssigned[DriveLetterCount];

// The Windows directory, at most 63 characters; filled while the main
// window is created, read-only afterwards.
extern char WindowsDir[WindowsDirSize];

#endif
