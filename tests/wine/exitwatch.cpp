#include "exitwatch.h"
#include "harness.h"
#include <stdio.h>

static HANDLE Mapping;
static ExitProbeState *State;
static HANDLE Held;
static HANDLE Go;
static HMODULE Probe;
static HHOOK Hook;

ExitProbeState *WatchExit(HWND window)
{
    EndExitWatch();
    Mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                 sizeof(ExitProbeState), ExitProbeMappingName);
    State = Mapping ? (ExitProbeState *)MapViewOfFile(Mapping, FILE_MAP_WRITE, 0, 0,
                                                       sizeof(ExitProbeState))
                    : NULL;
    Held = CreateEventA(NULL, FALSE, FALSE, ExitProbeHeldEvent);
    Go = CreateEventA(NULL, TRUE, FALSE, ExitProbeGoEvent);
    Probe = LoadLibraryA(TestFilePath("exitprobe.dll").c_str());
    HOOKPROC hook = Probe ? (HOOKPROC)(void (*)(void))GetProcAddress(Probe, "ExitProbeHook") : NULL;
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    Hook = hook && thread ? SetWindowsHookExA(WH_CALLWNDPROCRET, hook, Probe, thread) : NULL;
    if (!State || !Held || !Go || !Hook) {
        printf("exit probe not set up: error %lu\n", GetLastError());
        EndExitWatch();
        return NULL;
    }
    ZeroMemory(State, sizeof(*State));
    State->window = (ULONG64)(ULONG_PTR)window;
    // The hook loads the probe into the program at the next message sent.
    DWORD_PTR result;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
    return State;
}

bool WaitForExitHeld(DWORD ms)
{
    return Held && WaitForSingleObject(Held, ms) == WAIT_OBJECT_0;
}

void ReleaseExit(void)
{
    if (Go)
        SetEvent(Go);
}

void EndExitWatch(void)
{
    if (Go)
        SetEvent(Go);   // never leave a program held
    if (Hook)
        UnhookWindowsHookEx(Hook);
    if (State)
        UnmapViewOfFile(State);
    HANDLE handles[] = {Mapping, Held, Go};
    for (HANDLE handle : handles)
        if (handle)
            CloseHandle(handle);
    if (Probe)
        FreeLibrary(Probe);
    Hook = NULL;
    State = NULL;
    Mapping = Held = Go = NULL;
    Probe = NULL;
}
