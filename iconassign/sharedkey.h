// Registry keys that the program holds open for its life and that any
// thread may be the first to open.
#ifndef SHAREDKEY_H
#define SHAREDKEY_H

#include <windows.h>

// Stores opened into *slot when the slot is still empty; when another
// thread got there first, opened is closed and that thread's key kept.
// Returns the key now held in the slot. Never leaks a handle.
HKEY KeepSharedKey(HKEY *slot, HKEY opened);

#endif
