// The driver exchange: puts every present reader of ReaderIdTable back on
// the reader's own driver when Windows has bound the generic mass-storage
// service to it, or when its installed driver file is not the reference one.
#ifndef EXCHANGE_H
#define EXCHANGE_H

#include <windows.h>
#include "driverpaths.h"

// Set at start-up, before the main window exists; read-only afterwards.
extern char WindowsDir[WindowsDirSize];
extern FILETIME ReferenceDriverTime;

// Last-write time of a file opened for reading. Returns 0 when the file
// cannot be opened.
int ReadLastWriteTime(const char *path, FILETIME *time);

// One scan over the present USB devices. Returns nonzero when it requested
// at least one installation.
int ExchangeDrivers(void);

#endif
