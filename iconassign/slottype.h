// SlotType: the kind of card slot, shared by the icon assigner's parts, and
// its name as the trace says it. Pure: no Windows header.
#ifndef SLOTTYPE_H
#define SLOTTYPE_H

// One unsigned byte. Values 0 to 4 index IconFileTable; SlotNone means the
// disk is no card slot. ClassifySlot's digit rule can also give 5 to 254,
// which are no slot kind: consumers that index by SlotType accept 0 to 4 only.
typedef unsigned char SlotType;

enum {
    SlotCF = 0,
    SlotSD = 1,
    SlotSM = 2,
    SlotMS = 3,
    SlotCombo = 4,
    SlotNone = 255
};

// The kinds with an icon, CF to combo; any other kind counts as no card
// slot at all.
inline int IsIconSlot(SlotType slot)
{
    return slot <= SlotCombo;
}

// "CF", "SD", "SmartMedia", "Memory Stick", "combo"; "no card" for the rest.
const char *SlotKindName(SlotType slot);

#endif
