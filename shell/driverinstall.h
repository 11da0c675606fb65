// How the re-binding programs (morvex, vorbind) ask Windows for a driver
// installation, and how its outcome reads in their trace. Only they link
// it: it imports the new-device library, which tavlix has no use for.
#ifndef DRIVERINSTALL_H
#define DRIVERINSTALL_H

#include <windows.h>
#include <newdev.h>
#include "errortext.h"

struct InstallOutcome {
    BOOL done;   // what the library returned
    DWORD error; // the last error right after it
};

// Asks the new-device library to install infPath's driver for the devices
// with hardwareId (flags as UpdateDriverForPlugAndPlayDevicesA takes them,
// INSTALLFLAG_FORCE or 0). The outcome is for the trace: nothing acts on it.
InstallOutcome InstallDriver(const char *hardwareId, const char *infPath, DWORD flags);

// "installation returned TRUE, last error 0 (...)", in InstallOutcomeTextSize
// bytes.
enum { InstallOutcomeTextSize = ErrorTextSize + 48 };
void FormatInstallOutcome(const InstallOutcome *outcome, char *text);

#endif
