// morvex's globals: what its start-up read, before the main window exists,
// and read-only afterwards.
#ifndef MORVEXSTATE_H
#define MORVEXSTATE_H

#include <windows.h>
#include "driverpaths.h"

extern char WindowsDir[WindowsDirSize];
// The reference copy's last-write time: a copy replaced while the program
// runs counts from the next start.
extern FILETIME ReferenceDriverTime;
// Nonzero when this account may write where a driver installation writes.
extern int MayInstallDrivers;

#endif
