// Playing a piano's keys: with --piano FILE, a key sounds its target from the piano's tuning
// curve, its partials stretched as its string's, instead of its equal-tempered pitch.
#pragma once

#include "settings.h"

#include <cstdio>

// Lays the curve of the piano file of --piano into the settings, for direct mode's key and the
// menu's notes. False after saying on `err` why the file lays none.
bool LayPianoTargets(ToneSettings& settings, FILE* err);

// Whether a curve was laid: notes then sound their keys' targets.
bool PlaysPianoKeys(const ToneSettings& settings);

// The key (1 to 88) of a note of the table `above_a` semitones above A (0 to 11) with `octave`
// octaves from A4, as TunedFreq counts them; 0 for one off the keyboard.
int KeyOfNote(int above_a, double octave);

// The note of `key` (1 to 88) as the menu keeps a note: semitones above A and octaves from A4.
NoteAboveA NoteOfKey(int key);

// The key the current note of the settings names, as KeyOfNote counts it.
int CurrentKey(const ToneSettings& settings);

// Sets the frequency of the settings to `key`'s target, `cents` above it, and the stiffness
// its partials are stretched by to the key's. `key` is a key of the curve laid.
void SoundKey(ToneSettings& settings, int key, double cents);

// The key that a word of direct mode names with a curve laid: a key name first ("a0", "G1",
// "Bb3": G1 to G7 and B1 to B5 are keys here, not strings), then a note or a string preset as
// direct mode takes them. False after saying on `err` why the word names no key.
bool KeyOfWord(const char* word, int& key, FILE* err);
