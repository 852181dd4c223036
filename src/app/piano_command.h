// The piano on the command line: its options, and `--piano FILE --curve`, the tuning curve of
// the keys measured, one line a key, and a drawing of it with --plot.
#pragma once

#include "settings.h"

// The options, each taking its value, or saying why not on standard error and returning false.
bool SetPianoFile(ToneSettings& settings, const char* path);
bool SetOctaves(ToneSettings& settings, const char* text);
bool SetPlot(ToneSettings& settings, const char* path);

// The piano's command, given `count` positional arguments after the options: the curve's exit
// status, or a refusal's (1) when the piano options are given without what they are for;
// kGoOn when none of them was given, or --piano for another mode to read.
int RunPianoCommand(const ToneSettings& settings, int count);
