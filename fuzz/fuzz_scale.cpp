// The bytes are the text of a Scala scale file, as --scale reads it.
#include "synth/synth.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ScaleReading scale =
        ParseScale(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!scale.ok) {
        if (scale.line < 1 || scale.why.empty()) {
            std::abort(); // a refusal names its line and why
        }
        return 0;
    }
    // A scale read is a tuning whose every note has a finite, positive frequency.
    Tuning tuning;
    tuning.equal = false;
    tuning.ratios = scale.ratios;
    tuning.period = scale.period;
    for (int root = 0; root < 12; root += 5) {
        tuning.root = root;
        for (const char* note : {"a", "c", "d#", "g#"}) {
            const double hz = TunedFreq(tuning, note, -4, -100, 400);
            if (!(std::isfinite(hz) && hz > 0)) {
                std::abort();
            }
        }
    }
    return 0;
}
