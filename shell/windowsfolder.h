// The Windows folder, which tavlix, morvex and vorbind build their paths
// on, read whole or not at all.
#ifndef WINDOWSFOLDER_H
#define WINDOWSFOLDER_H

#include <windows.h>
#include "errortext.h"

enum WindowsFolderOutcome {
    WindowsFolderRead,
    WindowsFolderUnreadable, // the call failed: error says why
    WindowsFolderTooLong     // it has size characters or more: a cut one would name another
};

struct WindowsFolderResult {
    WindowsFolderOutcome outcome;
    DWORD error;
};

// Reads the Windows folder into folder (size bytes). Anything but
// WindowsFolderRead leaves folder empty.
WindowsFolderResult ReadWindowsFolder(char *folder, unsigned size);

// Why the folder was refused, for a trace line: "the Windows folder cannot
// be read: 5 (...)" or "the Windows folder has 64 characters or more" (size
// as given to ReadWindowsFolder), in WindowsFolderRefusalSize bytes.
enum { WindowsFolderRefusalSize = ErrorTextSize + 48 };
void FormatWindowsFolderRefusal(const WindowsFolderResult *result, unsigned size, char *text);

#endif
