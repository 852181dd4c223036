// A piano's tuning curve: the stiffness of every key laid from the keys measured, and each
// key's target, stretched so that its octaves meet on the partials a tuner listens to. Pure.
#pragma once

#include "piano.h"

#include <string>
#include <string_view>
#include <vector>

// Where two keys an octave apart meet: the lower key's `lower`-th partial on the upper key's
// `upper`-th (4:2, the 4th on the 2nd).
struct OctaveMatch {
    int lower = 4;
    int upper = 2;
};

// The octave of each region of the keyboard: the bass's from C2 down, the middle's from C3 to
// C6 (A3 to A4 too), the treble's from C7 up; between them the octave moves from one match to
// the other. A pair above A4 is placed by its upper key, one below A3 by its lower key.
struct OctaveRules {
    OctaveMatch bass{6, 3};
    OctaveMatch middle{4, 2};
    OctaveMatch treble{2, 1};
};

// --octaves BASS,MIDDLE,TREBLE ("6:3,4:2,2:1"): false with `why` for anything else.
bool ParseOctaves(std::string_view text, OctaveRules& rules, std::string& why);

// A key of the curve.
struct CurveKey {
    int key = 0;           // 1 (A0) to 88 (C8)
    double b = 0;          // measured, or laid from the keys measured
    bool measured = false; // whether `b` was measured on this key
    double cents = 0;      // the target's first partial from equal temperament at a4
    double f1 = 0;         // the target's first partial, Hz
    // The partial to tune on: a low key's first is weak, so the lowest at or above 100 Hz,
    // never above the 6th (A0 on its 4th, A2 and up on their first).
    int partial = 1;
};

// The curve of the piano whose keys `measured` were measured (in any order), A4's first
// partial at `a4`: kPianoKeys keys, A0 first. Empty, with `why` naming the keys to measure,
// when fewer than a bass, a middle and a treble key were measured.
std::vector<CurveKey> PianoCurve(const std::vector<MeasuredKey>& measured, const OctaveRules& rules,
                                 double a4, std::string& why);

// The key of `curve` whose target first partial lies nearest `hz` (in cents), 0 when `hz` is
// more than half a semitone beyond the keyboard's ends.
int NearestKey(const std::vector<CurveKey>& curve, double hz);
