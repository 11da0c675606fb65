// The drive letters of a unit mask (bit n for drive A + n, as a volume
// broadcast and GetLogicalDrives give them), for the trace. Pure: no Windows
// header.
#ifndef UNITMASK_H
#define UNITMASK_H

enum { UnitMaskBits = 26, UnitMaskLettersSize = UnitMaskBits + 1 };

// Writes the letters of the mask's bits 0 to 25, in order, such as "FG",
// into letters (UnitMaskLettersSize bytes); bits above 25 are no drive.
// Returns how many were written (0 leaves letters empty).
unsigned UnitMaskLetters(unsigned long mask, char *letters);

#endif
