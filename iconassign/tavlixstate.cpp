#include "tavlixstate.h"

volatile LONG DriveAssigned[DriveLetterCount];
DWORD OsMajor;
DWORD OsMinor;
char WindowsDir[WindowsDirSize];

int IsWindowsXpFamily(void)
{
    return OsMajor == 5 && OsMinor >= 1;
}
