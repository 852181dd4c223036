// Listening's front end: --listen and --instrument, naming the pitch heard, and the readings
// of a sound file or a capture device as lines or as the tuner's line.
#pragma once

#include "settings.h"

#include <cstdint>
#include <cstdio>
#include <string>

// --listen and --instrument: each takes its value, or prints why not and returns false.
bool SetListenSource(ToneSettings& settings, const char* source);
bool SetInstrument(ToneSettings& settings, const char* name);

// The open string of the instrument of the settings nearest `hz`, and how many cents `hz` is
// above its pitch as the settings' tuning lays it.
struct NearestString {
    const StringPreset* preset = nullptr;
    double cents = 0;
};
NearestString NearestOpenString(const ToneSettings& settings, double hz);

// A pitch heard, named: the nearest note (the nearest open string's with --instrument, and
// that string), and how many cents the pitch is from it as the settings' tuning lays it.
struct HeardName {
    std::string note; // "E2"
    double cents = 0;
    std::string string; // "G6"; empty without --instrument
};
HeardName NameHeard(const ToneSettings& settings, double hz);

// A reading as --listen prints it: TIME, HZ, NOTE and CENTS tab-separated, and the string
// with --instrument, ended by a newline.
std::string ReadingLine(const ToneSettings& settings, double time, double hz);

// --listen: reads the source of the settings ("-": `in`), or its first `seconds` (the one
// positional argument, `arguments[0]`, when `count` is 1), and prints a line for each reading
// on standard output. Returns the exit status.
int RunListen(const ToneSettings& settings, int count, char** arguments, FILE* in);

// Frames in `seconds` of input at `rate`, rounded up; inf for all of it.
uint64_t FramesIn(double seconds, uint32_t rate);

// Listens to the ALSA capture device `device` for `seconds` (inf: until Ctrl-C or SIGTERM):
// reading lines as RunListen prints them, or the needle's line at a terminal. Returns the
// exit status: 0 after `seconds`, kStoppedBySignal + the signal after a stop, 1 when the
// device cannot be opened or fails.
int ListenLive(const ToneSettings& settings, const char* device, double seconds);
