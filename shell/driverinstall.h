// How the re-binding programs (morvex, vorbind) ask Windows for a driver
// installation, and the one trace line of its outcome. Only they link it:
// it imports the new-device library, which tavlix has no use for.
#ifndef DRIVERINSTALL_H
#define DRIVERINSTALL_H

#include <windows.h>
#include <newdev.h>

// Asks the new-device library to install infPath's driver for the devices
// with hardwareId (flags as UpdateDriverForPlugAndPlayDevicesA takes them,
// INSTALLFLAG_FORCE or 0), then traces "<lineStart>: installation returned
// TRUE, last error 0 (...)". Its outcome is traced, not acted on.
void InstallDriver(const char *lineStart, const char *hardwareId, const char *infPath,
                   DWORD flags);

#endif
