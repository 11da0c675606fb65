// The driver files' last-write times, as read and as the trace writes them.
#ifndef DRIVERTIME_H
#define DRIVERTIME_H

#include <windows.h>

// Last-write time of a file opened for reading. Returns 0, or the error
// that kept the file from being opened (time then untouched).
DWORD ReadLastWriteTime(const char *path, FILETIME *time);

// A file time for the trace, "2004-06-01 00:00:00 UTC", in FileTimeTextSize
// bytes.
enum { FileTimeTextSize = 40 };
void FormatFileTime(const FILETIME *time, char *text);

#endif
