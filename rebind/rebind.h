#ifndef REBIND_H
#define REBIND_H

extern char ArgumentText[160];
// Zero when the argument text did not fit ArgumentText: nothing is re-bound.
extern int ArgumentTextKept;

void RebindMatchingDevices(void);

#endif
