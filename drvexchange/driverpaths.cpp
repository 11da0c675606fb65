#include "driverpaths.h"
#include "asciitext.h"

int WindowsDirAccepted(unsigned length)
{
    return length != 0 && length < WindowsDirSize;
}

static int BuildPath(char *path, unsigned pathSize, const char *windowsDir, const char *suffix)
{
    if (!TextCopy(path, pathSize, windowsDir))
        return 0;
    if (!TextAppend(path, pathSize, suffix)) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}

int BuildInfPath(char *path, unsigned pathSize, const char *windowsDir)
{
    return BuildPath(path, pathSize, windowsDir, InfPathSuffix);
}

int BuildReferenceDriverPath(char *path, unsigned pathSize, const char *windowsDir)
{
    return BuildPath(path, pathSize, windowsDir, "\\zelmot\\zelmot.sys");
}

int BuildInstalledDriverPath(char *path, unsigned pathSize, const char *windowsDir)
{
    return BuildPath(path, pathSize, windowsDir, "\\system32\\drivers\\zelmot.sys");
}
