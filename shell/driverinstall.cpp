#include "driverinstall.h"
#include "errortext.h"
#include "trace.h"

void InstallDriver(const char *lineStart, const char *hardwareId, const char *infPath,
                   DWORD flags)
{
    // Primed: not every failure sets it, and an old code would mislead.
    SetLastError(0);
    BOOL done = UpdateDriverForPlugAndPlayDevicesA(NULL, hardwareId, infPath, flags, NULL);
    DWORD error = GetLastError();
    char errorText[ErrorTextSize];
    FormatErrorText(error, errorText, sizeof(errorText));
    Trace("%s: installation returned %s, last error %s", lineStart, done ? "TRUE" : "FALSE",
          errorText);
}
