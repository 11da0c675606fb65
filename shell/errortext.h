// What GetLastError's code means, for a trace line or a box: "5 (Access is
// denied.)", or the number alone when the system has no text for it (in
// hexadecimal above 0xFFFF, as the Setup API's codes are written).
#ifndef ERRORTEXT_H
#define ERRORTEXT_H

#include <windows.h>

// Bytes that hold any of the texts whole.
enum { ErrorTextSize = 288 };
// The text of error, cut to size bytes and always terminated.
void FormatErrorText(DWORD error, char *text, unsigned size);
// The same for GetLastError's code now, into ErrorTextSize bytes: only
// right after the call that failed.
void FormatLastError(char *text);

#endif
