#include "piano.h"
#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kFullScale = 8388608.0; // 2^23
constexpr int32_t kMaxSample = 8388607;
constexpr int32_t kMinSample = -8388608;
constexpr double kTwoPi = 6.283185307179586;

// On x86-64 the block renderer is built twice, for the processors with AVX2's four-double
// vectors and for the rest, and the one for the machine is chosen as the program starts.
// What it calls is built into each, so that each works on as many phases at once as it can.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ONDELIS_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#define ONDELIS_INLINE __attribute__((always_inline)) inline
#else
#define ONDELIS_WIDE_VECTORS
#define ONDELIS_INLINE inline
#endif

// Truncates toward zero into the signed 24-bit range. Only a sine of exactly 1.0 at full
// level reaches +2^23, which does not fit and becomes 2^23 - 1.
// Clamping first gives the same result as trunc() then clamping: every value from 2^23 - 1
// up truncates to 2^23 - 1 or more, every value from -2^23 down to -2^23 or less, and in
// between the conversion itself truncates toward zero. That leaves one conversion per sample
// instead of a trunc() and a conversion, and no branch, so that the compiler can do several
// at once.
ONDELIS_INLINE int32_t ToSample(double value) {
    return static_cast<int32_t>(std::min<double>(std::max<double>(value, kMinSample), kMaxSample));
}

// sin(phase) to within kSineError, many times faster than std::sin, for a phase from 0 up
// to kQuickPhaseLimit: the phase in half turns and what is left of it (Cody and Waite's
// reduction, with pi in three parts short enough that each product with the count of half
// turns is exact), then the Taylor series of sine over at most pi/2. It has no branches, so
// that the compiler can work on several phases at once.
constexpr double kPiHigh = 0x1.921fb8p+1;
constexpr double kPiMiddle = -0x1.5dde98p-22;
constexpr double kPiLow = 0x1.8469898cc5170p-47;
constexpr double kHalfTurnsPerRadian = 0.3183098861837907;
// Beyond 2^30 half turns the products above would no longer be exact.
constexpr double kQuickPhaseLimit = 1073741824.0 * 3.141592653589793;
// The series stops within 5e-14 of the true value, rounding adds a few 1e-16, and any libm's
// sin is within an ulp of it: the bound allows two thousand times as much.
constexpr double kSineError = 1e-10;

// The phase less its nearest whole number of half turns, within pi/2 of 0, and the sign
// that both sine and cosine take from those half turns: sin(r + n pi) is sin(r) for an even
// n, -sin(r) for an odd one, and so is cos. A sign rather than a choice, which would keep the
// compiler to one phase at a time.
struct Reduced {
    double r;
    double sign;
};

ONDELIS_INLINE Reduced Reduce(double phase) {
    const auto half_turns = static_cast<int32_t>(phase * kHalfTurnsPerRadian + 0.5);
    const auto turns = static_cast<double>(half_turns);
    const double r = ((phase - turns * kPiHigh) - turns * kPiMiddle) - turns * kPiLow;
    return {r, static_cast<double>(1 - 2 * (half_turns & 1))};
}

ONDELIS_INLINE double SineSeries(double r) {
    const double r2 = r * r;
    constexpr double c3 = -1.0 / 6, c5 = 1.0 / 120, c7 = -1.0 / 5040, c9 = 1.0 / 362880,
                     c11 = -1.0 / 39916800, c13 = 1.0 / 6227020800, c15 = -1.0 / 1307674368000,
                     c17 = 1.0 / 355687428096000;
    return r + r * r2 *
                   (c3 +
                    r2 * (c5 +
                          r2 * (c7 + r2 * (c9 + r2 * (c11 + r2 * (c13 + r2 * (c15 + r2 * c17)))))));
}

// The series of cosine over at most pi/2 stops within 4e-15 of the true value, as the sine's.
ONDELIS_INLINE double CosineSeries(double r) {
    const double r2 = r * r;
    constexpr double c2 = -1.0 / 2, c4 = 1.0 / 24, c6 = -1.0 / 720, c8 = 1.0 / 40320,
                     c10 = -1.0 / 3628800, c12 = 1.0 / 479001600, c14 = -1.0 / 87178291200,
                     c16 = 1.0 / 20922789888000, c18 = -1.0 / 6402373705728000;
    return 1 +
           r2 * (c2 +
                 r2 * (c4 +
                       r2 * (c6 +
                             r2 * (c8 +
                                   r2 * (c10 + r2 * (c12 + r2 * (c14 + r2 * (c16 + r2 * c18))))))));
}

ONDELIS_INLINE double QuickSine(double phase) {
    const Reduced reduced = Reduce(phase);
    return reduced.sign * SineSeries(reduced.r);
}

// Frames are rendered kBlock at a time: QuickSine for all of them, then each sample checked.
constexpr int32_t kBlock = 64;

ONDELIS_INLINE double PhaseOf(double frame, const ToneShape& tone) {
    return frame * tone.step;
}

// Renders `count` (at most kBlock) sounding frames from `first`, as ToSample(std::sin(phase)
// * amplitude), by way of QuickSine wherever its error cannot change the result: ToSample never
// falls as its argument rises, so when both ends of the error's span give one sample, so does
// everything between. Elsewhere (about one sample in a thousand) std::sin decides, so the
// samples are the same, bit for bit.
ONDELIS_WIDE_VECTORS void RenderBlock(const ToneShape& tone, int64_t first, int32_t count,
                                      int32_t* out) {
    // Every frame count is below 2^53: the sums are exact, as the frame's own conversion.
    const auto start = static_cast<double>(first);
    const auto exact = [&](int32_t k) {
        return ToSample(std::sin(PhaseOf(start + k, tone)) * tone.amplitude);
    };
    if (PhaseOf(start + count - 1, tone) >= kQuickPhaseLimit) {
        for (int32_t k = 0; k < count; ++k) {
            out[k] = exact(k);
        }
        return;
    }
    double values[kBlock];
    for (int32_t k = 0; k < count; ++k) {
        values[k] = QuickSine(PhaseOf(start + k, tone)) * tone.amplitude;
    }
    const double error = std::fabs(tone.amplitude) * kSineError + 1e-6;
    int32_t high[kBlock];
    int32_t unsure = 0;
    for (int32_t k = 0; k < count; ++k) {
        out[k] = ToSample(values[k] - error);
        high[k] = ToSample(values[k] + error);
        unsure |= out[k] ^ high[k];
    }
    for (int32_t k = 0; unsure != 0 && k < count; ++k) {
        if (out[k] != high[k]) {
            out[k] = exact(k);
        }
    }
}

// Renders `count` (at most kBlock) sounding frames from `first` of a tone of several partials:
// the sum of sin(k phase) / k, k = 1 .. partials, times the gain. The sine and cosine of the
// phase come from the series (from libm for a frame whose phase is past the reduction's
// reach), and the partials from them by the angle-addition recurrence
// sin((k + 1) x) = 2 cos(x) sin(k x) - sin((k - 1) x), a few operations each instead of a
// sine. An error in sin(x) or cos(x) grows at most k-fold in the k-th partial, and rounding
// adds little more: 16 partials stay within 1e-11 of their true sum, far below a step of 24
// bits. Each sample comes from its frame's phase alone, whatever block the frame falls in.
ONDELIS_WIDE_VECTORS void RenderHarmonicBlock(const ToneShape& tone, int64_t first, int32_t count,
                                              int32_t* out) {
    const auto start = static_cast<double>(first);
    double sine[kBlock];
    double twice_cosine[kBlock];
    const auto quick = [&](int32_t k) {
        const Reduced reduced = Reduce(PhaseOf(start + k, tone));
        sine[k] = reduced.sign * SineSeries(reduced.r);
        twice_cosine[k] = 2 * reduced.sign * CosineSeries(reduced.r);
    };
    if (PhaseOf(start + count - 1, tone) < kQuickPhaseLimit) {
        for (int32_t k = 0; k < count; ++k) {
            quick(k);
        }
    } else {
        // Past the limit the count of half turns would not even fit Reduce's integer.
        for (int32_t k = 0; k < count; ++k) {
            const double phase = PhaseOf(start + k, tone);
            if (phase < kQuickPhaseLimit) {
                quick(k);
            } else {
                sine[k] = std::sin(phase);
                twice_cosine[k] = 2 * std::cos(phase);
            }
        }
    }
    double previous[kBlock];
    double current[kBlock];
    double sum[kBlock];
    for (int32_t k = 0; k < count; ++k) {
        previous[k] = 0;
        current[k] = sine[k];
        sum[k] = sine[k];
    }
    for (int partial = 2; partial <= tone.partials; ++partial) {
        const double weight = 1.0 / partial;
        for (int32_t k = 0; k < count; ++k) {
            const double next = twice_cosine[k] * current[k] - previous[k];
            previous[k] = current[k];
            current[k] = next;
            sum[k] += weight * next;
        }
    }
    for (int32_t k = 0; k < count; ++k) {
        out[k] = ToSample(sum[k] * tone.gain);
    }
}

// Where a stretched partial whose phase advances `step` a frame falls silent, at a zero
// crossing of its own (cut where the first's cycle closes it would stop mid-phase: a click): a
// finite tone's on its last whole cycle within the first's, a stopped one's on its first after.
double PartialEnd(const ToneShape& tone, double step) {
    const double own =
        tone.sounding == kEndless
            ? HUGE_VAL
            : std::floor(static_cast<double>(tone.sounding) * step / kTwoPi) * kTwoPi / step;
    if (tone.stopped == kEndless) {
        return own;
    }
    return std::min(own,
                    std::ceil(static_cast<double>(tone.stopped) * step / kTwoPi) * kTwoPi / step);
}

// Renders `count` (at most kBlock) sounding frames from `first` of a tone whose partials are
// stretched: partial k's phase is the first's times PartialHz(1, B, k), from phase 0 like the
// first's, so that no recurrence on the first's sine gives it; each has a sine of its own,
// and ends at PartialEnd.
ONDELIS_WIDE_VECTORS void RenderStretchedBlock(const ToneShape& tone, int64_t first, int32_t count,
                                               int32_t* out) {
    const auto start = static_cast<double>(first);
    double sum[kBlock] = {};
    for (int partial = 1; partial <= tone.partials; ++partial) {
        const double step = tone.step * PartialHz(1, tone.inharmonicity, partial);
        const double weight = 1.0 / partial;
        const double end = PartialEnd(tone, step);
        for (int32_t k = 0; k < count; ++k) {
            const double phase = (start + k) * step;
            const double sine = phase < kQuickPhaseLimit ? QuickSine(phase) : std::sin(phase);
            sum[k] += start + k < end ? weight * sine : 0.0;
        }
    }
    for (int32_t k = 0; k < count; ++k) {
        out[k] = ToSample(sum[k] * tone.gain);
    }
}

bool EndsBefore(int64_t cycles, double cycle, int32_t count) {
    return std::trunc(static_cast<double>(cycles) * cycle) < count;
}

// The magnitude of the frequency, limited to half the rate: what the generator sounds.
float SoundingFrequency(float frequency, uint32_t rate) {
    const float f = std::fabs(frequency);
    return f > rate * 0.5 ? static_cast<float>(rate * 0.5) : f;
}

// Partials at or above half the rate would fold back below it as tones of no harmonic kin;
// they are left out. The fundamental itself sounds as the pure sine does, whatever its pitch.
// A stretched partial sounds higher still: it is left out where it would fold.
int SoundingPartials(int harmonics, float frequency, uint32_t rate, double inharmonicity) {
    const int wanted = std::clamp(harmonics, 1, kMostHarmonics);
    int partials = 1;
    while (partials < wanted && PartialHz(frequency, inharmonicity, partials + 1) < rate * 0.5) {
        ++partials;
    }
    return partials;
}

// The peak of the sum of sin(k x) / k, k = 1 .. n. Its derivative, the sum of cos(k x), is
// cos((n + 1) x / 2) sin(n x / 2) / sin(x / 2), first zero at pi / (n + 1): the overshoot of
// the sawtooth's partial sums next to its jump (Gibbs's), the highest of their maxima, and
// the lowest point is the same depth at -pi / (n + 1) (a dense search over the cycle finds
// none higher, for every n up to kMostHarmonics).
double PeakOfPartials(int n) {
    const double x = kTwoPi / 2 / (n + 1);
    double sum = 0;
    for (int k = 1; k <= n; ++k) {
        sum += std::sin(k * x) / k;
    }
    return sum;
}

// Stretched partials drift through every phase against each other, so their peak is bounded
// by the sum of their amplitudes alone, and comes near it now and then.
double PeakOfStretched(int n) {
    double sum = 0;
    for (int k = 1; k <= n; ++k) {
        sum += 1.0 / k;
    }
    return sum;
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

ToneShape ShapeTone(float frequency, uint32_t rate, int64_t frames, float level, int harmonics,
                    double inharmonicity) {
    ToneShape tone;
    // NaN, infinity or a negative B would stretch no string: the partials stay whole multiples.
    tone.inharmonicity = inharmonicity > 0 && std::isfinite(inharmonicity) ? inharmonicity : 0.0;
    tone.amplitude = std::isnan(level) ? 0.0 : static_cast<double>(level) / 100.0 * kFullScale;
    const float f = SoundingFrequency(frequency, rate);
    tone.cycle = static_cast<double>(rate) / f;
    tone.step = f * kTwoPi / rate;
    tone.frames = frames;
    tone.sounding = frames > 0 ? SoundingFrames(tone.cycle, frames) : 0;
    tone.partials = SoundingPartials(harmonics, f, rate, tone.inharmonicity);
    tone.gain = tone.amplitude / (tone.inharmonicity > 0 ? PeakOfStretched(tone.partials)
                                                         : PeakOfPartials(tone.partials));
    return tone;
}

void RenderSpan(const ToneShape& tone, int64_t first, int32_t count, int32_t* samples) {
    if (count <= 0) {
        return;
    }
    const int64_t sounding_end = std::clamp<int64_t>(tone.sounding, first, first + count);
    int32_t* out = samples;
    for (int64_t i = first; i < sounding_end; i += kBlock) {
        const auto block = static_cast<int32_t>(std::min<int64_t>(kBlock, sounding_end - i));
        if (tone.partials > 1 && tone.inharmonicity > 0) {
            RenderStretchedBlock(tone, i, block, out);
        } else if (tone.partials > 1) {
            RenderHarmonicBlock(tone, i, block, out);
        } else {
            RenderBlock(tone, i, block, out);
        }
        out += block;
    }
    std::memset(out, 0, sizeof(int32_t) * static_cast<size_t>(samples + count - out));
}

void MakeTone(int32_t* samples, float frequency, uint32_t rate, int32_t count, float level,
              int harmonics) {
    RenderSpan(ShapeTone(frequency, rate, count, level, harmonics), 0, count, samples);
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

ToneShape StoppedTone(const ToneShape& tone, int64_t at) {
    ToneShape stopped = tone;
    stopped.frames = CycleEnd(tone, at);
    if (tone.partials == 1 || tone.inharmonicity == 0 || at <= 0 || at >= tone.sounding) {
        stopped.sounding = std::min(tone.sounding, stopped.frames);
        return stopped;
    }
    // Every partial sounds on to its own crossing (its own end kept, from the whole cycles the
    // tone sounds); the frames last until the latest of them.
    stopped.stopped = at;
    for (int partial = 1; partial <= tone.partials; ++partial) {
        const double end =
            PartialEnd(stopped, tone.step * PartialHz(1, tone.inharmonicity, partial));
        stopped.frames = std::max(stopped.frames, static_cast<int64_t>(std::ceil(end)));
    }
    stopped.frames = std::min(stopped.frames, tone.frames);
    return stopped;
}

void NUM24_TO_CHAR(const int32_t* samples, unsigned char* packed, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const auto v = static_cast<uint32_t>(samples[i]);
        packed[3 * static_cast<size_t>(i)] = static_cast<unsigned char>(v & 0xFF);
        packed[3 * static_cast<size_t>(i) + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
        packed[3 * static_cast<size_t>(i) + 2] = static_cast<unsigned char>((v >> 16) & 0xFF);
    }
}
