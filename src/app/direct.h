// The command line: its options, the usage text, and direct mode's one tone.
#pragma once

#include "settings.h"

#include <cstdio>
#include <vector>

// Whether the note to the user that `marker` names is due on `err`: only at a terminal, and
// once per user, remembered by a file of that name under $XDG_STATE_HOME/ondelis
// (~/.local/state/ondelis), or once per run where that file cannot be written.
bool NoteDue(const char* marker, FILE* err);

// The usage text that -h and --help print.
const char* UsageText();

// Status of TakeOptions when the program goes on to direct mode or the menu.
constexpr int kGoOn = -1;

// Reads the options in front of the positional arguments (-h, --help, --version, --a4 HZ,
// --a4=HZ); `first` receives the index of the first positional argument. Returns kGoOn, or
// the exit status once help or the version is printed or an option is refused.
int TakeOptions(ToneSettings& settings, int argc, char** argv, int& first);

// The options among and after the positional arguments of --listen ("--listen take.wav
// --instrument guitar"), taken as TakeOptions takes them; the positional ones, in order, go to
// `positional` ("--" makes the rest positional). Returns kGoOn or an exit status as TakeOptions.
int TakeLateOptions(ToneSettings& settings, int count, char** arguments,
                    std::vector<char*>& positional);

// Direct mode on the positional arguments argv[1] .. argv[argc - 1]: summary, one tone,
// then the exit status (kStoppedBySignal + the signal when one stopped the tone).
int RunDirectMode(ToneSettings& settings, int argc, char** argv);

// The whole command line: the options, then direct mode when a positional argument follows,
// else the menu on `in` and `out`. Returns the exit status as above.
int RunCommandLine(ToneSettings& settings, int argc, char** argv, FILE* in, FILE* out);
