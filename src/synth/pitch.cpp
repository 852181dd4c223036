#include "synth.h"

#include <cmath>
#include <cstring>

namespace {

struct NoteName {
    const char* name;
    int semitones; // above A
};

constexpr NoteName kNotes[] = {
    {"a", 0},  {"a#", 1}, {"bb", 1}, {"b", 2},   {"c", 3},   {"c#", 4},
    {"db", 4}, {"d", 5},  {"d#", 6}, {"eb", 6},  {"e", 7},   {"f", 8},
    {"f#", 9}, {"gb", 9}, {"g", 10}, {"g#", 11}, {"ab", 11},
};

const NoteName* FindNote(const char* note) {
    for (const NoteName& n : kNotes) {
        if (std::strcmp(note, n.name) == 0) {
            return &n;
        }
    }
    return nullptr;
}

double OctaveFactor(double octave, double period = 2.0) {
    double factor = 1.0;
    if (octave > 0) {
        factor = std::pow(period, octave);
    } else if (octave < 0) {
        factor = std::pow(1.0 / period, -octave);
    }
    return factor == 0.0 ? 1.0 : factor;
}

// The tuning's interval from A up to the note `above_a` semitones above it, within a period.
double IntervalAboveA(const Tuning& tuning, int above_a) {
    const auto degree = [&](int semitones) { return ((semitones - tuning.root) % 12 + 12) % 12; };
    const double interval = tuning.ratios[degree(above_a)] / tuning.ratios[degree(0)];
    return interval < 1 ? interval * tuning.period : interval;
}

} // namespace

int SemitonesAboveA(const char* note) {
    const NoteName* found = FindNote(note);
    return found == nullptr ? 0 : found->semitones;
}

bool IsNoteName(const char* note) {
    return FindNote(note) != nullptr;
}

double Get_Freq(const char* note, double octave, double cents, double a4) {
    // s / 12 is rounded to a double before the power on purpose: the table values
    // (830.61 Hz for g#/ab among them) are defined by that rounding.
    const double exponent = SemitonesAboveA(note) / 12.0;
    const double ratio = std::pow(2.0, exponent);
    const double cents_factor = std::pow(2.0, cents / 1200.0);
    return cents_factor * (((ratio - 1.0) * a4 + a4) * OctaveFactor(octave));
}

double TunedFreq(const Tuning& tuning, const char* note, double octave, double cents, double a4) {
    if (tuning.equal) {
        return Get_Freq(note, octave, cents, a4);
    }
    const double interval = IntervalAboveA(tuning, SemitonesAboveA(note));
    const double cents_factor = std::pow(2.0, cents / 1200.0);
    return cents_factor * (a4 * interval * OctaveFactor(octave, tuning.period));
}
