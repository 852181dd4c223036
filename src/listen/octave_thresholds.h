// The thresholds of the listener's octave step, between the pair of frames and the partials
// (thresholds.h holds the others, and says how levels are given).
#pragma once

#include <cstddef>

// Octave.
// Partials between the multiples of a period found too short: each is looked for within this
// share of its frequency (but 2 bins at least) ...
constexpr double kBetweenSearchShare = 0.03;
// ... against the power of the first kOnMultiples multiples, up to kBetweenMultiples of the
// lower fundamental's partials per divisor ...
constexpr int kOnMultiples = 4;
constexpr int kBetweenMultiples = 3;
// ... and say a lower fundamental when at least kLeastBetween of them each hold kSoundingBetween
// (power, -30 dB) and together kBetweenShare (power, -17 dB) of the power on the multiples.
// Lower takes a hum for a lower note; higher misses a weak fundamental.
constexpr int kLeastBetween = 2;
constexpr double kSoundingBetween = 0.001;
constexpr double kBetweenShare = 0.02;
// A held note's lower octave sounds when the sound repeats at its period this much better
// (NSDF) than at the note's. Lower lets noise halve a held note.
constexpr double kRepeatsBetter = 0.02;
// A fresh numbering (a new note's, or a held note's lower octave) without a fundamental
// (kFaintFirstPartial) whose odd partials hold less than this share of the even ones' power
// (power, -6 dB) and leave more than kMostMissingOdd of the 3rd to the kHighestOddChecked-th
// out is the octave above's: a chord's fifth and tenth sit on the 3rd and 5th of the octave
// below at a tenth of the power or less. Higher takes a note without its fundamental up.
constexpr double kOwnOddShare = 0.25;
constexpr int kHighestOddChecked = 11;
constexpr int kMostMissingOdd = 1;
// A numbering whose odd partials all sound on its line, up to this one at least, is a note
// whose lower partials were thinned, not the octave above's. Lower takes a chord for a note.
constexpr int kLeastOddSeries = 7;
// A chord's fifth and tenth over a note sit on its lower octave's 3rd and 5th partials: where
// the first sounds too faint to count, or not at all, odd partials that count up to this one and
// none beyond are the chord's. Higher takes a low string's 7th for another sound's, an octave up.
constexpr int kChordsHighestOdd = 5;
// Mains hum, 50 or 60 Hz within kMainsCents, and its third under a louder note an octave
// above are not that note's octave below. Wider takes a real low note for hum.
constexpr double kMainsHz[] = {50, 60};
constexpr double kMainsCents = 20;
// A held note's lower octave sounds only where an odd partial of it is steady, its frequency
// read half a lobe either side agreeing within this (cents): an organ's low pipes move theirs
// by up to ten, a rumble's band by far more. Higher lets a rumble halve a held note.
constexpr double kSteadyCents = 20;
// A fresh numbering whose odd partials from the 3rd to this one all sound, each steady as
// kSteadyCents says, is the tone's own however faint they are: not every second partial's.
// Lower lets a shorter run of noise's steady peaks take a note an octave down.
constexpr int kOwnOddRun = 9;
// A numbering's even partials, counted as the octave above's, stray from their line by this much
// at most (cents, RMS by power) where the octave above is read from it: a search led astray
// numbers peaks hundreds of cents off, and a chord's notes on the even places stray tens. Lower
// reads a note under a chord an octave down; higher names the octave above of a pluck's attack.
constexpr double kEvenLineCents = 50;
// A new note named by this many partials or fewer (a sine's, a flute's), on frames too short to
// part partials a third of it apart (kLockPeriods periods), is read only where they hold
// kFewPartialsShare of the frame's power (power, -0.46 dB). Two that leave more unexplained are
// a chord's tone under a note still speaking (G#4 and the 5th partial of a reed's E3: 0.7), a
// rumble's peaks, or the third partial leading a low note's attack (an FM bass's E1: 0.6).
// Lower names them; more partials, or a higher share, holds back young notes' readings in noise.
constexpr size_t kFewPartials = 2;
constexpr double kFewPartialsShare = 0.9;
