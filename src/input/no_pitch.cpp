#include "input.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// `value` with `decimals` decimals.
std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

std::string WhyNoPitch(const SoundFile& file, const Unheard& unheard) {
    const SoundHeard heard = HeardSoFar(file);
    if (heard.frames == 0) {
        return "it holds no sound (no frames at all)";
    }
    if (unheard.asked < unheard.least) {
        // Rounded up: the time shown gives a reading.
        const double least = std::ceil(1000.0 * static_cast<double>(unheard.least) / file.rate);
        return "the time asked is too short for a reading, which needs " + Fixed(least / 1000, 3) +
               " s at least";
    }
    if (heard.loudest_channel == 0) {
        return "it is silent";
    }
    // The channels, each loud enough, cancel out in the mix (one is the other upside down).
    if (file.channel == 0 && file.channels > 1 &&
        heard.loudest_heard < 1e-3f * heard.loudest_channel) {
        return "its channels cancel each other out where they are mixed (one is the other "
               "upside down): --channel 1 listens to the first alone";
    }
    if (heard.loudest_heard == 0) {
        return "the channel listened to is silent";
    }
    const double hz = unheard.strongest_hz;
    if (hz > 0 && (hz < unheard.lowest_hz || hz > unheard.highest_hz)) {
        return "its pitch, " + Fixed(hz, 1) + " Hz, lies outside what the listener hears, " +
               Fixed(unheard.lowest_hz, 0) + " to " + Fixed(unheard.highest_hz, 0) + " Hz";
    }
    return "no steady pitch sounds in it (noise, two notes at once, or too short a note)";
}
