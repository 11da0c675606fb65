// Opens the About box of a running program of the kit and prints where it
// is on the screen, for scripts/readme-images.sh to take its picture:
//   aboutshot.exe CLASS      prints "X Y WIDTH HEIGHT"; exit code 1 when the
//                            program's window or its About box never shows.
#include <windows.h>
#include <stdio.h>

static const UINT CmdAbout = 104;

static HWND WaitForTopWindow(const char *className, const char *title, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowA(className, title);
        if (window || GetTickCount() - start > ms)
            return window;
        Sleep(50);
    }
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: aboutshot CLASS\n");
        return 2;
    }
    HWND main = WaitForTopWindow(argv[1], NULL, 20000);
    if (!main) {
        fprintf(stderr, "no window of class %s\n", argv[1]);
        return 1;
    }
    // Posted: the box is modal, and a sent message would wait until it closes.
    PostMessageA(main, WM_COMMAND, CmdAbout, 0);
    HWND about = WaitForTopWindow("#32770", "About", 20000);
    if (!about) {
        fprintf(stderr, "the About box did not open\n");
        return 1;
    }
    // Drawn active, as a box the user has just opened looks: no window
    // manager runs on the virtual display to activate it.
    SetForegroundWindow(about);
    SendMessageA(about, WM_NCACTIVATE, TRUE, 0);
    RedrawWindow(about, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(500);
    RECT r;
    GetWindowRect(about, &r);
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}
