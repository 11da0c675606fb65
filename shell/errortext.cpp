#include "trace.h"

void FormatErrorText(DWORD error, char *text, unsigned size)
{
    char message[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, error, 0, message, sizeof(message), NULL);
    // The system's texts end with a line end.
    while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' ||
                          message[length - 1] == ' '))
        length--;
    message[length] = '\0';
    // The Setup API's own codes (0xE0000235, a 32-bit program refused on
    // 64-bit Windows) read best in hexadecimal, as they are documented.
    char number[16];
    wsprintfA(number, error > 0xFFFF ? "0x%08lX" : "%lu", error);
    char line[sizeof(message) + 24];
    if (length > 0)
        wsprintfA(line, "%s (%s)", number, message);
    else
        wsprintfA(line, "%s", number);
    // Cut to size, always terminated.
    unsigned limit = size < sizeof(line) ? size : (unsigned)sizeof(line);
    if (limit == 0)
        return;
    unsigned i = 0;
    while (i + 1 < limit && line[i] != '\0') {
        text[i] = line[i];
        i++;
    }
    text[i] = '\0';
}

void FormatLastError(char *text)
{
    FormatErrorText(GetLastError(), text, ErrorTextSize);
}
