// --summary: the readings of a take gathered note by note, a line for each note.
#pragma once

#include "settings.h"

#include <cstdio>
#include <string>
#include <vector>

// A reading as the front end gets it: seconds of input and Hz.
struct TimedPitch {
    double time = 0;
    double hz = 0;
    bool between_hops = false; // see PitchReading
};

// A note held: the times of its first and last readings, the median Hz of its steady part,
// its name as NameHeard gives it for that Hz, and the spread of the cents of its steady part
// from the 5th to the 95th percentile.
struct HeldNote {
    double start = 0;
    double end = 0;
    double hz = 0;
    std::string note; // "E2"
    double cents = 0;
    double spread = 0;
    std::string string; // with --instrument or --strings
};

// Gathers readings into notes: a note ends at silence (no reading for kSilenceSeconds) or at
// a change of note, which counts once kChangeReadings readings in a row name another note, so
// that a stray reading neither ends a note nor counts in it. Notes of fewer than
// kShortestNote readings are left out as noise.
struct NoteGatherer {
    std::string name;                // the note (and string) being held
    std::vector<TimedPitch> held;    // its readings
    std::vector<TimedPitch> another; // the readings in a row since, of another note
    std::string another_name;
};
constexpr double kSilenceSeconds = 0.15;
constexpr size_t kChangeReadings = 3;
constexpr size_t kShortestNote = 3;

// Takes a reading; the notes it ends go to the end of `ended`. A reading between hops counts
// in no note: a note's readings are counted one a hop, and the extra ones at its attack would
// weigh its steady part toward the attack.
void GatherReading(NoteGatherer& notes, const ToneSettings& settings, TimedPitch reading,
                   std::vector<HeldNote>& ended);

// No reading came up to `time`: ends the note held when that is silence.
void GatherSilence(NoteGatherer& notes, const ToneSettings& settings, double time,
                   std::vector<HeldNote>& ended);

// The input is over: ends the note held, if any.
void FinishGathering(NoteGatherer& notes, const ToneSettings& settings,
                     std::vector<HeldNote>& ended);

// A note as --summary prints it: START, END, HZ, NOTE, CENTS and SPREAD tab-separated, and the
// string with --instrument or --strings, ended by a newline.
std::string HeldNoteLine(const HeldNote& note);

// Prints a reading on `out` as --listen does: its own line, or with --summary, the line of
// each note it ends. `FinishReadings` prints what is left at the end of the input.
void PrintReading(NoteGatherer& notes, const ToneSettings& settings, TimedPitch reading, FILE* out);
void FinishReadings(NoteGatherer& notes, const ToneSettings& settings, FILE* out);
