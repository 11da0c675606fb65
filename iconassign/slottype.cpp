#include "slottype.h"

const char *SlotKindName(SlotType slot)
{
    static const char *const names[] = {"CF", "SD", "SmartMedia", "Memory Stick", "combo"};
    return slot <= SlotCombo ? names[slot] : "no card";
}
