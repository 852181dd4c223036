// A piano's curve as the readings' targets: --piano FILE --listen names each reading by the
// nearest key of the curve the file's measured keys lay, and its cents from that key's target.
#pragma once

#include "settings.h"

#include <string>
#include <vector>

// The curve of the piano file of the settings, at their --a4 and --octaves: false with why,
// the file and its line where it does not parse, the regions to measure where it lays none.
bool ReadPianoCurve(const ToneSettings& settings, std::vector<CurveKey>& curve, std::string& why);

// With --piano FILE and --listen, neither measuring nor printing the curve: lays the curve into
// settings.piano.targets, or says why not on standard error and returns false, before anything
// is listened to. True, the settings untouched, for every other use of the options.
bool LayPianoTuning(ToneSettings& settings);
