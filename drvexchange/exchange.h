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

// Last-write time of a file opened for reading. Returns 0, or the error
// that kept the file from being opened (time then untouched).
DWORD ReadLastWriteTime(const char *path, FILETIME *time);

// A file time for the trace, "2004-06-01 00:00:00 UTC", in FileTimeTextSize
// bytes.
enum { FileTimeTextSize = 40 };
void FormatFileTime(const FILETIME *time, char *text);

// One scan over the present USB devices; scan numbers its trace lines and
// cause says what started it. Returns the number of installations it
// requested (nonzero when any).
int ExchangeDrivers(unsigned long scan, const char *cause);

#endif
