#include "driverpaths.h"
#include "asciitext.h"

int BuildInfPath(char *path, unsigned pathSize, const char *windowsDir)
{
    return JoinPath(path, pathSize, windowsDir, InfPathSuffix);
}

int BuildReferenceDriverPath(char *path, unsigned pathSize, const char *windowsDir)
{
    return JoinPath(path, pathSize, windowsDir, ReferenceDriverSuffix);
}

int BuildInstalledDriverPath(char *path, unsigned pathSize, const char *windowsDir)
{
    return JoinPath(path, pathSize, windowsDir, InstalledDriverSuffix);
}
