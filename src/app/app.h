// The front end: the settings record and rendering the tone it describes, the command line
// and direct mode, the menu, listening to a file or a capture device, and the tuner's needle.
// Each job has a header of its own; this one brings them all.
#pragma once

#include "direct.h"
#include "listening.h"
#include "menu.h"
#include "needle.h"
#include "settings.h"
#include "strings.h"
#include "summary.h"
#include "tuner.h"
