#include "shell.h"
#include "structsizes.h"

HINSTANCE AppInstance;
char AppTitle[100];
char AppClassName[100];

int RunShell(HINSTANCE instance, int showCommand)
{
    LoadStringA(instance, IDS_APP_TITLE, AppTitle, sizeof(AppTitle));
    LoadStringA(instance, IDS_CLASS_NAME, AppClassName, sizeof(AppClassName));
    RegisterMainClass(instance);
    if (!CreateMainWindow(instance, showCommand))
        return 0;

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN));
    MSG msg;
    msg.wParam = 0;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return (int)msg.wParam;
}

void RegisterMainClass(HINSTANCE instance)
{
    WNDCLASSEXA wc;
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP_LARGE));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN);
    wc.lpszClassName = AppClassName;
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP_SMALL));
    RegisterClassExA(&wc);
}

int CreateMainWindow(HINSTANCE instance, int showCommand)
{
    (void)showCommand;
    // Stored first: WM_CREATE already loads strings with it.
    AppInstance = instance;
    HWND window = CreateWindowExA(0, AppClassName, AppTitle, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                  NULL, NULL, instance, NULL);
    if (!ShellStaysResident) {
        if (window)
            UpdateWindow(window);
        return 0;
    }
    return window != NULL;
}

static void PaintClientText(HWND window, const char *text)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (ShellDrawsClientText) {
        RECT rect;
        GetClientRect(window, &rect);
        DrawTextA(dc, text, lstrlenA(text), &rect, DT_CENTER);
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam)
{
    char clientText[100];
    clientText[0] = '\0';
    if (ShellDrawsClientText)
        LoadStringA(AppInstance, IDS_CLIENT_TEXT, clientText, sizeof(clientText));

    LRESULT result = 0;
    if (ProgramWindowProc(window, message, wParam, lParam, &result))
        return result;

    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case CmdAbout:
            DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window,
                            AboutDialogProc, 0);
            return 0;
        case CmdExit:
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_PAINT:
        PaintClientText(window, clientText);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                 LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}
