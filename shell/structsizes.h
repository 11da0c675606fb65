// Windows 2000 and XP take the 32-bit layouts of these records; the sizes
// are checked where the 32-bit programs are built. Code always uses sizeof,
// so the 64-bit build gets its own (larger) layouts.
#ifndef STRUCTSIZES_H
#define STRUCTSIZES_H

#include <windows.h>
#include <setupapi.h>
#include <shellapi.h>

#if defined(__i386__)
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA is 48 bytes on 32-bit Windows");
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "SP_DEVINFO_DATA is 28 bytes on 32-bit Windows");
static_assert(sizeof(SHFILEINFOA) == 352, "SHFILEINFOA is 352 bytes on 32-bit Windows");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes on 32-bit Windows");
#endif

#endif
