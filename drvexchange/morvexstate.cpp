#include "morvexstate.h"

char WindowsDir[WindowsDirSize];
FILETIME ReferenceDriverTime;
int MayInstallDrivers;
