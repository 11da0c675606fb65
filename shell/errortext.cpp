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
    unsigned i = 0;
    for (; size > 0 && i + 1 < size && line[i] != '\0'; i++)
        text[i] = line[i];
    if (size > 0)
        text[i] = '\0';
}

void FormatLastError(char *text)
{
    FormatErrorText(GetLastError(), text, ErrorTextSize);
}
