// The command line: its options, the usage text, and direct mode's one tone.
#pragma once

#include "settings.h"

#include <cstdio>

// The usage text that -h and --help print.
const char* UsageText();

// Status of TakeOptions when the program goes on to direct mode or the menu.
constexpr int kGoOn = -1;

// Reads the options in front of the positional arguments (-h, --help, --version, --a4 HZ,
// --a4=HZ); `first` receives the index of the first positional argument. Returns kGoOn, or
// the exit status once help or the version is printed or an option is refused.
int TakeOptions(ToneSettings& settings, int argc, char** argv, int& first);

// Direct mode on the positional arguments argv[1] .. argv[argc - 1]: summary, one tone,
// then the exit status (kStoppedBySignal + the signal when one stopped the tone).
int RunDirectMode(ToneSettings& settings, int argc, char** argv);

// The whole command line: the options, then direct mode when a positional argument follows,
// else the menu on `in` and `out`. Returns the exit status as above.
int RunCommandLine(ToneSettings& settings, int argc, char** argv, FILE* in, FILE* out);
