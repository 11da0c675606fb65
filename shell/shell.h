// The window shell every program is built on: entry steps, the hidden main
// window, the message loop, the shared window procedure cases and the About
// box. Each program supplies its own start-up checks (in its WinMain), its
// own message cases (ProgramWindowProc) and two settings below.
#ifndef SHELL_H
#define SHELL_H

#include <windows.h>
#include "resource.h"

extern HINSTANCE AppInstance;
extern char AppTitle[100];
extern char AppClassName[100];

// Set by each program.
// Nonzero: every message first loads string 106, and WM_PAINT draws it.
extern const int ShellDrawsClientText;
// Zero for a one-shot program: CreateMainWindow updates the window it made
// and reports zero, so the entry returns right after the pass that
// WM_CREATE ran, without loading accelerators or pumping messages.
extern const int ShellStaysResident;

// The program's own cases of the main window procedure. Returns nonzero
// when it handled the message and put the result in *result. A program
// that has work to do on WM_DESTROY does it and returns zero, so that the
// shell then ends the message loop.
int ProgramWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT *result);

// Shell steps of the entry point, after the program's own checks.
int RunShell(HINSTANCE instance, int showCommand);
void RegisterMainClass(HINSTANCE instance);
int CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                 LPARAM lParam);

#endif
