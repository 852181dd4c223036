// The front end: the settings record and rendering the tone it describes, the command line
// and direct mode, the menu, listening to a file or a capture device and the views of its
// readings. Each job has a header of its own; this one brings them all.
#pragma once

#include "delivery.h"
#include "direct.h"
#include "listen_command.h"
#include "listen_sources.h"
#include "menu.h"
#include "naming.h"
#include "needle.h"
#include "piano_command.h"
#include "piano_tuning.h"
#include "settings.h"
#include "strings.h"
#include "summary.h"
#include "terminal.h"
#include "tuner.h"
#include "tuner_view.h"
#include "view.h"
