// Naming a pitch heard: the open strings readings are named among, the nearest of them (or
// the nearest note), and each reading named once for whichever view shows it.
#pragma once

#include "settings.h"
#include "synth/piano_curve.h"

#include <string>
#include <vector>

// An open string that readings are named among.
struct OpenString {
    std::string name; // as the STRING column names it: "G6" (--instrument), "6" (--strings)
    std::string note; // as players write it: "E2", "Eb2"
    double hz = 0;    // its pitch as the settings' tuning lays it
};

// The open strings of --strings, in the list's order, the first given numbered highest as
// players count from the highest-placed; else those of --instrument from the lowest-placed;
// else none.
std::vector<OpenString> OpenStrings(const ToneSettings& settings);

// A pitch heard, named: the nearest open string's note and the string, or without strings
// the nearest note; and how many cents the pitch is from it.
struct HeardName {
    std::string note; // "E2"
    double cents = 0;
    std::string string; // "G6", "6"; empty without strings
};

// What naming needs, made once for a run: the settings and their open strings, or the
// piano's curve whose keys readings are named by (--piano FILE --listen).
struct Naming {
    const ToneSettings* settings = nullptr;
    std::vector<OpenString> strings;
    std::vector<CurveKey> keys;
};
Naming NewNaming(const ToneSettings& settings);

// The name of `hz`: among several strings of one pitch (a 12-string's unison pair), the
// first of the list. With a piano's curve, the key whose target's first partial is nearest,
// its number the string, and the cents of the partial the curve tunes that key on, laid by
// the stiffness `b` the reading measured (below 0: it did not, and the key's is taken).
HeardName NameHeard(const Naming& naming, double hz, double b = -1);

// A reading as every view takes it, named once: seconds of input, Hz, and its name.
struct Reading {
    double time = 0;
    double hz = 0;
    HeardName name;
    // Read between the ends of hops (see PitchReading): views that count readings as time
    // leave it out.
    bool between_hops = false;
    double onset = 0; // seconds of input where the note it reads began: a new one, a new attack
    double b = -1;    // the string's stiffness as its partials measured it, below 0 if they did not
};

// A reading of the listener, `offset` seconds after the start of the input, named.
struct PitchReading;
Reading NameReading(const Naming& naming, const PitchReading& reading, double offset);
