#include "commandline.h"

const char *SkipProgramName(const char *commandLine)
{
    const char *p = commandLine;
    if (p == 0)
        return "";
    if (*p == '"') {
        p++;
        while (*p != '\0' && *p != '"')
            p++;
        if (*p == '"')
            p++;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}
