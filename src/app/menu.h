// The interactive menu.
#pragma once

#include "settings.h"

#include <cstdio>

// The interactive menu, reading tokens from `in` and writing to `out` until "x" or the end
// of the input. Returns the exit status.
int RunMenuLoop(ToneSettings& settings, FILE* in, FILE* out);
