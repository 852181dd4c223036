#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kFullScale = 8388608.0; // 2^23
constexpr int32_t kMaxSample = 8388607;
constexpr int32_t kMinSample = -8388608;
constexpr double kTwoPi = 6.283185307179586;

// Truncates toward zero into the signed 24-bit range. Only a sine of exactly 1.0 at full
// level reaches +2^23, which does not fit and becomes 2^23 - 1.
// Clamping first gives the same result as trunc() then clamping: every value from 2^23 - 1
// up truncates to 2^23 - 1 or more, every value from -2^23 down to -2^23 or less, and in
// between the conversion itself truncates toward zero. That leaves one conversion per sample
// instead of a trunc() and a conversion.
int32_t ToSample(double value) {
    if (value >= kMaxSample) {
        return kMaxSample;
    }
    if (value <= kMinSample) {
        return kMinSample;
    }
    return static_cast<int32_t>(value);
}

bool EndsBefore(int64_t cycles, double cycle, int32_t count) {
    return std::trunc(static_cast<double>(cycles) * cycle) < count;
}

// The magnitude of the frequency, limited to half the rate: what the generator sounds.
float SoundingFrequency(float frequency, uint32_t rate) {
    const float f = std::fabs(frequency);
    return f > rate * 0.5 ? static_cast<float>(rate * 0.5) : f;
}

int64_t CycleStart(int64_t cycles, double cycle) {
    return static_cast<int64_t>(std::trunc(static_cast<double>(cycles) * cycle));
}

// Frames of whole cycles at the start of a tone of `frames` frames.
int64_t SoundingFrames(double cycle, int64_t frames) {
    constexpr int32_t kLongestFinite = INT32_MAX;
    if (frames == kEndless) {
        return WholeCycles(cycle, kLongestFinite) > 0 ? kEndless : 0;
    }
    const int64_t cycles = WholeCycles(cycle, static_cast<int32_t>(frames));
    return cycles == 0 ? 0 : CycleStart(cycles, cycle);
}

} // namespace

int64_t WholeCycles(double cycle, int32_t count) {
    // Also covers a zero or NaN frequency (infinite or NaN cycle): no cycle fits.
    if (count <= 0 || !(cycle > 0.0) || !std::isfinite(cycle) || !EndsBefore(1, cycle, count)) {
        return 0;
    }
    // The quotient lands within a step of the answer; the exact truncation test decides,
    // so the result is the same as counting cycles one by one.
    int64_t cycles = static_cast<int64_t>(std::floor(count / cycle));
    while (EndsBefore(cycles + 1, cycle, count)) {
        ++cycles;
    }
    while (cycles > 0 && !EndsBefore(cycles, cycle, count)) {
        --cycles;
    }
    return cycles;
}

ToneShape ShapeTone(float frequency, uint32_t rate, int64_t frames, float level) {
    ToneShape tone;
    tone.amplitude = std::isnan(level) ? 0.0 : static_cast<double>(level) / 100.0 * kFullScale;
    const float f = SoundingFrequency(frequency, rate);
    tone.cycle = static_cast<double>(rate) / f;
    tone.step = f * kTwoPi / rate;
    tone.frames = frames;
    tone.sounding = frames > 0 ? SoundingFrames(tone.cycle, frames) : 0;
    return tone;
}

void RenderSpan(const ToneShape& tone, int64_t first, int32_t count, int32_t* samples) {
    if (count <= 0) {
        return;
    }
    const int64_t sounding_end = std::clamp<int64_t>(tone.sounding, first, first + count);
    int32_t* out = samples;
    for (int64_t i = first; i < sounding_end; ++i) {
        // The phase comes from the index, not a running sum, so it never drifts.
        const double phase = static_cast<double>(i) * tone.step;
        *out++ = ToSample(std::sin(phase) * tone.amplitude);
    }
    std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>(samples + count - out));
}

void MakeTone(int32_t* samples, float frequency, uint32_t rate, int32_t count, float level) {
    RenderSpan(ShapeTone(frequency, rate, count, level), 0, count, samples);
}

int64_t CycleEnd(const ToneShape& tone, int64_t at) {
    if (at <= 0 || at >= tone.sounding) {
        return at < 0 ? 0 : at;
    }
    // Cycle k ends where the generator would start cycle k + 1: the quotient is within a step
    // of it, and the same truncation as the generator's decides.
    auto k = static_cast<int64_t>(std::ceil(static_cast<double>(at) / tone.cycle));
    while (k > 0 && CycleStart(k - 1, tone.cycle) >= at) {
        --k;
    }
    while (CycleStart(k, tone.cycle) < at) {
        ++k;
    }
    return CycleStart(k, tone.cycle);
}

void NUM24_TO_CHAR(const int32_t* samples, unsigned char* packed, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const auto v = static_cast<uint32_t>(samples[i]);
        packed[3 * static_cast<size_t>(i)] = static_cast<unsigned char>(v & 0xFF);
        packed[3 * static_cast<size_t>(i) + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
        packed[3 * static_cast<size_t>(i) + 2] = static_cast<unsigned char>((v >> 16) & 0xFF);
    }
}
