// Card slot classification. Pure: no Windows header.
#ifndef SLOTCLASS_H
#define SLOTCLASS_H

#include "slottype.h"

// Reads a disk device instance path (a DiskList entry) and returns the kind
// of card slot it names, or SlotNone. Family prefixes and product patterns
// ignore ASCII letter case; kind codes and slot letters are exact. Every
// rule looks at a fixed position; nothing is searched. The path is never
// read past its NUL. An empty (or null) path gives SlotNone.
// The digit rule may return 5..254, which names no slot kind (see slottype.h).
SlotType ClassifySlot(const char *path);

#endif
