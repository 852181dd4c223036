#include "synth.h"

#include "common/units.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

namespace {

// The names of the table, one for each semitone above A.
constexpr const char* kNamesAboveA[12] = {"a",  "a#", "b", "c",  "c#", "d",
                                          "d#", "e",  "f", "f#", "g",  "g#"};
// Scientific pitch notation's spellings, counted from C.
constexpr const char* kNamesAboveC[12] = {"C",  "C#", "D",  "Eb", "E",  "F",
                                          "F#", "G",  "G#", "A",  "Bb", "B"};

int FloorDivide(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

const char* NoteNameAboveA(int above_a) {
    return kNamesAboveA[((above_a % 12) + 12) % 12];
}

HeardNote NearestNote(const Tuning& tuning, double hz, double a4) {
    const double period = tuning.equal ? 2.0 : tuning.period;
    // Within a period of the offset the frequency falls in, every note lies in this one, the
    // one below or the one above: try them all, laid by TunedFreq itself.
    const double periods = std::floor(std::log(hz / a4) / std::log(period));
    const int around = static_cast<int>(std::clamp(periods, -1000.0, 1000.0));
    HeardNote nearest;
    nearest.cents = HUGE_VAL;
    for (int octave = around - 1; octave <= around + 1; ++octave) {
        for (int above_a = 0; above_a < 12; ++above_a) {
            const double pitch = TunedFreq(tuning, NoteNameAboveA(above_a), octave, 0, a4);
            const double cents = Cents(hz, pitch);
            if (std::abs(cents) < std::abs(nearest.cents)) {
                nearest = {{above_a, octave}, cents};
            }
        }
    }
    return nearest;
}

std::string ScientificName(NoteAboveA note) {
    // Semitones above C4: A4 is nine.
    const int above_c4 = 9 + note.above_a + 12 * note.octave;
    const int octave = 4 + FloorDivide(above_c4, 12);
    return kNamesAboveC[above_c4 - 12 * FloorDivide(above_c4, 12)] + std::to_string(octave);
}

bool ParseScientificName(const char* text, NoteAboveA& note) {
    // The note's name is the longest start of the text that the table holds: "bb3" is B flat.
    for (size_t name_length : {size_t{2}, size_t{1}}) {
        if (std::strlen(text) != name_length + 1) {
            continue;
        }
        const char digit = text[name_length];
        const std::string name(text, name_length);
        if (!IsNoteName(name.c_str()) || digit < '0' || digit > '9') {
            continue;
        }
        // Semitones above A4: C of octave n is 12 (n - 4) - 9.
        const int above_c = (SemitonesAboveA(name.c_str()) + 9) % 12;
        const int above_a4 = above_c + 12 * (digit - '0' - 4) - 9;
        note.octave = FloorDivide(above_a4, 12);
        note.above_a = above_a4 - 12 * note.octave;
        return true;
    }
    return false;
}

std::string CentsShown(double cents) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%+.2f", cents);
    return std::strcmp(shown, "-0.00") == 0 ? "+0.00" : shown;
}
