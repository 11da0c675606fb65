// morvex's rescan: the timer a volume arrival (re)starts, and how long it
// waits after the last arrival of a burst. No Windows header: the tests
// wait by the same numbers.
#ifndef RESCAN_H
#define RESCAN_H

enum { RescanTimerId = 4096, RescanDelay = 10000 };

#endif
