// The tuner's line at a terminal: the note heard, its cents on a needle, the target.
#pragma once

#include "settings.h"

#include <cstddef>
#include <string>

// One moment of the tuner's line at a terminal: the pitch heard and its target, or, while no
// pitch sounds, the input level, so that a player sees that the microphone hears at all.
struct NeedleView {
    bool sounding = false;
    std::string note; // the nearest note, "E2"
    double hz = 0;
    double cents = 0; // from the target
    double target_hz = 0;
    std::string string;      // the instrument's string, with --instrument
    double level_dbfs = -99; // while nothing sounds
    double tolerance = 1.0;  // cents of the in-tune band, as --tolerance gives it
    bool in_tune = false;    // the pitch has stayed within the band long enough
};

// The tuner's line: the note, the Hz, the cents, a needle of +-50 cents with the target in its
// middle, its scale finer near the middle so that the in-tune band spans three cells or more,
// the target's Hz, the string, and the in-tune mark; in UTF-8 or plain ASCII for a C-locale
// terminal. Never wider than 79 columns; where `columns` are fewer, the target, the Hz, the
// string, the needle and the mark give way in that order, the note and the cents last.
constexpr size_t kWidestNeedleLine = 79;
std::string NeedleLine(const NeedleView& view, bool utf8, size_t columns = kWidestNeedleLine);

// Columns a line of NeedleLine's takes on a terminal.
size_t Columns(const std::string& text);

// Whether a terminal takes UTF-8, by the locale's name: the first of LC_ALL, LC_CTYPE and
// LANG that is set and not empty.
bool Utf8Locale(const char* lc_all, const char* lc_ctype, const char* lang);

// The needle's view of a reading: its note, the cents from it and its frequency, the target,
// and the string, with the in-tune band of `tolerance` cents.
struct Reading;
NeedleView NeedleViewOf(const Reading& reading, double tolerance);
