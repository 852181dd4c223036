// --measure: each key of a piano that sounds steadily is measured (its first partial, its
// string's stiffness B, the partials of the fit) and written into the piano file, the whole
// file replaced at each key so that it is never found half written.
#pragma once

#include "settings.h"

#include "listen/listener.h"
#include "synth/piano.h"
#include "synth/piano_curve.h"

#include <cstdio>
#include <string>
#include <vector>

// The key (1 = A0 to 88 = C8) that a first partial of `hz` names: the nearest target of
// `curve`, the piano's stretched curve as far as its keys measured so far lay one; without
// one, the nearest key in equal temperament at `a4`. 0 off the keyboard.
int KeyOfHz(double hz, double a4, const std::vector<CurveKey>& curve);

// The note under way and its readings.
struct PianoMeasure {
    const char* path = nullptr;
    double a4 = 440;
    OctaveRules octaves;
    std::vector<CurveKey> curve; // of the keys measured so far; empty before it can be laid
    int key = 0;
    double onset = -1;
    double first_time = 0;            // of the key's first reading since its note began
    std::vector<PitchReading> recent; // its readings of the last half second and a little
    bool done = false;                // the note under way was written, or said why not
};

PianoMeasure NewPianoMeasure(const ToneSettings& settings);

// Takes a reading: once a key has read steadily for half a second, writes it into the file
// and prints "NOTE\tF1\tB\tPARTIALS\tKEYS_MEASURED" on `out`, or says on standard error why
// its fit does not hold.
void MeasureReading(PianoMeasure& measure, const PitchReading& reading, FILE* out);
