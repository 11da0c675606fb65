// The disk list: the disk service's list of disks, each by its instance
// path, as the passes read it.
#ifndef DISKLIST_H
#define DISKLIST_H

#include <windows.h>

enum { DiskListSize = 26, DiskPathSize = 260, ParentIdPrefixLimit = 20 };

extern HKEY DiskEnumKey;
// Entry i: null, or a DiskPathSize-byte heap block with the instance path
// of the disk service's value i. Blocks are allocated once and reused.
extern char *DiskList[DiskListSize];
// How many entries the searches consider; written by the program's event
// handling only.
extern volatile LONG DiskCount;

// Held by LoadDiskList while it rewrites entries and by each search while
// it reads them, so no reader sees an entry half rewritten. Set up by
// InitDiskList before any worker starts: zero when it could not be.
extern CRITICAL_SECTION DiskListLock;
int InitDiskList(void);
// Releases every block and empties every entry (exit clean-up).
void FreeDiskList(void);

// The disk service's "Count", cut to the list's 26 entries; 0 when it
// cannot be read. Opens DiskEnumKey on first use and keeps it.
LONG ReadDiskCount(void);
// Rewrites entries 0 to n-1 (n the count) when fill is set; never frees,
// clears or shortens the list. n, or 0 when a value cannot be read or a
// block allocated, with the entries before it already rewritten.
LONG LoadDiskList(int fill);
// Copies entry index into path (DiskPathSize bytes) under DiskListLock.
// Returns 0 when the entry is null or index is out of range.
int CopyDiskListEntry(int index, char *path);

#endif
