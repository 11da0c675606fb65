// Stand-in for the new-device library, used only by the tests: it installs
// nothing and appends "hardware ID|INF path|flags|tick|depth" for each
// request to the file named by KIT_NEWDEV_LOG, so a test can see exactly
// what a program asked for, when (GetTickCount), and how many of its
// requests were still in progress (depth). With KIT_NEWDEV_MODAL_MS set,
// the process's first request behaves like an installation that shows a
// modal window: it runs the calling thread's messages for that many
// milliseconds before it returns. Never shipped.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static LONG Depth;
static LONG Requests;

static void Record(const char *hardwareId, const char *infPath, DWORD flags)
{
    char logPath[MAX_PATH];
    if (!GetEnvironmentVariableA("KIT_NEWDEV_LOG", logPath, sizeof(logPath)))
        return;
    FILE *log = fopen(logPath, "ab");
    if (!log)
        return;
    fprintf(log, "%s|%s|%lu|%lu|%ld\n", hardwareId ? hardwareId : "(null)",
            infPath ? infPath : "(null)", (unsigned long)flags,
            (unsigned long)GetTickCount(), (long)Depth);
    fclose(log);
}

static DWORD ModalMilliseconds(void)
{
    char text[32];
    DWORD length = GetEnvironmentVariableA("KIT_NEWDEV_MODAL_MS", text, sizeof(text));
    return length > 0 && length < sizeof(text) ? strtoul(text, NULL, 10) : 0;
}

// What a modal prompt's message loop does to its caller.
static void RunMessagesFor(DWORD ms)
{
    DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < ms; elapsed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, ms - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage((int)msg.wParam);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

extern "C" __declspec(dllexport) BOOL WINAPI
UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath,
                                   DWORD flags, PBOOL rebootRequired)
{
    (void)parent;
    if (rebootRequired)
        *rebootRequired = FALSE;
    Record(hardwareId, infPath, flags);
    Depth++;
    if (Requests++ == 0)
        RunMessagesFor(ModalMilliseconds());
    Depth--;
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
