// The thresholds of the listener's measure step, from the partials to the reading: where its
// first partial is, and the string's stiffness (thresholds.h holds the others, and says how
// levels are given).
#pragma once

#include <cstddef>

// Measure.
// The first partial is measured on its own from this share of the strongest (amplitude,
// -10 dB); weaker, the fit of all of them stands in.
constexpr double kOwnFirstPartial = 0.3;
// A first partial this far (cents) off half its second and off the fit is stray, or off the
// line of those above where kLineWitnesses of them lie on it: lower takes a stiff string's for
// a resonance; fewer witnesses let two partials, which lay any line, say where it is.
constexpr double kStrayFirstCents = 20;
constexpr size_t kLineWitnesses = 3;
// A weaker first partial is measured on its own, alone in its lobe in a clean sound, from this
// far (cents) off the fit of those above it: lower reads the sway its neighbours' leak puts on it.
constexpr double kWeakSwayCents = 2.0;
// Not alone, or beside another sound, a weak first partial is still measured on its own where
// its second's half agrees with it to this (cents). Wider reads a first partial noise moved.
constexpr double kWitnessCents = 1;
// A partial is alone in its lobe when its frequency read half a lobe either side agrees to this
// (cents): higher measures a partial that shares its lobe on its own.
constexpr double kAloneCents = 1;
// A second partial standing in for a first too faint to be found is alone to this (cents): a low
// string's louder third, a lobe's width off, sways the second read half a lobe either side by
// a cent or two (B0's through a phone). Lower lets the line of the partials, 4 cents off a
// second the soundboard pulls, stand in; higher measures a second that shares its lobe.
constexpr double kSecondAloneCents = 2;
// Beside another sound, the partials' share of the power (power, -0.46 dB) from which the fit
// stands in for a first partial that is not alone: in noise they hold less.
constexpr double kCleanShare = 0.9;
// A string is stiff when the line of its partials leaves at most this share of their spread
// unexplained, or for two partials from kClearlyStiff; never beyond kStiffestString (a
// piano's top strings, 0.01), and below kStiffestFrom Hz less, in proportion.
constexpr double kStiffExplained = 0.25;
constexpr double kClearlyStiff = 2e-4;
constexpr double kStiffestString = 0.03;
constexpr double kStiffestFrom = 1000;
// A line needs this share of the weighted squares of k^2 as their spread to have a slope.
constexpr double kLeastLineSpread = 1e-9;
