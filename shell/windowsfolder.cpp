#include "windowsfolder.h"

WindowsFolderResult ReadWindowsFolder(char *folder, unsigned size)
{
    WindowsFolderResult result = {WindowsFolderRead, 0};
    // The length without its NUL; the size it needs, NUL included, when the
    // buffer is too small; 0 on failure.
    UINT length = GetWindowsDirectoryA(folder, size);
    if (length == 0) {
        result.error = GetLastError();
        result.outcome = WindowsFolderUnreadable;
    } else if (length >= size) {
        result.outcome = WindowsFolderTooLong;
    }
    if (result.outcome != WindowsFolderRead && size > 0)
        folder[0] = '\0';
    return result;
}

void FormatWindowsFolderRefusal(const WindowsFolderResult *result, unsigned size, char *text)
{
    if (result->outcome == WindowsFolderTooLong) {
        wsprintfA(text, "the Windows folder has %u characters or more", size);
        return;
    }
    char error[ErrorTextSize];
    FormatErrorText(result->error, error, sizeof(error));
    wsprintfA(text, "the Windows folder cannot be read: %s", error);
}
