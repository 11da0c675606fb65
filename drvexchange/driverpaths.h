// The Windows directory rule and the paths of the reader's driver package
// built from it. No Windows header: tested natively.
#ifndef DRIVERPATHS_H
#define DRIVERPATHS_H

// The Windows directory buffer: at most 63 characters and the NUL.
#define WindowsDirSize 64

#define InfPathSuffix "\\ZELMOT\\ZELMOT.INF"
// Room for the longest accepted Windows directory followed by the suffix.
#define InfPathSize (WindowsDirSize - 1 + sizeof(InfPathSuffix))
#define DriverPathSize 260

// Nonzero when what GetWindowsDirectoryA returned for a buffer of
// WindowsDirSize bytes is a whole path: not 0 (failure) and below 64.
int WindowsDirAccepted(unsigned length);

// Each builds its path from windowsDir into path (pathSize bytes) and
// returns nonzero, or returns 0 when the path does not fit: a cut path
// would name another file.
int BuildInfPath(char *path, unsigned pathSize, const char *windowsDir);
int BuildReferenceDriverPath(char *path, unsigned pathSize, const char *windowsDir);
int BuildInstalledDriverPath(char *path, unsigned pathSize, const char *windowsDir);

#endif
