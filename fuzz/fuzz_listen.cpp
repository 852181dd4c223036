// The bytes are a sound for the pitch estimator: a header of four bytes (the sample rate, how
// the rest is read, a gain), then a waveform that repeats for a second of input, so that short
// inputs still make pitches and the estimator goes through every step. Every reading must be
// a finite frequency above 0 and below half the rate, at a time within the input fed.
#include "listen/listener.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Rates low enough that a second of input is quick, and the common ones.
constexpr uint32_t kRates[] = {1000, 2000, 4000, 8000, 11025, 16000, 22050, 44100};

std::vector<float> Waveform(const uint8_t* data, size_t size, bool floats, float gain) {
    std::vector<float> wave;
    if (floats) {
        for (size_t i = 0; i + 4 <= size; i += 4) {
            float x = 0;
            std::memcpy(&x, data + i, 4);
            wave.push_back(x); // NaN, infinity and huge values as they come
        }
    } else {
        for (size_t i = 0; i + 2 <= size; i += 2) {
            const auto x = static_cast<int16_t>(data[i] | (data[i + 1] << 8));
            wave.push_back(gain * static_cast<float>(x) / 32768.0f);
        }
    }
    return wave;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const uint32_t rate = kRates[data[0] % std::size(kRates)];
    const bool floats = (data[1] & 1) != 0;
    const size_t piece = 1 + data[1] / 2; // samples fed at a time
    const float gain = static_cast<float>(data[2]) / 64.0f;
    const std::vector<float> wave = Waveform(data + 4, size - 4, floats, gain);
    if (wave.empty()) {
        return 0;
    }
    std::vector<float> sound(rate);
    for (size_t i = 0; i < sound.size(); ++i) {
        sound[i] = wave[i % wave.size()];
    }
    Listener listener = NewListener(rate);
    size_t fed = 0;
    while (fed < sound.size()) {
        const size_t count = std::min(piece, sound.size() - fed);
        const size_t used = FeedListener(listener, std::span(sound).subspan(fed, count));
        if (used == 0 || used > count) {
            std::abort();
        }
        fed += used;
        if (const auto reading = ReadListener(listener)) {
            const bool sane = std::isfinite(reading->hz) && reading->hz > 0 &&
                              reading->hz < rate / 2.0 && reading->time > 0 &&
                              reading->time <= static_cast<double>(fed) / rate + 1e-9;
            if (!sane) {
                std::abort();
            }
        }
    }
    return 0;
}
