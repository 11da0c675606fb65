#include "osversion.h"

DWORD OsMajor;
DWORD OsMinor;

int IsWindows2000(void)
{
    return OsMajor == 5 && OsMinor == 0;
}

int IsWindowsXpFamily(void)
{
    return OsMajor == 5 && OsMinor >= 1;
}
