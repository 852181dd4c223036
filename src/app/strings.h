// Open strings beyond the instruments' usual tuning: the alternate tunings of --strings, the
// notes a player types with their octave number.
#pragma once

#include "settings.h"

#include <cstddef>
#include <span>
#include <string>

// A note with its octave number as a player writes it: in lower case ("e2", "c#4", "bb3"),
// or with its letter in upper case ("E2", "C#4", "Bb3") where the word is not a string
// preset (G1 to G7 and B1 to B5 stay the guitar's and the bass's strings).
bool ParseNoteWord(const char* word, NoteAboveA& note);

// A word that names a pitch as direct mode and the menu take it: a string preset ("G6"), a
// note with its octave number ("e2"), or a note of the table ("c#", octave 0). Its note of the
// table and octave offset, or false for any other word.
bool NoteOfWord(const char* word, const char*& name, double& octave);

// For a string preset that is also a note with its octave number in upper case ("G4"), why
// it plays the string and how the note is written ("g4"), as one line; empty for any other.
std::string ShadowedNote(const char* word);

// A named tuning of --strings: its strings from the lowest-placed, in scientific notation.
struct NamedTuning {
    const char* name;
    const char* instrument;
    const char* notes; // "D2,A2,D3,G3,B3,E4"
};
std::span<const NamedTuning> NamedTunings();

// --strings NAME or --strings NOTE,NOTE,...: lays the open strings into the settings, or
// prints why not and returns false.
bool SetStrings(ToneSettings& settings, const char* value);

// The pitch of an open string of --strings as the settings' tuning lays it.
double StringPitch(const ToneSettings& settings, NoteAboveA note);
