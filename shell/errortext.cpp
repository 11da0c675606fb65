#include "errortext.h"

void FormatErrorText(DWORD error, char *text, unsigned size)
{
    char message[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, error, 0, message, sizeof(message), NULL);
    // The system's texts end with a line end (and blanks, at times).
    while (length > 0 && (unsigned char)message[length - 1] <= ' ')
        length--;
    message[length] = '\0';
    // The Setup API's own codes (0xE0000235, a 32-bit program refused on
    // 64-bit Windows) read best in hexadecimal, as they are documented.
    char line[sizeof(message) + 24];
    int used = wsprintfA(line, error > 0xFFFF ? "0x%08lX" : "%lu", error);
    if (length > 0)
        wsprintfA(line + used, " (%s)", message);
    // Cut to size, always terminated.
    if (size > 0)
        lstrcpynA(text, line, size);
}

void FormatLastError(char *text)
{
    FormatErrorText(GetLastError(), text, ErrorTextSize);
}
