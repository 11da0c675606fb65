// The paths of the reader's driver package in the Windows directory. No
// Windows header: tested natively.
#ifndef DRIVERPATHS_H
#define DRIVERPATHS_H

// The Windows directory buffer: at most 63 characters and the NUL.
#define WindowsDirSize 64

#define InfPathSuffix "\\ZELMOT\\ZELMOT.INF"
#define ReferenceDriverSuffix "\\zelmot\\zelmot.sys"
#define InstalledDriverSuffix "\\system32\\drivers\\zelmot.sys"
// Room for the longest accepted Windows directory followed by the suffix.
#define InfPathSize (WindowsDirSize - 1 + sizeof(InfPathSuffix))
#define DriverPathSize 260
// So every path built from an accepted Windows directory fits its buffer.
static_assert(WindowsDirSize - 1 + sizeof(ReferenceDriverSuffix) <= DriverPathSize &&
                  WindowsDirSize - 1 + sizeof(InstalledDriverSuffix) <= DriverPathSize,
              "a driver path does not fit");

// Each builds its path from windowsDir into path (pathSize bytes) as
// JoinPath does: nonzero when it fitted, else 0 and path empty.
int BuildInfPath(char *path, unsigned pathSize, const char *windowsDir);
int BuildReferenceDriverPath(char *path, unsigned pathSize, const char *windowsDir);
int BuildInstalledDriverPath(char *path, unsigned pathSize, const char *windowsDir);

#endif
