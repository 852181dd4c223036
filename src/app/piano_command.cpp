#include "piano_command.h"
#include "curve_plot.h"
#include "curve_png.h"
#include "direct.h"
#include "piano_tuning.h"

#include "input/input.h"
#include "output/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// One line a key, A0 first: KEY NOTE B CENTS HZ PARTIAL, tab-separated. False, after saying
// why, when standard output did not take them all: a curve cut short would read as whole.
bool PrintCurve(const std::vector<CurveKey>& curve) {
    for (const CurveKey& key : curve) {
        std::printf("%d\t%s\t%.4e\t%+.2f\t%.3f\t%d\n", key.key, KeyName(key.key).c_str(), key.b,
                    key.cents, key.f1, key.partial);
    }
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "Cannot write the curve to standard output: %s\n",
                     std::strerror(errno != 0 ? errno : EIO));
        return false;
    }
    return true;
}

// The curve's picture in the file `path` names, PNG or SVG by its name; false after saying why
// it could not be written.
bool WritePlot(const char* path, const std::vector<CurveKey>& curve) {
    std::string picture;
    std::string why;
    bool drawn = true;
    if (NamesPng(path)) {
        drawn = CurvePng(curve, picture, why);
    } else {
        picture = CurvePlot(curve);
    }
    if (!drawn || !WriteFileWhole(path, picture, why)) {
        std::fprintf(stderr, "%s: cannot write the plot: %s\n", path, why.c_str());
        return false;
    }
    return true;
}

int RunCurve(const ToneSettings& settings) {
    std::vector<CurveKey> curve;
    std::string why;
    if (!ReadPianoCurve(settings, curve, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    if (!PrintCurve(curve)) {
        return 1;
    }
    return settings.piano.plot == nullptr || WritePlot(settings.piano.plot, curve) ? 0 : 1;
}

// Why the piano options cannot run as given, or empty.
const char* Misuse(const ToneSettings& settings, int count) {
    const PianoSettings& piano = settings.piano;
    if (piano.plot != nullptr && !piano.curve) {
        return "--plot draws the curve of --curve: give --curve too";
    }
    if (piano.curve && piano.file == nullptr) {
        return "--curve prints the tuning curve of a piano's measured keys: give --piano FILE too";
    }
    if (piano.curve && (settings.listening || count > 0)) {
        return "--curve prints the curve of the piano file and nothing else: give it no --listen, "
               "note or frequency";
    }
    if (piano.octaves_given && piano.file == nullptr) {
        return "--octaves lays the curve of a piano: give --piano FILE too";
    }
    // A key's target is the curve's, laid from equal temperament: a temperament would be
    // named in the summary and sound nowhere.
    if (piano.file != nullptr && !piano.curve && !settings.listening &&
        (settings.temperament != nullptr || settings.scale_file != nullptr)) {
        return "--piano plays its keys' targets from its tuning curve: give it no --temperament "
               "or --scale";
    }
    // --measure without --listen is refused as every option of listening is; --piano FILE
    // alone is the menu, its notes playing the keys' targets.
    return nullptr;
}

} // namespace

int RunPianoCommand(const ToneSettings& settings, int count) {
    const PianoSettings& piano = settings.piano;
    if (piano.file == nullptr && !piano.curve && piano.plot == nullptr && !piano.octaves_given) {
        return kGoOn;
    }
    if (const char* misuse = Misuse(settings, count); misuse != nullptr) {
        std::fprintf(stderr, "%s\n", misuse);
        return 1;
    }
    return piano.curve ? RunCurve(settings) : kGoOn;
}
