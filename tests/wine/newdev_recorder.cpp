// Stand-in for the new-device library, used only by the tests: it installs
// nothing and appends "hardware ID|INF path|flags|tick" for each request to
// the file named by KIT_NEWDEV_LOG, so a test can see exactly what a program
// asked for, and when (GetTickCount). Never shipped.
#include <windows.h>
#include <stdio.h>

static void Record(const char *hardwareId, const char *infPath, DWORD flags)
{
    char logPath[MAX_PATH];
    if (!GetEnvironmentVariableA("KIT_NEWDEV_LOG", logPath, sizeof(logPath)))
        return;
    FILE *log = fopen(logPath, "ab");
    if (!log)
        return;
    fprintf(log, "%s|%s|%lu|%lu\n", hardwareId ? hardwareId : "(null)",
            infPath ? infPath : "(null)", (unsigned long)flags,
            (unsigned long)GetTickCount());
    fclose(log);
}

extern "C" __declspec(dllexport) BOOL WINAPI
UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath,
                                   DWORD flags, PBOOL rebootRequired)
{
    (void)parent;
    if (rebootRequired)
        *rebootRequired = FALSE;
    Record(hardwareId, infPath, flags);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI
UpdateDriverForPlugAndPlayDevicesW(HWND parent, LPCWSTR hardwareId, LPCWSTR infPath,
                                   DWORD flags, PBOOL rebootRequired)
{
    char id[1024] = "";
    char inf[1024] = "";
    if (hardwareId)
        WideCharToMultiByte(CP_ACP, 0, hardwareId, -1, id, sizeof(id), NULL, NULL);
    if (infPath)
        WideCharToMultiByte(CP_ACP, 0, infPath, -1, inf, sizeof(inf), NULL, NULL);
    return UpdateDriverForPlugAndPlayDevicesA(parent, id, inf, flags, rebootRequired);
}
