// Holding tavlix's passes from inside it, for the performance figures: a
// window hook loads passprobe.dll into tavlix, which then keeps itself
// loaded and points tavlix's import of ResumeThread at its own. While the
// measurer asks it to hold, the pass a broadcast starts (made suspended,
// then resumed as the window procedure answers) stays suspended, before
// its gate: the answer's time is then the window procedure's alone, with
// no pass running beside it in the wine server. The measurer resumes the
// held threads afterwards. Test-only; never shipped.
#ifndef PASSPROBE_H
#define PASSPROBE_H

#include <windows.h>

struct PassProbeState {
    LONG ready; // the import is pointed at the probe's
    LONG hold;  // set by the measurer: keep the next passes suspended
    LONG held;  // passes kept suspended so far
};

#define PassProbeMappingName "KitPassProbeState"

#endif
