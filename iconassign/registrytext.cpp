#include "registrytext.h"

unsigned TerminateRegistryText(char *buffer, unsigned bufferSize,
                               unsigned long bytesRead)
{
    if (bufferSize == 0)
        return 0;
    unsigned filled = bytesRead < bufferSize ? (unsigned)bytesRead : bufferSize;
    for (unsigned i = 0; i < filled; i++) {
        if (buffer[i] == '\0')
            return i;
    }
    unsigned end = filled < bufferSize ? filled : bufferSize - 1;
    buffer[end] = '\0';
    return end;
}
