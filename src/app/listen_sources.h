// The two sources --listen reads: a sound file (or standard input), and a capture device.
#pragma once

#include "settings.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Frames in `seconds` of input at `rate`, rounded up; inf for all of it.
uint64_t FramesIn(double seconds, uint32_t rate);

// Reads the sound file `source` ("-": `in`), or its first `seconds`, and shows the readings.
// Returns the exit status: 0, 1 when it cannot be read or the readings cannot be written,
// kStoppedBySignal + the signal when Ctrl-C or SIGTERM stopped it (the note under way shown).
int ListenToFile(const ToneSettings& settings, const char* source, double seconds, FILE* in);

// Listens to the ALSA capture device `device` for `seconds` (inf: until Ctrl-C or SIGTERM):
// reading lines, --summary's lines, or the tuner at a terminal. Returns the exit status: 0
// after `seconds`, kStoppedBySignal + the signal after a stop, 1 when the device cannot be
// opened or fails, or the readings cannot be written.
int ListenToDevice(const ToneSettings& settings, const char* device, double seconds);

// Refuses the source, naming it ("-" as standard input): says why, returns exit status 1.
int RefuseSource(const char* source, const std::string& why);

// The source as messages name it.
const char* SourceShown(const char* source);
