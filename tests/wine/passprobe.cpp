// The probe loaded into tavlix (see passprobe.h).
#include "passprobe.h"

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
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *dll = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports.VirtualAddress);
         dll->Name; dll++) {
        if (lstrcmpiA((const char *)(base + dll->Name), "kernel32.dll") != 0)
            continue;
        IMAGE_THUNK_DATA *name = (IMAGE_THUNK_DATA *)(base + dll->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slot = (IMAGE_THUNK_DATA *)(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; name++, slot++) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                lstrcmpA((const char *)((IMAGE_IMPORT_BY_NAME *)(base + name->u1.AddressOfData))
                             ->Name,
                         "ResumeThread") != 0)
                continue;
            DWORD was;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &was);
            RealResumeThread = (ResumeThreadEntry)slot->u1.Function;
            slot->u1.Function = (ULONG_PTR)HeldResumeThread;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), was, &was);
            return true;
        }
    }
    return false;
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
