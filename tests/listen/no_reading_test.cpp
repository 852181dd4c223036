#include "listen/listener.h"
#include "sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace listen_test;

// What the listener made of a sound: its readings, why each hop without one gave none, and the
// confidence of the partials it measured at each hop's end.
struct Heard {
    std::vector<PitchReading> readings;
    std::vector<NoReading> whys;
    std::vector<double> confidences;
};

Heard Hear(const std::vector<float>& samples) {
    Heard heard;
    Listener listener = NewListener(kRate);
    const size_t hop = ListenerHop(listener);
    size_t used = 0;
    while (used < samples.size()) {
        used += FeedListener(listener, std::span<const float>(samples).subspan(used));
        const auto reading = ReadListener(listener);
        if (reading) {
            heard.readings.push_back(*reading);
        }
        if (used % hop != 0) {
            continue; // a point between a young note's hops: no hop's end
        }
        heard.whys.push_back(ListenerWhyNone(listener));
        heard.confidences.push_back(ListenerLastConfidence(listener));
    }
    return heard;
}

size_t Count(const Heard& heard, NoReading why) {
    return static_cast<size_t>(std::count(heard.whys.begin(), heard.whys.end(), why));
}

std::string Names(const Heard& heard) {
    std::string names;
    for (NoReading why : heard.whys) {
        names += std::string(NoReadingName(why)) + ", ";
    }
    return names;
}

std::vector<float> WhiteNoise(double seconds, double rms, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, rms);
    return Sound(seconds, [&](double) { return noise(random); });
}

// A tone with white noise of the same power (0 dB).
std::vector<float> InEqualNoise(double hz, double seconds, unsigned seed) {
    const double amplitude = 0.3;
    auto sound = WhiteNoise(seconds, amplitude / std::sqrt(2.0), seed);
    const auto tone = Sound(seconds, [&](double t) { return amplitude * Sine(hz, t); });
    for (size_t i = 0; i < sound.size(); ++i) {
        sound[i] += tone[i];
    }
    return sound;
}

TEST(NoReading, EachSoundSaysWhyItGivesNone) {
    const struct {
        const char* sound;
        std::vector<float> samples;
        NoReading why; // heard at one hop at least
        bool reads;    // whether the sound reads at other hops
    } table[] = {
        {"silence", std::vector<float>(kRate / 2, 0.0f), NoReading::Silent, false},
        {"white noise", WhiteNoise(0.5, 0.2, 1), NoReading::NoPeriod, false},
        {"a sine's first hop", Sound(0.5, [](double t) { return 0.3 * Sine(440, t); }),
         NoReading::Disagree, true},
        {"E1 before its frames hold three periods",
         Sound(0.5, [](double t) { return 0.5 * Sine(41.2, t); }), NoReading::TooShort, true},
        {"A3 and E4 at once",
         Sound(0.5, [](double t) { return 0.3 * (Sine(220, t) + Sine(330, t)); }),
         NoReading::NotOneNote, false},
        {"6 kHz", Sound(0.5, [](double t) { return 0.3 * Sine(6000, t); }), NoReading::TooHigh,
         false},
        {"A3 to E4 without a pause",
         Sound(0.8, [](double t) { return 0.3 * Sine(t < 0.4 ? 220 : 330, t); }),
         NoReading::Changing, true},
        {"A3 in white noise at 0 dB", InEqualNoise(220, 0.5, 2), NoReading::Unsure, true},
    };
    for (const auto& row : table) {
        const Heard heard = Hear(row.samples);
        EXPECT_GE(Count(heard, row.why), 1u) << row.sound << ": " << Names(heard);
        EXPECT_EQ(heard.readings.empty(), !row.reads) << row.sound;
        // A hop says None exactly where it gave a reading.
        const auto at_hops = std::count_if(heard.readings.begin(), heard.readings.end(),
                                           [](const PitchReading& r) { return !r.between_hops; });
        EXPECT_EQ(Count(heard, NoReading::None), static_cast<size_t>(at_hops))
            << row.sound << ": " << Names(heard);
    }
}

TEST(NoReading, EveryReasonHasANameOfItsOwn) {
    std::set<std::string> names;
    for (int why = static_cast<int>(NoReading::None); why <= static_cast<int>(NoReading::Unsure);
         ++why) {
        const std::string name = NoReadingName(static_cast<NoReading>(why));
        EXPECT_FALSE(name.empty() || name == "?") << why;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(NoReading::Unsure) + 1);
}

// The confidence is the share of the frame's power in the partials' lobes: near 1 for a clean
// tone, about half in noise of the tone's power, and never above 1, though the lobes of a low
// note's partials overlap while its frames hold few periods.
TEST(Confidence, IsTheShareOfThePowerInThePartialsAndNeverAboveOne) {
    const struct {
        const char* sound;
        std::vector<float> samples;
        double least, most; // of the mean over the hops that measured partials
    } table[] = {
        {"A4", Sound(0.5, [](double t) { return 0.3 * Sine(440, t); }), 0.99, 1},
        {"A3 in white noise at 0 dB", InEqualNoise(220, 0.5, 2), 0.4, 0.7},
        {"A0's thirty partials", Sound(0.6, [](double t) { return Partials(27.5, t, 1, 30, 0.3); }),
         0.9, 1},
        {"B0's partials from the second",
         Sound(0.6, [](double t) { return Partials(30.87, t, 2, 30, 0.3); }), 0.9, 1},
        {"E1, stiff", Sound(0.6, [](double t) { return Partials(41.2, t, 1, 24, 0.3, 3e-4); }), 0.9,
         1},
        // A bright pluck's partials go on past the 24 looked for: theirs, not another sound's.
        {"A1 as loud to its sixtieth partial",
         Sound(0.6,
               [](double t) {
                   double x = 0;
                   for (int k = 1; k <= 60; ++k) {
                       x += 0.01 * Sine(55.0 * k, t, k);
                   }
                   return x;
               }),
         0.9, 1},
    };
    for (const auto& row : table) {
        const Heard heard = Hear(row.samples);
        ASSERT_FALSE(heard.readings.empty()) << row.sound;
        for (const PitchReading& r : heard.readings) {
            EXPECT_GE(r.confidence, 0) << row.sound << " at " << r.time;
            EXPECT_LE(r.confidence, 1) << row.sound << " at " << r.time;
        }
        double sum = 0;
        size_t measured = 0;
        for (double confidence : heard.confidences) {
            EXPECT_LE(confidence, 1) << row.sound;
            sum += confidence;
            measured += confidence > 0 ? 1 : 0;
        }
        ASSERT_GT(measured, 0u) << row.sound;
        EXPECT_GE(sum / static_cast<double>(measured), row.least) << row.sound;
        EXPECT_LE(sum / static_cast<double>(measured), row.most) << row.sound;
    }
}

} // namespace
