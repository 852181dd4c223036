// `ondelis --piano FILE NOTE ...` and the menu under --piano: a key sounds its target from the
// piano's tuning curve, its partials stretched by its string's stiffness with --harmonics.
#include "support.h"

#include "synth/piano_curve.h"
#include "synth/synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

// A bass, a middle and a treble key of a typical piano.
const std::vector<MeasuredKey> kPiano = {
    {1, 27.5, 2.5e-4, 20}, {40, 261.6, 4e-4, 12}, {64, 1046, 3.4e-3, 4}, {88, 4186, 2e-2, 2}};

std::vector<CurveKey> Curve(double a4 = 440, const OctaveRules& rules = {}) {
    std::ofstream("piano.txt") << FormatPianoFile(kPiano);
    std::string why;
    return PianoCurve(kPiano, rules, a4, why);
}

// The tone the program renders for a key's target, `frames` long, packed as the device gets
// its channels.
std::vector<unsigned char> KeyTone(const CurveKey& key, int32_t frames, int harmonics = 1) {
    const ToneShape tone =
        ShapeTone(static_cast<float>(key.f1), 44100, frames, 25, harmonics, key.b);
    std::vector<int32_t> samples(static_cast<size_t>(frames));
    RenderSpan(tone, 0, frames, samples.data());
    std::vector<unsigned char> packed(samples.size() * 3);
    NUM24_TO_CHAR(samples.data(), packed.data(), frames);
    return packed;
}

// The left channel of a stereo S24_3LE recording.
std::vector<double> LeftChannel(const std::string& stereo) {
    std::vector<double> samples;
    for (size_t i = 0; i + 6 <= stereo.size(); i += 6) {
        const auto byte = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<unsigned char>(stereo[i + at]));
        };
        const uint32_t value = byte(0) | byte(1) << 8 | byte(2) << 16;
        samples.push_back(static_cast<double>(static_cast<int32_t>(value << 8) >> 8));
    }
    return samples;
}

// The amplitude of the component of `hz` in the samples (a DFT at that frequency).
double AmplitudeAt(const std::vector<double>& samples, double hz) {
    double re = 0;
    double im = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double phase = 2 * std::numbers::pi * hz * static_cast<double>(i) / 44100;
        re += samples[i] * std::cos(phase);
        im += samples[i] * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / static_cast<double>(samples.size());
}

std::string Hz(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", hz);
    return text;
}

} // namespace

TEST(PianoPlay, DirectModePlaysTheKeysTargetFromTheCurve) {
    ScratchDir dir;
    // Key names in either case, G1 the key and not the guitar's string, a note of direct mode
    // ("c" is C5) and a string preset (violin4 is G3), at two pitches of A and other octaves.
    const struct {
        std::vector<std::string> options;
        std::string word;
        int key;
    } rows[] = {{{}, "a0", 1},
                {{}, "A0", 1},
                {{}, "G1", 11},
                {{}, "C8", 88},
                {{}, "c", 52},
                {{}, "violin4", 35},
                {{"--a4", "442"}, "a4", 49},
                {{"--octaves", "4:2,4:2,4:2"}, "bb1", 14}};
    for (const auto& row : rows) {
        const std::vector<CurveKey> curve =
            Curve(row.options.empty() || row.options[0] != "--a4" ? 440 : 442, [&] {
                OctaveRules rules;
                std::string why;
                if (!row.options.empty() && row.options[0] == "--octaves") {
                    ParseOctaves(row.options[1], rules, why);
                }
                return rules;
            }());
        ASSERT_EQ(curve.size(), 88u);
        const CurveKey& key = curve[static_cast<size_t>(row.key - 1)];
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {"--piano", "piano.txt", row.word, "0.5", "file:FILE=o.raw"});
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << row.word << run.err;
        EXPECT_EQ(run.out,
                  Summary("file:FILE=o.raw", Hz(static_cast<float>(key.f1)), "0.50", "25.00"))
            << row.word;
        const std::string played = ReadBytes("o.raw");
        EXPECT_EQ(FirstStereoMismatch(played, KeyTone(key, 22050)), -1) << row.word;
        // Measured: the target sounds, and the equal-tempered pitch, cents away, does not.
        const std::vector<double> left = LeftChannel(played);
        const double et = 440 * std::exp2((row.key - 49) / 12.0);
        EXPECT_GT(AmplitudeAt(left, key.f1), 2097152 * 0.9) << row.word;
        // Half a second tells apart pitches 2 Hz apart: the lowest keys' targets are closer.
        if (std::fabs(key.f1 - et) > 4) {
            EXPECT_LT(AmplitudeAt(left, et), AmplitudeAt(left, key.f1) * 0.9) << row.word;
        }
    }
}

TEST(PianoPlay, HarmonicsAreStretchedByTheKeysStiffness) {
    ScratchDir dir;
    const std::vector<CurveKey> curve = Curve();
    const CurveKey& key = curve[76 - 1]; // C7: stiff enough to stretch its partials far
    RunResult run =
        RunOndelis({"--harmonics", "8", "--piano", "piano.txt", "-o", "k.wav", "c7", "0.5"});
    EXPECT_EQ(run.status, 0) << run.err;
    // The file holds the mono samples the device gets, after its header.
    const std::string wav = ReadBytes("k.wav");
    const std::vector<unsigned char> mono = KeyTone(key, 22050, 8);
    ASSERT_GE(wav.size(), mono.size());
    EXPECT_TRUE(
        std::equal(mono.begin(), mono.end(), wav.end() - static_cast<long>(mono.size()),
                   [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }));
    run = RunOndelis({"--harmonics", "8", "--piano", "piano.txt", "c7", "0.5", "file:FILE=k.raw"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string played = ReadBytes("k.raw");
    EXPECT_EQ(FirstStereoMismatch(played, KeyTone(key, 22050, 8)), -1);
    const std::vector<double> left = LeftChannel(played);
    // The partials that sound below half the rate, each at 1/k of the first, their sum's peak
    // the level.
    int sounding = 0;
    double weights = 0;
    for (int k = 1; k <= 8 && PartialHz(key.f1, key.b, k) < 22050; ++k) {
        sounding = k;
        weights += 1.0 / k;
    }
    ASSERT_GE(sounding, 6);
    for (int k = 2; k <= sounding; ++k) {
        const double at = AmplitudeAt(left, PartialHz(key.f1, key.b, k));
        EXPECT_NEAR(at, 2097152 / weights / k, 2097152 / weights / k * 0.03) << "partial " << k;
        EXPECT_LT(AmplitudeAt(left, k * key.f1), at * 0.1) << "partial " << k;
    }
}

TEST(PianoPlay, TheMenusNotesPlayTheKeysTargets) {
    ScratchDir dir;
    const std::vector<CurveKey> curve = Curve();
    // A key name (G1 the key), a note at the menu's octave offset, cents above a target, and a
    // frequency in Hz, which stays as given.
    const struct {
        std::string words;
        int key;
        double cents;
    } rows[] = {
        {"a0", 1, 0}, {"G1", 11, 0}, {"o -4 c", 4, 0}, {"cn 5 c8", 88, 5}, {"o 2 e", 80, 0}};
    for (const auto& row : rows) {
        const CurveKey& key = curve[static_cast<size_t>(row.key - 1)];
        const RunResult run =
            RunOndelis({"--piano", "piano.txt"}, "s file:FILE=m.raw l 0.5 " + row.words + " x");
        EXPECT_EQ(run.status, 0) << row.words << run.err;
        const float hz = static_cast<float>(key.f1 * std::exp2(row.cents / 1200));
        EXPECT_TRUE(Has(run.out, "Frequency = " + Hz(hz) + " Hz\n")) << row.words << run.out;
        const std::vector<double> left = LeftChannel(ReadBytes("m.raw"));
        EXPECT_GT(AmplitudeAt(left, hz), 2097152 * 0.9) << row.words;
    }
    const RunResult hertz = RunOndelis({"--piano", "piano.txt", "--harmonics", "4"},
                                       "s file:FILE=z.raw l 0.5 z 1000 p x");
    EXPECT_EQ(hertz.status, 0) << hertz.err;
    const std::vector<double> left = LeftChannel(ReadBytes("z.raw"));
    EXPECT_GT(AmplitudeAt(left, 4000), 2097152 / 1.9 / 4 * 0.9);

    // A note off the keyboard plays nothing and says so.
    const RunResult off = RunOndelis({"--piano", "piano.txt"}, "s file:FILE=n.raw l 0.5 o 4 d x");
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_TRUE(Has(off.out, "That note is no key of the piano: its keys are A0 to C8\n"));
    EXPECT_FALSE(std::filesystem::exists("n.raw"));
}

TEST(PianoPlay, RefusesWhatPlaysNoKey) {
    ScratchDir dir;
    Curve();
    std::ofstream("two.txt") << FormatPianoFile({kPiano[0], kPiano[1]});
    const struct {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"--piano", "two.txt", "a0"},
         "two.txt: a curve needs a key in the bass, the middle and the treble: measure a key in "
         "the treble (C6 to C8) too\n"},
        {{"--piano", "none.txt", "a4"},
         "none.txt: cannot read the piano file: No such file or directory\n"},
        {{"--piano", "piano.txt", "c9"}, "'c9' is no key of the piano: its keys are A0 to C8\n"},
        {{"--piano", "piano.txt", "g#0"}, "'g#0' is no key of the piano: its keys are A0 to C8\n"},
        {{"--piano", "piano.txt", "440"},
         "--piano plays a key's target: give a key A0 to C8 (a0, C#4, Bb3), not '440'\n"},
        {{"--temperament", "werckmeister3", "--piano", "piano.txt", "a4"},
         "--piano plays its keys' targets from its tuning curve: give it no --temperament or "
         "--scale\n"},
        {{"--piano", "piano.txt", "--scale", ONDELIS_TEST_DATA "/just.scl", "a4"},
         "--piano plays its keys' targets from its tuning curve: give it no --temperament or "
         "--scale\n"},
        {{"--piano", "piano.txt", "h4"},
         "--piano plays a key's target: give a key A0 to C8 (a0, C#4, Bb3), not 'h4'\n"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"0.5", "file:FILE=o.raw"});
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 1) << row.err;
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.out, "") << row.err;
    }
    // Nor does the menu start on a file that lays no curve.
    const RunResult menu = RunOndelis({"--piano", "two.txt"}, "s file:FILE=o.raw l 0.5 a x");
    EXPECT_EQ(menu.status, 1);
    EXPECT_EQ(menu.err, rows[0].err);
    EXPECT_EQ(menu.out, "");
    EXPECT_FALSE(std::filesystem::exists("o.raw"));
}
