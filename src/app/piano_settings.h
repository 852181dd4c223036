// What the piano options ask for: the piano file of measured keys, and its tuning curve.
#pragma once

#include "synth/piano_curve.h"

#include <vector>

struct PianoSettings {
    const char* file = nullptr; // --piano FILE: the measured keys
    bool curve = false;         // --curve: print the tuning curve of the piano file
    bool measure = false;       // --measure: listening writes each key that sounds steadily
    const char* plot = nullptr; // --plot FILE.svg or FILE.png: draw it too
    OctaveRules octaves;        // --octaves BASS,MIDDLE,TREBLE
    bool octaves_given = false;
    // The curve laid from the file, each key's target, when keys are played or tuned by it
    // (--piano FILE with a key, the menu or --listen; empty otherwise), and the stiffness of the
    // key the tone sounds, which stretches its partials; 0 for any other tone.
    std::vector<CurveKey> targets;
    double b = 0;
};
