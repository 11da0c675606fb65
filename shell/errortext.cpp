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
    char line[sizeof(message) + 24];
    if (length > 0)
        wsprintfA(line, "%lu (%s)", error, message);
    else
        wsprintfA(line, "%lu", error);
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
