// Stand-in for the new-device library, used only by the tests: it installs
// nothing and appends "hardware ID|INF path|flags|tick|depth" for each
// request to the file named by KIT_NEWDEV_LOG, so a test can see exactly
// what a program asked for, when (GetTickCount), and how many of its
// requests were still in progress (depth). Never shipped.
//
// A test may also have the process's request number n (counted from 1):
//  - KIT_NEWDEV_PROMPT_AT=n, KIT_NEWDEV_PROMPT_EVENT=name: behave like an
//    installation that shows a modal window, running the caller's messages
//    until the named event is set (the test's "close the prompt");
//  - KIT_NEWDEV_FAIL=n:code[,n:code...]: fail request n with that error (a
//    number as strtoul reads it: 5, 0xE0000235).
// Other requests succeed with last error 0, as Wine's own library does.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static LONG Depth;
static LONG Requests;

// A prompt nobody closes ends after this, so a broken test cannot hang a
// program for ever; far beyond any wait the tests make.
static const DWORD PromptSafetyMs = 300000;

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

// A number from the environment; 0 when it is not set.
static DWORD NumberFrom(const char *name)
{
    char text[32];
    DWORD length = GetEnvironmentVariableA(name, text, sizeof(text));
    return length > 0 && length < sizeof(text) ? strtoul(text, NULL, 0) : 0;
}

// The error request number fails with, from KIT_NEWDEV_FAIL; 0 when it
// succeeds.
static DWORD FailureOf(DWORD number)
{
    char text[256];
    DWORD length = GetEnvironmentVariableA("KIT_NEWDEV_FAIL", text, sizeof(text));
    if (length == 0 || length >= sizeof(text))
        return 0;
    for (char *at = text; *at;) {
        char *end;
        DWORD n = strtoul(at, &end, 0);
        DWORD error = *end == ':' ? strtoul(end + 1, &end, 0) : 0;
        if (n == number)
            return error;
        at = *end == ',' ? end + 1 : end + strlen(end);
    }
    return 0;
}

// What a modal prompt's message loop does to its caller, until the test
// closes it by setting the event.
static void RunMessagesUntilClosed(void)
{
    char name[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("KIT_NEWDEV_PROMPT_EVENT", name, sizeof(name));
    if (length == 0 || length >= sizeof(name))
        return;
    // Opens the test's event, or makes it when the test has not yet.
    HANDLE closed = CreateEventA(NULL, TRUE, FALSE, name);
    if (!closed)
        return;
    DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < PromptSafetyMs; elapsed = GetTickCount() - start) {
        DWORD woke = MsgWaitForMultipleObjects(1, &closed, FALSE, PromptSafetyMs - elapsed,
                                               QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            break;
        MSG msg;
        bool quit = false;
        while (!quit && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage((int)msg.wParam);
                quit = true;
            } else {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        if (quit)
            break;
    }
    CloseHandle(closed);
}

extern "C" __declspec(dllexport) BOOL WINAPI
UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath,
                                   DWORD flags, PBOOL rebootRequired)
{
    (void)parent;
    if (rebootRequired)
        *rebootRequired = FALSE;
    Record(hardwareId, infPath, flags);
    DWORD number = (DWORD)++Requests;
    Depth++;
    if (number == NumberFrom("KIT_NEWDEV_PROMPT_AT"))
        RunMessagesUntilClosed();
    Depth--;
    DWORD failure = FailureOf(number);
    if (failure) {
        SetLastError(failure);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
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
