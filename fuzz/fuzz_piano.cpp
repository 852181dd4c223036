// The bytes are the text of a piano file, as --piano reads it; its keys lay a curve.
#include "synth/piano.h"
#include "synth/piano_curve.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const PianoFileReading piano =
        ParsePianoFile(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!piano.ok) {
        if (piano.line < 1 || piano.why.empty()) {
            std::abort(); // a refusal names its line and why
        }
        return 0;
    }
    // What was read is written back and read again as the same keys.
    const PianoFileReading again = ParsePianoFile(FormatPianoFile(piano.keys));
    if (!again.ok || again.keys.size() != piano.keys.size()) {
        std::abort();
    }
    // A curve laid from it holds a finite, positive target for every key, rising key by key.
    std::string why;
    const std::vector<CurveKey> curve = PianoCurve(piano.keys, OctaveRules{}, 440, why);
    if (curve.empty() != !why.empty()) {
        std::abort();
    }
    for (size_t i = 0; i < curve.size(); ++i) {
        if (!(std::isfinite(curve[i].f1) && curve[i].f1 > 0 && std::isfinite(curve[i].cents)) ||
            (i > 0 && !(curve[i].f1 > curve[i - 1].f1))) {
            std::abort();
        }
    }
    return 0;
}
