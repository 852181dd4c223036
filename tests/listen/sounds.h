// Sounds made sample by sample, and the readings the listener gives of them.
#pragma once

#include "listen/listener.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace listen_test {

constexpr uint32_t kRate = 44100;

inline double Cents(double hz, double reference) {
    return 1200 * std::log2(hz / reference);
}

// `seconds` of a sound made sample by sample from its time.
inline std::vector<float> Sound(double seconds, const std::function<double(double)>& at,
                                uint32_t rate = kRate) {
    std::vector<float> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(at(static_cast<double>(i) / rate));
    }
    return samples;
}

inline double Sine(double hz, double t, double phase = 0) {
    return std::sin(2 * std::numbers::pi * hz * t + phase);
}

// Every reading of the sound, fed `piece` samples at a time.
inline std::vector<PitchReading> Readings(const std::vector<float>& samples, uint32_t rate = kRate,
                                          size_t piece = 1000) {
    Listener listener = NewListener(rate);
    std::vector<PitchReading> readings, block;
    for (size_t at = 0; at < samples.size(); at += piece) {
        const size_t count = std::min(piece, samples.size() - at);
        ListenTo(listener, std::span<const float>(samples).subspan(at, count), block);
        readings.insert(readings.end(), block.begin(), block.end());
    }
    return readings;
}

// The largest error in cents of the readings from `after` seconds on.
inline double WorstCents(const std::vector<PitchReading>& readings, double hz, double after) {
    double worst = 0;
    for (const PitchReading& r : readings) {
        if (r.time >= after) {
            worst = std::max(worst, std::abs(Cents(r.hz, hz)));
        }
    }
    return worst;
}

inline size_t CountFrom(const std::vector<PitchReading>& readings, double after) {
    return static_cast<size_t>(std::count_if(
        readings.begin(), readings.end(), [&](const PitchReading& r) { return r.time >= after; }));
}

// Partials `first` to `last` of `hz`, the k-th at amplitude `scale` / k and phase k, and at
// k hz sqrt(1 + b k^2): harmonic for b = 0, a stiff string's stretched partials above it.
inline double Partials(double hz, double t, int first, int last, double scale, double b = 0) {
    double x = 0;
    for (int k = first; k <= last; ++k) {
        x += scale / k * Sine(k * hz * std::sqrt(1 + b * k * k), t, k);
    }
    return x;
}

// The gain at `hz` of a phone's microphone or a small speaker: a fourth-order high-pass with its
// corner at `corner` Hz, which leaves a low note's fundamental 40 dB and more under its partials.
inline double Phone(double hz, double corner) {
    return 1 / std::sqrt(1 + std::pow(corner / hz, 8));
}

// Partials 1 to `last` of a note of centre `hz` whose pitch swings +-`cents` `rate` times a
// second (a bow's or a breath's vibrato), the k-th at amplitude `scale` / k^`fall`. With `swell`,
// each partial swells and fades by that share as it swings, at its own point of the swing, as
// an instrument's body louds each where its resonances lie.
inline double Vibrato(double hz, double t, double cents, double rate, int last, double scale,
                      double fall = 1, double swell = 0) {
    const double swing = std::exp2(cents / 1200) - 1;
    const double cycle = 2 * std::numbers::pi * rate * t;
    const double phase =
        2 * std::numbers::pi * hz * (t - swing / (2 * std::numbers::pi * rate) * std::cos(cycle));
    double x = 0;
    for (int k = 1; k <= last; ++k) {
        x += scale / std::pow(k, fall) * (1 + swell * std::sin(cycle + 1.3 * k)) *
             std::sin(k * phase + k);
    }
    return x;
}

} // namespace listen_test
