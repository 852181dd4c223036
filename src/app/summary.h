// --summary: the readings of a take gathered note by note, a line for each note.
#pragma once

#include "naming.h"

#include <cstdio>
#include <string>
#include <vector>

// A note held: the times of its first and last readings, the median Hz of its steady part (a
// vibrato's mean over its whole cycles), its name as NameHeard gives it for that Hz, and the
// spread of the cents of its steady part from the 5th to the 95th percentile (a vibrato's width).
struct HeldNote {
    double start = 0;
    double end = 0;
    double hz = 0;
    std::string note; // "E2"
    double cents = 0;
    double spread = 0;
    std::string string; // with --instrument or --strings
};

// Gathers readings into notes: a note ends at silence (no reading for kSilenceSeconds, or for
// kLostSeconds where the listener heard neither silence nor a new attack between), at a
// new attack of its own (a string plucked again), or at a change of note, which counts once
// kChangeReadings readings in a row name another note beyond a vibrato's swing of the held one,
// so that a stray reading neither ends a note nor counts in it. Notes of fewer than kShortestNote
// readings are left out as noise.
struct NoteGatherer {
    std::string name;             // the note (and string) being held
    std::vector<Reading> held;    // its readings
    double held_log2 = 0;         // the sum of their log2 Hz
    std::vector<Reading> another; // the readings in a row since, of another note
    std::string another_name;
    double attack = -1;      // seconds of input where the latest attack began
    size_t since_attack = 0; // readings since it
    size_t lines = 0;        // notes ended and summed up
    size_t readings = 0;     // readings gathered in all
};
constexpr double kSilenceSeconds = 0.15;
// While the listener still hears the sound, readings may be missing this long (noise hiding
// the note) and the note goes on where they come back.
constexpr double kLostSeconds = 1;
constexpr size_t kChangeReadings = 3;
constexpr size_t kShortestNote = 3;

// Takes a reading; the notes it ends go to the end of `ended`. A reading between hops counts
// in no note: a note's readings are counted one a hop, and the extra ones at its attack would
// weigh its steady part toward the attack.
void GatherReading(NoteGatherer& notes, const Naming& naming, const Reading& reading,
                   std::vector<HeldNote>& ended);

// No reading came up to `time`: ends the note held when that is silence, kSilenceSeconds
// without one, or kLostSeconds while the listener still hears a sound (`sounding`).
void GatherSilence(NoteGatherer& notes, const Naming& naming, double time, bool sounding,
                   std::vector<HeldNote>& ended);

// The input is over: ends the note held, if any.
void FinishGathering(NoteGatherer& notes, const Naming& naming, std::vector<HeldNote>& ended);

// Why readings were heard but no note summed up, as a line's end ("no note held ..."); empty
// when a note was, or nothing was heard.
std::string WhyNoNote(const NoteGatherer& notes);

// A note as --summary prints it: START, END, HZ, NOTE, CENTS and SPREAD tab-separated, and the
// string with --instrument or --strings, ended by a newline.
std::string HeldNoteLine(const HeldNote& note);
