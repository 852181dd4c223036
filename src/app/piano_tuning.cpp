#include "piano_tuning.h"
#include "option_files.h"

#include <cstdio>

namespace {

// What would name the readings otherwise: the two cannot both.
const char* OtherNaming(const ToneSettings& settings) {
    if (settings.strings != nullptr || settings.instrument != nullptr) {
        return "--piano FILE names each reading by a key of the piano; --strings and --instrument "
               "by an open string: give one of them";
    }
    if (settings.temperament != nullptr || settings.scale_file != nullptr) {
        return "--piano FILE tunes each key to the piano's curve, stretched from equal "
               "temperament; --temperament and --scale lay the notes another way: give one of "
               "them";
    }
    return nullptr;
}

} // namespace

bool ReadPianoCurve(const ToneSettings& settings, std::vector<CurveKey>& curve, std::string& why) {
    const char* path = settings.piano.file;
    std::vector<MeasuredKey> keys;
    if (!ReadPianoFile(path, false, keys, why)) {
        return false;
    }
    curve = PianoCurve(keys, settings.piano.octaves, settings.a4, why);
    if (curve.empty()) {
        why = std::string(path) +
              ": a curve needs a key in the bass, the middle and the treble: " + why;
        return false;
    }
    return true;
}

bool LayPianoTuning(ToneSettings& settings) {
    const PianoSettings& piano = settings.piano;
    if (piano.file == nullptr || piano.measure || piano.curve || !settings.listening) {
        return true;
    }
    if (const char* why = OtherNaming(settings); why != nullptr) {
        std::fprintf(stderr, "%s\n", why);
        return false;
    }
    std::string why;
    if (!ReadPianoCurve(settings, settings.piano.targets, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    return true;
}
