#include "app.h"
#include "option_files.h"

#include "input/input.h"

#include <cstring>

namespace {

// Far more than any scale file of twelve notes with its comments.
constexpr size_t kLargestScaleFile = 1 << 20;

std::string TemperamentNames() {
    std::string names;
    for (size_t i = 0; i < TemperamentCount(); ++i) {
        names += (i == 0 ? "" : ", ") + std::string(TemperamentName(i));
    }
    return names;
}

bool NotWithTheOther(const char* other) {
    if (other != nullptr) {
        std::fputs("--temperament and --scale cannot be given together: a scale file is a tuning "
                   "of its own\n",
                   stderr);
        return false;
    }
    return true;
}

} // namespace

bool SetTemperament(ToneSettings& settings, const char* name) {
    if (!NotWithTheOther(settings.scale_file)) {
        return false;
    }
    if (!LayTemperament(name, settings.tuning)) {
        std::fprintf(stderr, "Unknown temperament: '%s'; the temperaments are %s\n", name,
                     TemperamentNames().c_str());
        return false;
    }
    settings.temperament = name;
    return true;
}

bool SetRoot(ToneSettings& settings, const char* note) {
    if (!IsNoteName(note)) {
        std::fprintf(stderr,
                     "The root (--root) is a note a to g with '#' for sharp or 'b' for flat "
                     "(c, f#, eb), not '%s'\n",
                     note);
        return false;
    }
    settings.tuning.root = SemitonesAboveA(note);
    std::strcpy(settings.root, note); // a note name is at most two characters
    return true;
}

bool SetScale(ToneSettings& settings, const char* path) {
    if (!NotWithTheOther(settings.temperament)) {
        return false;
    }
    std::string text;
    std::string why;
    if (!ReadOptionFile(path, kLargestScaleFile, "scale file", text, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    const ScaleReading scale = ParseScale(text);
    if (!scale.ok) {
        std::fprintf(stderr, "%s\n", AtLine(path, scale.line, scale.why).c_str());
        return false;
    }
    settings.tuning.equal = false;
    settings.tuning.ratios = scale.ratios;
    settings.tuning.period = scale.period;
    settings.scale_file = path;
    return true;
}

std::string TuningShown(const ToneSettings& settings) {
    const char* name = settings.temperament != nullptr ? settings.temperament : settings.scale_file;
    return name == nullptr ? "" : std::string(name) + " on " + settings.root;
}
