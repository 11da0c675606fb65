#include "tavlixglobals.h"

volatile LONG DriveAssigned[DriveLetterCount];
char WindowsDir[WindowsDirSize];
