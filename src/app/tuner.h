// What the tuner's display keeps from reading to reading: how long the pitch has stayed in
// tune, the strobe's turning band, and the checklist of an instrument's strings.
#pragma once

#include "naming.h"
#include "needle.h"

#include <cstddef>
#include <string>
#include <vector>

// How long the reading must stay within the tolerance before the in-tune mark shows.
constexpr double kInTuneHoldSeconds = 0.5;

// Since when the reading of one note (or string) has stayed within the tolerance.
struct InTuneHold {
    std::string name;  // the note and string held
    double since = -1; // below 0: out of the band
};

// Takes a reading at `time` of `name`, `cents` from its target: true once the readings of
// that name have stayed within +-tolerance for kInTuneHoldSeconds.
bool HoldInTune(InTuneHold& hold, const std::string& name, double time, double cents,
                double tolerance);

// A strobe's band: its pattern turns a period a second for each cent the pitch is sharp
// (to the right) or flat (to the left), by the phase of the pitch against its target,
// added up reading by reading.
struct Strobe {
    double phase = 0;      // periods of the pattern, 0 to 1
    double cents = 0;      // the pitch's last cents from its target
    double last_time = -1; // of the last reading; below 0 after silence
};
constexpr int kStrobeCells = 32;
constexpr int kStrobePeriodCells = 8;

// Turns the band to a reading at `time`, `cents` from its target.
void TurnStrobe(Strobe& strobe, double time, double cents);

// Nothing sounds: the next reading starts the count again.
void StopStrobe(Strobe& strobe);

// The band, kStrobeCells wide between brackets, as it stands: light and dark cells (half
// cells in UTF-8), or, when the pattern would move more than a quarter period between
// drawings `frame_seconds` apart and so seem to stand or run backwards, arrows toward the
// side the pitch is off to.
std::string StrobeBand(const Strobe& strobe, double frame_seconds, bool utf8);

// The tuner's line with --strobe: the note, the cents, the band, the target, the string and
// the in-tune mark.
std::string StrobeLine(const NeedleView& view, const Strobe& strobe, double frame_seconds,
                       bool utf8);

// The strings of --instrument or --strings, from the lowest-placed, each with the cents it
// was last heard at and whether it was in tune then.
struct CheckedString {
    std::string name;  // as the STRING column names it: "G6", "6"
    std::string shown; // "G6", "6:D2"
    double hz = 0;     // its pitch
    bool heard = false;
    double cents = 0;
    bool in_tune = false;
};

// The checklist, and the run of readings in a row that name one string. A string's entry is
// the median of the run's last kRunReadings, once kFewestReadings are in, so that the odd
// reading of a string as it stops or of the next one as it starts does not stand for it.
struct Checklist {
    std::vector<CheckedString> strings;
    std::string running;     // the string the run names
    std::vector<double> run; // the cents of its last readings, the newest last
    bool held = false;       // the run was held in tune
};
constexpr size_t kRunReadings = 9;
constexpr size_t kFewestReadings = 3;

Checklist NewChecklist(const std::vector<OpenString>& strings);

// Records a reading of the string `name`, `cents` from it, `in_tune` as HoldInTune says. The
// string is in tune once its run was held in tune and its median is within the tolerance.
void CheckString(Checklist& checklist, const std::string& name, double cents, bool in_tune,
                 double tolerance);

// Silence: the next reading starts a run of its own.
void BreakRun(Checklist& checklist);

// A string's entry: its name, its last cents ("--" before it is heard) and the in-tune mark.
std::string ChecklistEntry(const CheckedString& string, bool utf8);
