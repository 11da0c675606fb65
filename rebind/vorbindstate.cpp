#include "vorbindstate.h"

char ArgumentText[ArgumentTextSize];
int ArgumentTextKept;
