// The probe loaded into the watched program (see exitprobe.h).
#include "exitprobe.h"

static ExitProbeState *State;
static LONG Holding;

static ExitProbeState *OpenState(void)
{
    if (State)
        return State;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, ExitProbeMappingName);
    if (!mapping)
        return NULL;
    State = (ExitProbeState *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0,
                                            sizeof(ExitProbeState));
    CloseHandle(mapping);
    return State;
}

static void SignalAndWait(void)
{
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, ExitProbeHeldEvent);
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, ExitProbeGoEvent);
    if (held)
        SetEvent(held);
    if (go)
        WaitForSingleObject(go, 120000);
    if (held)
        CloseHandle(held);
    if (go)
        CloseHandle(go);
}

static void SendVolume(HWND window, WPARAM event, DWORD mask)
{
    DEV_BROADCAST_VOLUME volume;
    ZeroMemory(&volume, sizeof(volume));
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = mask;
    SendMessageA(window, WM_DEVICECHANGE, event, (LPARAM)&volume);
}

// The broadcasts reach the window procedure on its own thread, between the
// end of the exit clean-up and the end of the message loop.
static void Deliver(HWND window, const ExitProbeState *state)
{
    if (state->deliverNodeChange)
        SendMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    if (state->arrivalMask)
        SendVolume(window, DBT_DEVICEARRIVAL, state->arrivalMask);
    if (state->removalMask)
        SendVolume(window, DBT_DEVICEREMOVECOMPLETE, state->removalMask);
    if (state->deliverSecondStop)
        SendMessageA(window, WM_DESTROY, 0, 0);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK ExitProbeHook(int code, WPARAM wParam,
                                                               LPARAM lParam)
{
    const CWPRETSTRUCT *call = (const CWPRETSTRUCT *)lParam;
    ExitProbeState *state = OpenState();
    if (code == HC_ACTION && state && call->message == WM_DESTROY &&
        (ULONG64)(ULONG_PTR)call->hwnd == state->window) {
        LONG count = InterlockedIncrement(&state->destroysHandled);
        if (count == 1 && InterlockedExchange(&Holding, 1) == 0) {
            SignalAndWait();
            Deliver(call->hwnd, state);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_THREAD_ATTACH && State && State->destroysHandled > 0)
        InterlockedIncrement(&State->threadsAfterExit);
    return TRUE;
}
