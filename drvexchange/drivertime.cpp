#include "drivertime.h"

DWORD ReadLastWriteTime(const char *path, FILETIME *time)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error ? error : ERROR_OPEN_FAILED;
    }
    time->dwLowDateTime = 0;
    time->dwHighDateTime = 0;
    GetFileTime(file, NULL, NULL, time);
    CloseHandle(file);
    return 0;
}

void FormatFileTime(const FILETIME *time, char *text)
{
    SYSTEMTIME t;
    if (FileTimeToSystemTime(time, &t))
        wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u UTC", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    else // beyond the calendar the system converts
        wsprintfA(text, "0x%08lx%08lx", time->dwHighDateTime, time->dwLowDateTime);
}
