// vorbind's globals: the argument text, kept at start-up before the window
// exists and read by the pass its creation runs.
#ifndef VORBINDSTATE_H
#define VORBINDSTATE_H

#include "rebindrequest.h"

extern char ArgumentText[ArgumentTextSize];
// Zero when the argument text did not fit ArgumentText: nothing is re-bound.
extern int ArgumentTextKept;

#endif
