// The probe loaded into tavlix (see passprobe.h).
#include "passprobe.h"
#include "redirectimport.h"

typedef DWORD(WINAPI *ResumeThreadEntry)(HANDLE);

static PassProbeState *State;
static ResumeThreadEntry RealResumeThread;

// Keeps the pass suspended while the measurer holds passes; as it was
// suspended once, the suspend count it had before is 1.
static DWORD WINAPI HeldResumeThread(HANDLE thread)
{
    if (State && State->hold) {
        InterlockedIncrement(&State->held);
        return 1;
    }
    return RealResumeThread(thread);
}

// Points the program's import of ResumeThread at the probe's.
static bool PointResumeThread(void)
{
    RealResumeThread = (ResumeThreadEntry)RedirectImport("ResumeThread", (void *)HeldResumeThread);
    return RealResumeThread != NULL;
}

// Does nothing itself: the hook is only the way in.
extern "C" __declspec(dllexport) LRESULT CALLBACK PassProbeHook(int code, WPARAM wParam,
                                                               LPARAM lParam)
{
    return CallNextHookEx(NULL, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH || State)
        return TRUE;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, PassProbeMappingName);
    State = mapping ? (PassProbeState *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0,
                                                      sizeof(PassProbeState))
                    : NULL;
    if (mapping)
        CloseHandle(mapping);
    // Kept loaded once the hook is gone, so that the measured answers pass
    // no hook.
    HMODULE self;
    if (State && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                        GET_MODULE_HANDLE_EX_FLAG_PIN,
                                    (LPCSTR)instance, &self) &&
        PointResumeThread())
        InterlockedExchange(&State->ready, 1);
    return TRUE;
}
