// Every threshold the listener decides by, in the order of the steps that use them (the
// pipeline is drawn in note.h). Levels say whether they compare amplitudes (magnitudes, RMS:
// dB = 20 log10) or powers (squares, shares of power: dB = 10 log10); the figure in dB is the
// ratio's, which stays as measured. Each says what raising it trades.
#pragma once

#include "listener.h"
#include "measure_thresholds.h" // the measure step's, the last
#include "octave_thresholds.h"  // the octave step's, which follow the frames'

#include <cstdint>

// Level and onset.
// Quieter than this is silence: RMS, full scale 1 (amplitude, -66 dB). Higher loses soft notes.
constexpr double kQuietest = 0.0005;
// A hop this many times the RMS of the one before is a new attack (amplitude, +6 dB). Lower
// restarts a note at a tremolo; higher misses a re-pluck of the same note.
constexpr double kAttackRise = 2;
// Or kAttackRise over two hops, each this many times the one before (amplitude, +2 dB): a
// re-strike across a hop's end. Lower restarts notes at swells and rumble; higher misses it.
constexpr double kAttackStepRise = 1.26;
// After silence a note begins at the first sample this share of the hop's loudest peak
// (amplitude, -20 dB). Lower starts at the noise before it; higher starts late.
constexpr double kOnsetShare = 0.1;

// Coarse pitch (McLeod's NSDF).
// The frame holds two periods of the lowest fundamental (seconds): longer costs time and lag.
constexpr double kCoarseSeconds = 2 / kLowestHz;
// The first key maximum this share of the highest is the period: lower reads octaves up.
constexpr double kKeyMaximumShare = 0.9;
// The NSDF peak of a pitch: noise stays far below it. Higher drops rough notes.
constexpr double kLeastClarity = 0.4;
// Below this sum of squares the NSDF holds nothing (0): a frame of zeros has no lag.
constexpr double kEmptyFrame = 1e-12;

// Note state.
// Coarse pitches of one note agree this closely (cents): wider joins a semitone's step to it.
constexpr double kSameNoteCents = 60;
// A new note reads once the coarse pitches of this many hops agree: more is surer, and later.
constexpr size_t kFirstReadingHops = 2;
// A point between a hop's ends confirms a new note's pitch this many hops after its onset at
// most; after silence, this many after its first coarse pitch, up to twice as many after the
// onset. More lets noise agree with itself more often.
constexpr uint64_t kPointHops = 3;
// A note's octave holds once its frames span this many of its periods (a third of the note is
// then resolved). Fewer holds an octave error; more lets the octave jump for longer.
constexpr double kLockPeriods = 18;
// A hop that repeats at the note's period less than this share (NSDF) of the hop before holds
// a change of note. Higher splits a vibrato into notes.
constexpr double kSteadyShare = 0.8;
// A vibrato moves a held note's period this far from its reading (cents): the hop's repetition
// is its best lag within, climbed to in steps. Wider lets a slide pass as the same note.
constexpr double kVibratoCents = 40;
constexpr double kVibratoStepCents = 4;
// A held note whose period the hop repeats at this well (NSDF) may sound on where the coarse
// period says another. Lower holds a note past its end.
constexpr double kStillRepeating = 0.4;

// Pair of frames.
// A reading rests on at most this much of the newest sound (seconds): longer reads steadier
// in noise and follows a moving pitch later.
constexpr double kLongestSeconds = 0.25;
// The later frame ends this share of the pair's span after the earlier (a hop at most):
// shorter fits a pair into a note's first hundredths of a second.
constexpr double kShiftShare = 0.2;
// Frames stop growing at this many periods (longer blurs a vibrato), young notes' sooner (a
// young pitch moves), but not below kShortestCap seconds.
constexpr double kEnoughPeriods = 24;
constexpr double kYoungPeriods = 16;
constexpr double kShortestCap = 0.06;
// A held note its frames cannot read is read again on frames of this many periods: longer ones
// blur a vibrato's partials over its swing. Fewer read rougher.
constexpr double kMovingPeriods = 10;
// The frames hold this many periods before a reading (TooShort). Fewer reads sooner, rougher.
constexpr double kLeastPeriods = 3;
// The attack the frames leave out once a note has read: at most these seconds, and at most
// a kAttackDivisor-th of the note's time. More keeps an attack's pitch out, on shorter frames.
constexpr double kAttackSeconds = 0.06;
constexpr uint64_t kAttackDivisor = 3;

// Partials.
// Partials up to this share of the rate: recorders' anti-aliasing filters end there.
// Higher takes their slope's peaks for partials.
constexpr double kHighestPartialShare = 0.45;
// A partial is looked for within this share of where those before it put it, the first within
// kFirstSearchShare of the period's guess; never within less than kLeastSearchBins bins nor more
// than kWidestSearchShare of f0 (a neighbour's lobe). Wider takes a neighbour's peak or noise's.
constexpr double kSearchShare = 0.02;
constexpr double kFirstSearchShare = 0.05;
constexpr double kLeastSearchBins = 2;
constexpr double kWidestSearchShare = 0.3;
// Peaks weaker than this share of the strongest bin are noise (amplitude, -40 dB): lower
// takes noise for partials, higher loses a faint fundamental.
constexpr double kWeakestPartial = 0.01;
// Partials from this share of the strongest bin up guide the search (amplitude, -26 dB):
// lower lets noise lead it.
constexpr double kGuidingPartial = 0.05;
// A partial counts for the numbering and the spread from this share of the strongest's power
// (power, -20 dB); for a held note's numbering from kHoldingPartialPower (power, -40 dB): a
// fading fundamental or a low string's odd partials still hold its octave.
constexpr double kCountedPartialPower = 0.01;
constexpr double kHoldingPartialPower = 1e-4;
// The lowest partial this far (cents) off the line of those above it is another sound's:
// lower drops a note's own first partial while it settles.
constexpr double kOtherNoteCents = 50;

// Gates.
// A fundamental this share of the strongest partial (amplitude, -30 dB) still says where the
// note is; without it, partials 2, 3, ... follow one another up to the kNumbersOfANote-th.
constexpr double kFaintFirstPartial = 0.03;
constexpr int kNumbersOfANote = 9;
// A note's partials stray from their line by this much at most (cents, RMS by power): higher
// reads the scattered peaks of a rumble as a note.
constexpr double kMostSpreadCents = 5;
// A held note's partials may stray this far: a vibrato swings each through the body's
// resonances (a sampled viola's strayed 5 to 16 cents). Higher holds a note into noise.
constexpr double kHeldSpreadCents = 20;
// A reading's confidence, the share of the frame's power in the partials' lobes (power, -2.6
// dB), below which there is no reading (Unsure). Lower reads a pluck's thump as the note.
constexpr double kLeastConfidence = 0.55;
