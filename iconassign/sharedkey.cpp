// Registry keys that the program holds open for its life and that any
// thread may be the first to open.
#include "sharedkey.h"

HKEY KeepSharedKey(HKEY *slot, HKEY opened)
{
    // Two workers can both find the slot empty and both open the key: the
    // first to publish wins, the other hands its handle back.
    HKEY earlier = (HKEY)InterlockedCompareExchangePointer(
        (PVOID volatile *)slot, (PVOID)opened, NULL);
    if (earlier == NULL)
        return opened;
    RegCloseKey(opened);
    return earlier;
}
