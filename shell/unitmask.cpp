#include "unitmask.h"

unsigned UnitMaskLetters(unsigned long mask, char *letters)
{
    unsigned used = 0;
    for (unsigned n = 0; n < UnitMaskBits; n++)
        if (mask & (1ul << n))
            letters[used++] = (char)('A' + n);
    letters[used] = '\0';
    return used;
}
