// vorbind: runs the re-binding pass inside its window's creation and ends.
#include "shell.h"
#include "rebindpass.h"
#include "rebindrequest.h"
#include "rebindvariant.h"
#include "trace.h"
#include "vorbindstate.h"

const int ShellDrawsClientText = 0;
const int ShellStaysResident = 0;

int ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT *result)
{
    (void)window;
    (void)wParam;
    (void)lParam;
    if (message != WM_CREATE)
        return 0;
    RebindMatchingDevices();
    *result = 0;
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR argumentText,
                   int showCommand)
{
    (void)previous;
    // Queued too: a viewer that stopped reading would hold each line up to
    // 10 s, and a run with many devices for minutes.
    StartTrace(RebindProgramName, 1);
    ArgumentTextKept = StoreArgumentText(ArgumentText, argumentText, RebindUsesInfName);
    int code = RunShell(instance, showCommand);
    StopTrace(TraceDrainMs);
    return code;
}
