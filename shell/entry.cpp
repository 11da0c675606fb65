// Process entry without a C runtime: the programs need none, and leaving it
// out keeps them small and free of imports Windows 2000 lacks.
#include <windows.h>
#include "commandline.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR argumentText,
                   int showCommand);

// Used: the linker names it as the entry, which link-time optimisation
// does not see as a use.
extern "C" __attribute__((used)) void WinMainCRTStartup(void)
{
    const char *arguments = SkipProgramName(GetCommandLineA());
    int code = WinMain(GetModuleHandleA(NULL), NULL, (LPSTR)arguments,
                       SW_SHOWDEFAULT);
    ExitProcess((UINT)code);
}
