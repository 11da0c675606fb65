#include "driverinstall.h"

InstallOutcome InstallDriver(const char *hardwareId, const char *infPath, DWORD flags)
{
    // Primed: not every failure sets it, and an old code would mislead.
    SetLastError(0);
    InstallOutcome outcome;
    outcome.done = UpdateDriverForPlugAndPlayDevicesA(NULL, hardwareId, infPath, flags, NULL);
    outcome.error = GetLastError();
    return outcome;
}

void FormatInstallOutcome(const InstallOutcome *outcome, char *text)
{
    char error[ErrorTextSize];
    FormatErrorText(outcome->error, error, sizeof(error));
    wsprintfA(text, "installation returned %s, last error %s", outcome->done ? "TRUE" : "FALSE",
              error);
}
