// The re-binding pass: every device the system knows, present or not, whose
// first hardware ID names the vendor and product of the argument text is
// handed to the new-device library with the build's INF file.
#ifndef REBINDPASS_H
#define REBINDPASS_H

// Reads the argument text vorbindstate.h keeps; traces what it decided.
void RebindMatchingDevices(void);

#endif
