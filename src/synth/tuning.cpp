#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

// Pitch classes, counted in semitones from C.
constexpr int C = 0, Cs = 1, D = 2, Eb = 3, E = 4, F = 5, Fs = 6, G = 7, Gs = 8, A = 9, Bb = 10,
              B = 11;

constexpr double kPythagoreanComma = 531441.0 / 524288.0; // 3^12 / 2^19
constexpr double kSyntonicComma = 81.0 / 80.0;

// How far a fifth is from a pure 3/2: fractions of the Pythagorean and the syntonic comma,
// negative for a narrower fifth.
struct Temper {
    double pc = 0;
    double sc = 0;
};

constexpr Temper PC(double fraction) {
    return {fraction, 0};
}
constexpr Temper SC(double fraction) {
    return {0, fraction};
}
// The schisma is the Pythagorean comma less the syntonic one.
constexpr Temper Schisma(double fraction) {
    return {fraction, -fraction};
}

// The fifth that rises from `from`, tempered.
struct Fifth {
    int from;
    Temper temper;
};

// Twelve equal semitones; or a chain of eleven fifths upward from `start`, each pure unless
// listed or tempered by `every`; or, when `ratios` is given, its pitches above C.
struct Definition {
    const char* name;
    bool equal = false;
    int start = C;
    Temper every{};
    std::initializer_list<Fifth> fifths{};
    std::initializer_list<double> ratios{};
};

constexpr double kThird = 1.0 / 3;
constexpr double kSixth = 1.0 / 6;
constexpr double kTwelfth = 1.0 / 12;

const Definition kDefinitions[] = {
    {.name = "equal", .equal = true},
    {.name = "pythagorean", .start = Eb},
    {.name = "just",
     .ratios = {1.0, 16.0 / 15, 9.0 / 8, 6.0 / 5, 5.0 / 4, 4.0 / 3, 45.0 / 32, 3.0 / 2, 8.0 / 5,
                5.0 / 3, 9.0 / 5, 15.0 / 8}},
    {.name = "meantone", .start = Eb, .every = SC(-0.25)},
    {.name = "meantone3", .start = Eb, .every = SC(-kThird)},
    {.name = "meantone5", .start = Eb, .every = SC(-0.2)},
    {.name = "werckmeister3",
     .fifths = {{C, PC(-0.25)}, {G, PC(-0.25)}, {D, PC(-0.25)}, {B, PC(-0.25)}}},
    {.name = "werckmeister4",
     .fifths = {{C, PC(-kThird)},
                {D, PC(-kThird)},
                {E, PC(-kThird)},
                {Fs, PC(-kThird)},
                {Bb, PC(-kThird)},
                {Gs, PC(kThird)},
                {Eb, PC(kThird)}}},
    {.name = "werckmeister5",
     .fifths = {{D, PC(-0.25)}, {A, PC(-0.25)}, {Fs, PC(-0.25)}, {Cs, PC(-0.25)}, {Gs, PC(0.25)}}},
    {.name = "werckmeister6",
     .ratios = {1.0, 196.0 / 186, 196.0 / 175, 196.0 / 165, 196.0 / 156, 196.0 / 147, 196.0 / 139,
                196.0 / 131, 196.0 / 124, 196.0 / 117, 196.0 / 110, 196.0 / 104}},
    {.name = "kirnberger1", .fifths = {{D, SC(-1)}, {Fs, Schisma(-1)}}},
    {.name = "kirnberger2", .fifths = {{D, SC(-0.5)}, {A, SC(-0.5)}, {Fs, Schisma(-1)}}},
    {.name = "kirnberger3",
     .fifths = {{C, SC(-0.25)}, {G, SC(-0.25)}, {D, SC(-0.25)}, {A, SC(-0.25)}, {Fs, Schisma(-1)}}},
    {.name = "neidhardt1",
     .fifths = {{C, PC(-kTwelfth)},
                {G, PC(-kSixth)},
                {D, PC(-0.25)},
                {A, PC(-0.25)},
                {B, PC(-kTwelfth)},
                {Cs, PC(-kTwelfth)},
                {Bb, PC(-kTwelfth)}}},
    {.name = "neidhardt2",
     .fifths = {{C, PC(-kSixth)},
                {G, PC(-kSixth)},
                {D, PC(-kSixth)},
                {A, PC(-kSixth)},
                {E, PC(-kTwelfth)},
                {B, PC(-kTwelfth)},
                {Gs, PC(-kTwelfth)},
                {Eb, PC(-kTwelfth)}}},
    {.name = "neidhardt3",
     .fifths = {{C, PC(-kSixth)},
                {G, PC(-kSixth)},
                {D, PC(-kSixth)},
                {A, PC(-kTwelfth)},
                {B, PC(-kTwelfth)},
                {Fs, PC(-kTwelfth)},
                {Cs, PC(-kTwelfth)},
                {Bb, PC(-kTwelfth)}}},
    {.name = "vallotti",
     .fifths = {{C, PC(-kSixth)},
                {G, PC(-kSixth)},
                {D, PC(-kSixth)},
                {A, PC(-kSixth)},
                {E, PC(-kSixth)}}},
    {.name = "young2",
     .fifths = {{C, PC(-kSixth)},
                {G, PC(-kSixth)},
                {D, PC(-kSixth)},
                {A, PC(-kSixth)},
                {E, PC(-kSixth)},
                {B, PC(-kSixth)}}},
};

double IntoOctave(double ratio) {
    while (ratio >= 2) {
        ratio /= 2;
    }
    while (ratio < 1) {
        ratio *= 2;
    }
    return ratio;
}

Temper TemperOf(const Definition& definition, int from) {
    for (const Fifth& fifth : definition.fifths) {
        if (fifth.from == from) {
            return fifth.temper;
        }
    }
    return definition.every;
}

double FifthRatio(Temper temper) {
    return 1.5 * std::pow(kPythagoreanComma, temper.pc) * std::pow(kSyntonicComma, temper.sc);
}

// Each pitch class above C, as the chain of fifths lays it.
PitchRatios ChainOfFifths(const Definition& definition) {
    PitchRatios above_start{};
    int pitch = definition.start;
    double ratio = 1;
    above_start[pitch] = ratio;
    for (int fifth = 0; fifth < 11; ++fifth) {
        ratio = IntoOctave(ratio * FifthRatio(TemperOf(definition, pitch)));
        pitch = (pitch + 7) % 12;
        above_start[pitch] = ratio;
    }
    PitchRatios above_c{};
    for (int p = 0; p < 12; ++p) {
        above_c[p] = IntoOctave(above_start[p] / above_start[C]);
    }
    return above_c;
}

} // namespace

size_t TemperamentCount() {
    return std::size(kDefinitions);
}

const char* TemperamentName(size_t index) {
    return kDefinitions[index].name;
}

bool LayTemperament(const char* name, Tuning& tuning) {
    for (const Definition& definition : kDefinitions) {
        if (std::strcmp(name, definition.name) != 0) {
            continue;
        }
        tuning.equal = definition.equal;
        tuning.period = 2;
        if (definition.ratios.size() == tuning.ratios.size()) {
            std::copy(definition.ratios.begin(), definition.ratios.end(), tuning.ratios.begin());
        } else if (!tuning.equal) {
            tuning.ratios = ChainOfFifths(definition);
        }
        return true;
    }
    return false;
}
