#include <windows.h>
#include <shellapi.h>
#include "iconwrite.h"
#include "slottype.h"
#include "iconsettings.h"
#include "passgate.h"
#include "shellrefresh.h"
#include "tavlixglobals.h"
#include "trace.h"

IconWrite WriteDriveIcon(char letter, SlotType slot)
{
    if (!BeginIconWrite())
        return IconExitBegun;
    int written = SetDriveIcon(letter, slot);
    EndIconWrite();
    return written ? IconWritten : IconNotWritten;
}

IconWrite AssignIconWithRefresh(char letter, SlotType slot)
{
    char root[4] = {letter, ':', '\\', '\0'};
    char location[MAX_PATH];
    location[0] = '\0';
    int iconIndex = QueryDriveIconLocation(root, location, MAX_PATH);

    SHFILEINFOA info;
    ZeroMemory(&info, sizeof(info));
    SHGetFileInfoA(root, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICONLOCATION);

    IconWrite outcome = WriteDriveIcon(letter, slot);
    InvalidateMyComputer();
    UpdateShellImage(location, iconIndex, info.iIcon);
    return outcome;
}

void TraceIconWrite(const char *who, char letter, SlotType slot, IconWrite outcome,
                    const char *source)
{
    switch (outcome) {
    case IconWritten:
        Trace("%s: drive %c: given icon %s%s (%s slot, %s)", who, letter, WindowsDir,
              IconFileTable[slot], SlotKindName(slot), source);
        break;
    case IconNotWritten:
        Trace("%s: drive %c: its icon key or marker cannot be written", who, letter);
        break;
    case IconExitBegun:
        Trace("%s: drive %c: no icon written: exit begun", who, letter);
        break;
    }
}

const char *IconRemovalText(IconRemoval removal)
{
    switch (removal) {
    case IconRemoved:
        return "icon key removed";
    case MarkerRemoved:
        return "marker removed (no icon key)";
    case IconNotTheKits:
        return "icon key kept: not the kit's (no marker)";
    case IconNotRemovable:
        return "icon key cannot be removed: kept, marked";
    case NoIconKey:
        break;
    }
    return NULL;
}
