// --listen: its options, and the command that reads a sound file or a capture device and
// hands each reading to a view.
#pragma once

#include "settings.h"

#include <cstdint>
#include <cstdio>

// --listen alone (its source positional): false, after saying why, when it was given before.
bool SetListening(ToneSettings& settings);

// --listen=SOURCE (not empty) and --instrument: each takes its value, or prints why not and
// returns false.
bool SetListenSource(ToneSettings& settings, const char* source);
bool SetInstrument(ToneSettings& settings, const char* name);

// --listen: reads the source of the settings ("-": `in`), or its first `seconds` (the one
// positional argument, `arguments[0]`, when `count` is 1), and shows the readings. Returns the
// exit status.
int RunListen(const ToneSettings& settings, int count, char** arguments, FILE* in);
