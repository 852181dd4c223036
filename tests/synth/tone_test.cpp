#include "synth/piano.h"
#include "synth/synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int32_t kEightSeconds = 44100 * 8;

std::vector<int32_t> Tone(float hz, int32_t count = kEightSeconds, float level = 25,
                          uint32_t rate = 44100, int harmonics = 1) {
    std::vector<int32_t> samples(static_cast<size_t>(count), 12345);
    MakeTone(samples.data(), hz, rate, count, level, harmonics);
    return samples;
}

// Index just past the last sample that is not zero.
size_t SoundingLength(const std::vector<int32_t>& samples) {
    auto last = std::find_if(samples.rbegin(), samples.rend(), [](int32_t v) { return v != 0; });
    return static_cast<size_t>(samples.rend() - last);
}

bool AllZero(const std::vector<int32_t>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](int32_t v) { return v == 0; });
}

// The cycle count as the plain upward search finds it.
int64_t CountCyclesUpward(double cycle, int32_t count) {
    int64_t k = 0;
    while (std::trunc(static_cast<double>(k) * cycle) < count) {
        ++k;
    }
    return k - 1;
}

TEST(MakeTone, WholeCyclesThenSilence) {
    // 441 Hz: cycles of exactly 100 samples would fill 8 s exactly; the last one is left out.
    EXPECT_EQ(WholeCycles(100.0, kEightSeconds), 3527);
    EXPECT_EQ(SoundingLength(Tone(441)), static_cast<size_t>(kEightSeconds - 100));

    const float low_e = 82.40689f;
    EXPECT_EQ(WholeCycles(44100.0 / low_e, kEightSeconds), 659);
    EXPECT_EQ(SoundingLength(Tone(low_e)), static_cast<size_t>(kEightSeconds - 137));
    EXPECT_EQ(SoundingLength(Tone(low_e, kEightSeconds, 25, 44100, 8)),
              static_cast<size_t>(kEightSeconds - 137));

    EXPECT_EQ(SoundingLength(Tone(440)), static_cast<size_t>(kEightSeconds - 101));
}

TEST(MakeTone, CycleCountMatchesTheUpwardSearch) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> hz(0.01f, 22050.0f);
    std::uniform_int_distribution<int32_t> count(1, 200000);
    for (int trial = 0; trial < 2000; ++trial) {
        const float f = hz(random);
        const int32_t n = count(random);
        const double cycle = 44100.0 / f;
        ASSERT_EQ(WholeCycles(cycle, n), CountCyclesUpward(cycle, n)) << f << " Hz, " << n;
    }
    for (int32_t n : {1, 2, 3, 99, 100, 101, 200, 201}) {
        EXPECT_EQ(WholeCycles(100.0, n), CountCyclesUpward(100.0, n)) << n;
        EXPECT_EQ(WholeCycles(2.0, n), CountCyclesUpward(2.0, n)) << n;
    }
}

TEST(MakeTone, SamplesFollowThePhaseOfTheIndex) {
    // Reference values from an independent computation of trunc(sin(i * w) * A).
    const std::vector<int32_t> tone = Tone(440);
    EXPECT_EQ(tone[0], 0);
    EXPECT_EQ(tone[1], 131383);
    EXPECT_EQ(tone[25], 2097138);
    EXPECT_EQ(tone[1000], -297783);
    EXPECT_EQ(tone[123457], -2079742);
    EXPECT_EQ(tone[352698], -232579);
    EXPECT_EQ(Tone(-440), tone); // a negative frequency sounds as its magnitude
}

TEST(RenderSpan, SamplesAreTruncatedLibmSinesBitForBit) {
    // The generator's definition, sample by sample, against its rendering: quiet and full
    // (clamped) levels, the highest and lowest pitches, and spans late in endless tones,
    // one of them across the phase where the generator leaves its own sine for libm's. One
    // partial is the pure sine, and so are harmonics whose overtones all reach half the rate.
    struct Row {
        float hz;
        uint32_t rate;
        float level;
        int64_t first;
        int harmonics = 1;
    };
    const Row rows[] = {{440, 44100, 25, 0},
                        {82.41f, 44100, 100, 0},
                        {22050, 44100, 50, 0, 16},
                        {0.75f, 8000, 25, 0},
                        {1e-3f, 44100, 100, 0},
                        {311.13f, 48000, 7.5f, int64_t{1} << 30},
                        {19999, 44100, 25, 1183800000, 8},
                        {4186, 96000, 99.9f, int64_t{3} << 31}};
    constexpr int32_t kCount = 200000;
    std::vector<int32_t> rendered(kCount);
    for (const Row& row : rows) {
        const ToneShape tone = ShapeTone(row.hz, row.rate, kEndless, row.level, row.harmonics);
        RenderSpan(tone, row.first, kCount, rendered.data());
        for (int32_t k = 0; k < kCount; ++k) {
            const double value =
                std::sin(static_cast<double>(row.first + k) * tone.step) * tone.amplitude;
            const auto expected = static_cast<int32_t>(std::clamp(value, -8388608.0, 8388607.0));
            ASSERT_EQ(rendered[k], expected) << row.hz << " Hz, frame " << row.first + k;
        }
    }
}

TEST(MakeTone, AboveHalfTheRateIsGeneratedAtHalfTheRate) {
    EXPECT_TRUE(AllZero(Tone(30000)));
    EXPECT_TRUE(AllZero(Tone(std::numeric_limits<float>::infinity())));
}

TEST(MakeTone, LevelSetsTheLinearAmplitude) {
    const std::vector<int32_t> full = Tone(441, 44100, 100);
    EXPECT_EQ(*std::max_element(full.begin(), full.end()), 8388607);
    EXPECT_EQ(*std::min_element(full.begin(), full.end()), -8388608);
    EXPECT_EQ(full[25], 8388607); // sin = 1.0 exactly, once per cycle
    EXPECT_EQ(full[125], 8388607);

    const std::vector<int32_t> quarter = Tone(441, 44100, 25);
    EXPECT_EQ(*std::max_element(quarter.begin(), quarter.end()), 2097152);
    EXPECT_TRUE(AllZero(Tone(440, 44100, 0)));
    EXPECT_TRUE(AllZero(Tone(440, 44100, std::numeric_limits<float>::quiet_NaN())));
}

// Amplitude of the component at `hz` in samples[0 .. count-1], by a plain DFT.
double AmplitudeAt(const std::vector<int32_t>& samples, size_t count, double hz, double rate) {
    double re = 0, im = 0;
    for (size_t i = 0; i < count; ++i) {
        const double phase = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        re += samples[i] * std::cos(phase);
        im += samples[i] * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / static_cast<double>(count);
}

TEST(MakeTone, HarmonicsArePartialsAtOneOverKWhosePeakIsTheLevel) {
    // B4 (the low E of a bass), a tone whose partials from 25 kHz up are left out, and others.
    // `sounding` partials lie below half the rate; `peak` is that of the sum of sin(k x) / k
    // over them, at x = pi / (sounding + 1).
    const struct {
        float hz;
        int harmonics;
        int sounding;
        double peak;
    } rows[] = {{41.2034f, 8, 8, 1.6741694582},
                {5000, 8, 4, 1.5272786623},
                {440, 16, 16, 1.7586311856},
                {82.41f, 2, 2, 1.2990381057}};
    for (const auto& row : rows) {
        const std::vector<int32_t> tone = Tone(row.hz, 88200, 25, 44100, row.harmonics);
        EXPECT_LE(*std::max_element(tone.begin(), tone.end()), 2097152) << row.hz;
        EXPECT_GE(*std::max_element(tone.begin(), tone.end()), 2097152 - 20) << row.hz;
        EXPECT_GE(*std::min_element(tone.begin(), tone.end()), -2097152) << row.hz;
        const size_t sounding = SoundingLength(tone);
        for (int k = 1; k <= 8; ++k) {
            // A partial past half the rate would sound folded back below it.
            const double hz = std::fmod(k * static_cast<double>(row.hz), 44100);
            const double expected = k <= row.sounding ? 2097152 / row.peak / k : 0;
            EXPECT_NEAR(AmplitudeAt(tone, sounding, std::min(hz, 44100 - hz), 44100), expected, 500)
                << row.hz << " Hz, partial " << k;
        }
    }
}

TEST(RenderSpan, HarmonicsPieceByPieceAreTheWholeToneAndTheSumWithinAStep) {
    // Late in an endless tone too, across the phase where the sine of a frame comes from libm.
    // There k times the phase, as the sum below rounds it, is off by up to 1e-6 rad, which
    // moves the sum by up to 0.4 step: one step either way still holds. Far past it, only
    // the pieces are compared.
    const ToneShape tone = ShapeTone(2000, 44100, kEndless, 10, 8);
    for (int64_t first : {int64_t{0}, int64_t{11838003609} - 3000, int64_t{1} << 40}) {
        std::vector<int32_t> whole(6000);
        std::vector<int32_t> piece(whole.size());
        RenderSpan(tone, first, 6000, whole.data());
        for (int32_t at = 0, count = 1; at < 6000; at += count, count = count * 3 % 97 + 1) {
            count = std::min(count, 6000 - at);
            RenderSpan(tone, first + at, count, piece.data() + at);
        }
        EXPECT_EQ(piece, whole) << first;
        for (size_t i = 0; i < whole.size() && first < int64_t{1} << 40; ++i) {
            double sum = 0;
            for (int k = 1; k <= 8; ++k) {
                sum += std::sin(k * (static_cast<double>(first + i) * tone.step)) / k;
            }
            ASSERT_NEAR(whole[i], std::trunc(sum * tone.gain), 1) << first + i;
        }
    }
}

TEST(MakeTone, NoCycleFitsGivesSilence) {
    EXPECT_TRUE(AllZero(Tone(1, 22050))); // one cycle is longer than the buffer
    EXPECT_TRUE(AllZero(Tone(0)));        // an endless cycle
    EXPECT_TRUE(AllZero(Tone(1e-30f)));
    EXPECT_TRUE(AllZero(Tone(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_TRUE(AllZero(Tone(440, 1000, 25, 0))); // no sample rate at all
}

TEST(MakeTone, NonPositiveCountLeavesTheBufferAlone) {
    std::array<int32_t, 4> buffer{7, 7, 7, 7};
    MakeTone(buffer.data(), 440, 44100, 0, 25);
    MakeTone(buffer.data(), 440, 44100, -5, 25);
    EXPECT_EQ(buffer, (std::array<int32_t, 4>{7, 7, 7, 7}));
}

TEST(RenderSpan, EndlessToneIsTheFiniteOneWithoutItsSilence) {
    const ToneShape endless = ShapeTone(440, 44100, kEndless, 25);
    std::vector<int32_t> start(44100);
    RenderSpan(endless, 0, 44100, start.data());
    const std::vector<int32_t> finite = Tone(440, 44100);
    const size_t sounding = SoundingLength(finite);
    EXPECT_TRUE(std::equal(finite.begin(), finite.begin() + sounding, start.begin()));
    EXPECT_EQ(SoundingLength(start), start.size()); // no silent tail
    // Past the frame counts of finite tones, a stop still closes the cycle in progress.
    const int64_t at = int64_t{3} << 31;
    EXPECT_GE(CycleEnd(endless, at), at);
    EXPECT_LT(CycleEnd(endless, at), at + 101);
    // A cycle that not even the longest finite tone holds is silence, and a stop is at once.
    for (float hz : {0.0f, 1e-5f, std::numeric_limits<float>::quiet_NaN()}) {
        const ToneShape none = ShapeTone(hz, 44100, kEndless, 25);
        RenderSpan(none, 1000, 44100, start.data());
        EXPECT_TRUE(AllZero(start)) << hz;
        EXPECT_EQ(CycleEnd(none, 5000), 5000) << hz;
    }
}

TEST(Num24ToChar, PacksLittleEndianTwosComplement) {
    const int32_t samples[] = {8388607, -1, -8388608, 1};
    unsigned char packed[12] = {};
    NUM24_TO_CHAR(samples, packed, 4);
    const unsigned char expected[] = {0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF,
                                      0x00, 0x00, 0x80, 0x01, 0x00, 0x00};
    EXPECT_TRUE(std::equal(packed, packed + 12, expected));

    unsigned char untouched[3] = {9, 9, 9};
    NUM24_TO_CHAR(samples, untouched, 0);
    EXPECT_EQ(untouched[0], 9);
}

TEST(CycleEnd, StopsWhereTheRisingZeroCrossingClosesTheCycleInProgress) {
    constexpr int32_t kCount = 44100;
    for (auto [hz, harmonics] : {std::pair{440.0f, 1},
                                 {82.40689f, 1},
                                 {1000.0f, 1},
                                 {19999.0f, 1},
                                 {7.3f, 1},
                                 {41.2034f, 8},
                                 {1000.0f, 16}}) {
        std::vector<int32_t> s(kCount + 1);
        MakeTone(s.data(), hz, 44100, kCount, 100, harmonics);
        int32_t sounding = kCount;
        while (sounding > 0 && s[static_cast<size_t>(sounding - 1)] == 0) {
            --sounding;
        }
        const double cycle = 44100.0 / hz;
        const ToneShape tone = ShapeTone(hz, 44100, kCount, 100, harmonics);
        EXPECT_EQ(CycleEnd(tone, 0), 0) << hz;
        for (int32_t at = 1; at < kCount; at += 331) {
            const int64_t end = CycleEnd(tone, at);
            if (at >= sounding) {
                EXPECT_EQ(end, at) << hz; // silence already: stop at once
                continue;
            }
            EXPECT_EQ(CycleEnd(ShapeTone(hz, 44100, kEndless, 100, harmonics), at), end) << hz;
            EXPECT_GE(end, at) << hz << " Hz from " << at;
            EXPECT_LT(end - at, cycle) << hz << " Hz from " << at;
            if (end == sounding) {
                continue; // the last cycle closes where the tone itself ends
            }
            EXPECT_LE(s[static_cast<size_t>(end)], 0) << hz << " Hz from " << at;
            EXPECT_GT(s[static_cast<size_t>(end) + 1], 0) << hz << " Hz from " << at;
        }
    }
    EXPECT_EQ(CycleEnd(ShapeTone(0, 44100, kCount, 25), 500), 500); // no cycle: nothing to wait for
}

} // namespace

namespace {

// The samples of a tone of `b`, its sounding frames only.
std::vector<int32_t> SoundingFrames(const ToneShape& tone) {
    std::vector<int32_t> samples(static_cast<size_t>(tone.sounding));
    RenderSpan(tone, 0, static_cast<int32_t>(samples.size()), samples.data());
    return samples;
}

} // namespace

TEST(ShapeTone, StretchedPartialsSoundWhereAStiffStringsDo) {
    // A tenor key, a treble key whose upper partials fold and are left out, and a stiff bass
    // one. Four seconds resolve a quarter of a hertz; every partial from the 2nd is stretched
    // a few hertz or more off its whole multiple, where next to nothing may sound.
    const struct {
        float hz;
        double b;
        int harmonics;
    } rows[] = {{220, 4e-3, 8}, {1760, 3e-3, 16}, {55, 2e-2, 8}};
    for (const auto& row : rows) {
        const ToneShape tone = ShapeTone(row.hz, 44100, 4 * 44100, 25, row.harmonics, row.b);
        const std::vector<int32_t> samples = SoundingFrames(tone);
        // The whole cycles it holds are the first partial's, as the harmonic tone's.
        EXPECT_EQ(tone.sounding, ShapeTone(row.hz, 44100, 4 * 44100, 25).sounding) << row.hz;
        EXPECT_LE(*std::max_element(samples.begin(), samples.end()), 2097152) << row.hz;
        EXPECT_GE(*std::min_element(samples.begin(), samples.end()), -2097152) << row.hz;
        double weights = 0;
        int sounding = 0;
        for (int k = 1; k <= row.harmonics && PartialHz(row.hz, row.b, k) < 22050; ++k) {
            weights += 1.0 / k;
            sounding = k;
        }
        ASSERT_EQ(tone.partials, sounding) << row.hz;
        for (int k = 1; k <= sounding; ++k) {
            const double expected = 2097152 / weights / k;
            const double stretched = PartialHz(row.hz, row.b, k);
            EXPECT_NEAR(AmplitudeAt(samples, samples.size(), stretched, 44100), expected,
                        expected * 0.02)
                << row.hz << " Hz, partial " << k;
            if (k > 1) {
                EXPECT_LT(AmplitudeAt(samples, samples.size(), k * row.hz, 44100), expected * 0.1)
                    << row.hz << " Hz, partial " << k << " whole";
            }
        }
    }
}

// Click-free: each stretched partial ends on a whole cycle of its own, so the last frames of a
// finite tone come down to silence as the pure sine's do, with no step a partial cut off
// mid-cycle would leave (up to its own amplitude).
TEST(ShapeTone, AStretchedToneEndsAtAZeroCrossingInEveryPartial) {
    const struct {
        float hz;
        double b;
        int harmonics;
        double seconds;
    } rows[] = {{27.5, 2.5e-4, 2, 2.3}, {55, 2e-2, 8, 1}, {110, 4e-3, 6, 1.7}, {36.7, 1e-3, 16, 3}};
    for (const auto& row : rows) {
        const ToneShape tone = ShapeTone(row.hz, 44100, static_cast<int64_t>(row.seconds * 44100),
                                         25, row.harmonics, row.b);
        const std::vector<int32_t> samples = SoundingFrames(tone);
        ASSERT_GT(samples.size(), 2u);
        // Each partial's last frame lies within a frame's phase of its zero crossing: the most
        // the tone's last frame can hold is the sum of those small steps.
        double most = 0;
        for (int k = 1; k <= tone.partials; ++k) {
            most += tone.gain / k * 2 * std::numbers::pi * PartialHz(row.hz, row.b, k) / 44100;
        }
        EXPECT_LE(std::abs(samples.back()), most + 1) << row.hz;
        EXPECT_LT(most, 0.1 * tone.amplitude) << row.hz; // a bound that means something
    }
}

TEST(ShapeTone, NoStiffnessIsTheHarmonicToneByteForByte) {
    // Whatever stretches no string, 0 or a value that is no stiffness, renders every tone as
    // before: the pure sine, partials, folded ones, a cycle longer than the tone, and endless.
    const double none[] = {0.0, -0.0, -1e-3, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()};
    const struct {
        float hz;
        int32_t frames;
        float level;
        int harmonics;
    } rows[] = {{440, 44100, 25, 1},    {41.2034f, 30000, 100, 8}, {5000, 20000, 50, 16},
                {82.41f, 44100, 10, 2}, {3, 100, 25, 4},           {27.5f, 22050, 80, 16}};
    for (const auto& row : rows) {
        const std::vector<int32_t> before =
            Tone(row.hz, row.frames, row.level, 44100, row.harmonics);
        for (const double b : none) {
            const ToneShape tone =
                ShapeTone(row.hz, 44100, row.frames, row.level, row.harmonics, b);
            EXPECT_EQ(tone.inharmonicity, 0.0) << b;
            std::vector<int32_t> samples(static_cast<size_t>(row.frames));
            RenderSpan(tone, 0, row.frames, samples.data());
            EXPECT_EQ(samples, before) << row.hz << " Hz, B " << b;
            std::vector<int32_t> late(1000);
            std::vector<int32_t> late_before(late.size());
            RenderSpan(ShapeTone(row.hz, 44100, kEndless, row.level, row.harmonics, b),
                       int64_t{1} << 34, 1000, late.data());
            RenderSpan(ShapeTone(row.hz, 44100, kEndless, row.level, row.harmonics),
                       int64_t{1} << 34, 1000, late_before.data());
            EXPECT_EQ(late, late_before) << row.hz << " Hz, B " << b;
            // So far in that every sine comes from libm, the harmonic renderer is plain to
            // follow: sin and cos of the phase, the angle-addition recurrence, the sum of
            // sin(k x) / k times the gain, truncated. Its samples, bit for bit.
            const ToneShape endless =
                ShapeTone(row.hz, 44100, kEndless, row.level, row.harmonics, b);
            constexpr int64_t kFar = int64_t{1} << 40;
            RenderSpan(endless, kFar, 1000, late.data());
            for (int32_t i = 0; i < 1000; ++i) {
                const double phase = static_cast<double>(kFar + i) * endless.step;
                double previous = 0;
                double current = std::sin(phase);
                double sum = current;
                for (int k = 2; k <= endless.partials; ++k) {
                    const double next = 2 * std::cos(phase) * current - previous;
                    previous = current;
                    current = next;
                    sum += 1.0 / k * next;
                }
                const double value =
                    endless.partials > 1 ? sum * endless.gain : sum * endless.amplitude;
                ASSERT_EQ(late[static_cast<size_t>(i)],
                          static_cast<int32_t>(std::clamp(value, -8388608.0, 8388607.0)))
                    << row.hz << " Hz, B " << b << ", frame " << i;
            }
        }
    }
}
