#include "listen/listener.h"
#include "sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace listen_test;

TEST(Listener, SinesFromB0ToC8WithinATenthOfACent) {
    // Published equal-tempered pitches at A = 440 Hz.
    const struct {
        const char* note;
        double hz;
    } table[] = {
        {"B0", 30.868},   {"E1", 41.203},   {"A1", 55.000},    {"E2", 82.407},   {"C3", 130.813},
        {"A3", 220.000},  {"C4", 261.626},  {"A4", 440.000},   {"E5", 659.255},  {"C6", 1046.502},
        {"A6", 1760.000}, {"C7", 2093.005}, {"F#7", 2959.955}, {"C8", 4186.009},
    };
    for (const auto& row : table) {
        const auto readings =
            Readings(Sound(1.5, [&](double t) { return 0.25 * Sine(row.hz, t); }));
        EXPECT_GE(CountFrom(readings, 0.5), 39u) << row.note; // 40 a second
        EXPECT_LT(WorstCents(readings, row.hz, 0.5), 0.1) << row.note;
    }
}

TEST(Listener, ReadingsComeSoonAndFollowTheInputsTime) {
    const auto readings = Readings(Sound(1.0, [](double t) { return 0.5 * Sine(440, t); }));
    // Hops of 1103 samples. The first reading 368 samples into the second: the first hop's
    // points heard the note, and the second's, a hop after them, confirm its pitch. While the
    // note is young (its first quarter second) three a hop, 368 and 736 samples into it and at
    // its end; then one at the end of every hop, the last one of the second at 39.
    std::vector<int> due;
    for (int hop = 1; hop < 10; ++hop) {
        due.insert(due.end(), {hop * 1103 + 368, hop * 1103 + 736, (hop + 1) * 1103});
    }
    for (int hop = 11; hop <= 39; ++hop) {
        due.push_back(hop * 1103);
    }
    ASSERT_EQ(readings.size(), due.size());
    EXPECT_LT(std::abs(Cents(readings.front().hz, 440)), 5.0);
    for (size_t i = 0; i < readings.size(); ++i) {
        EXPECT_NEAR(readings[i].time, static_cast<double>(due[i]) / kRate, 1e-9) << i;
        EXPECT_EQ(readings[i].between_hops, due[i] % 1103 != 0) << i;
    }
}

TEST(Listener, ALowNoteReadsOnceItsFramesHoldThreePeriodsAndThenWithoutAPause) {
    // E1 and A1 from the first sample: their first frames are too short to read, and the hops
    // that agree on their pitch come before the frames hold three periods (0.8 of the pair's
    // span, the rest the shift between its frames). The first reading comes at the first third
    // of a hop where they do; after it, one every third of a hop while the note is young,
    // although the frames then leave the attack out.
    const double third = 1103.0 / 3;
    for (double hz : {41.2, 55.0}) {
        const auto readings = Readings(Sound(1.0, [&](double t) { return 0.5 * Sine(hz, t); }));
        ASSERT_FALSE(readings.empty()) << hz;
        const double three_periods = 3 * kRate / hz / 0.8;
        EXPECT_LE(readings.front().time * kRate, three_periods + third + 1) << hz;
        for (size_t i = 1; i < readings.size() && readings[i].time < 0.25; ++i) {
            EXPECT_LE((readings[i].time - readings[i - 1].time) * kRate, third + 1)
                << hz << " after " << readings[i - 1].time;
        }
        EXPECT_LT(WorstCents(readings, hz, 0), 1) << hz;
    }
}

TEST(Listener, TheSameReadingsWhateverThePiecesItIsFedIn) {
    const auto sound = Sound(0.6, [](double t) { return 0.3 * Sine(196, t); });
    const auto whole = Readings(sound, kRate, sound.size());
    const auto by_sevens = Readings(sound, kRate, 7);
    ASSERT_EQ(whole.size(), by_sevens.size());
    for (size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(whole[i].hz, by_sevens[i].hz);
        EXPECT_EQ(whole[i].time, by_sevens[i].time);
    }
}

TEST(Listener, SoundsOfPartialsReadAsTheirFundamental) {
    const struct {
        const char* kind;
        double hz;
        std::function<double(double hz, double t)> at;
        double b = 0; // the reading is the first partial, f0 sqrt(1 + b)
    } rows[] = {
        // Partials 2 to 8 only: the period the ear hears is still the fundamental's.
        {"no fundamental", 41.203, [](double hz, double t) { return Partials(hz, t, 2, 8, 0.1); }},
        {"no fundamental", 110.0, [](double hz, double t) { return Partials(hz, t, 2, 8, 0.1); }},
        {"no fundamental", 440.0, [](double hz, double t) { return Partials(hz, t, 2, 8, 0.1); }},
        // B as a piano's middle strings; partial 12 is 2.8 % sharp.
        {"stiff string", 55.0,
         [](double hz, double t) { return Partials(hz, t, 1, 12, 0.1, 0.0004); }, 0.0004},
        {"stiff string", 261.626,
         [](double hz, double t) { return Partials(hz, t, 1, 12, 0.1, 0.0004); }, 0.0004},
        // Partials 2 to 8 off the harmonic line by up to 3 cents, as a real string's are (its
        // bridge and body pull each its own way): the first partial still reads.
        {"partials off their line", 196.0,
         [](double hz, double t) {
             const double off[] = {0, 3, -2, 2.5, -3, 1, -2.5, 3};
             double x = 0;
             for (int k = 1; k <= 8; ++k) {
                 x += 0.1 / k * Sine(k * hz * std::exp2(off[k - 1] / 1200), t, k);
             }
             return x;
         }},
        // The octave above carries nine times the power of the fundamental.
        {"strong second partial", 98.0,
         [](double hz, double t) { return 0.1 * Sine(hz, t) + 0.3 * Sine(2 * hz, t, 1); }},
        // A tone on the mains' frequency, alone: nothing an octave above it for hum to sit under.
        {"sine on the mains' frequency", 50.0,
         [](double hz, double t) { return 0.3 * Sine(hz, t); }},
        {"sine on the mains' frequency", 60.0,
         [](double hz, double t) { return 0.3 * Sine(hz, t); }},
    };
    for (const auto& row : rows) {
        const auto readings = Readings(Sound(1.5, [&](double t) { return row.at(row.hz, t); }));
        EXPECT_GE(CountFrom(readings, 0.5), 39u) << row.kind << " " << row.hz;
        EXPECT_LT(WorstCents(readings, row.hz * std::sqrt(1 + row.b), 0.5), 0.1)
            << row.kind << " " << row.hz;
    }
}

TEST(Listener, TheConfidenceOfACleanNoteIsAllOfItsPower) {
    // Twelve partials and nothing else: all the power is the note's. Below A2 the main lobes of
    // neighbouring partials overlap in frames of a few periods, and power counted once per
    // lobe would put the share above the whole.
    for (double hz : {27.5, 41.203, 55.0, 110.0}) {
        const auto readings =
            Readings(Sound(1.0, [&](double t) { return Partials(hz, t, 1, 12, 0.1); }));
        ASSERT_GE(readings.size(), 39u) << hz;
        for (const PitchReading& r : readings) {
            EXPECT_LE(r.confidence, 1.0) << hz << " at " << r.time;
            EXPECT_GT(r.confidence, 0.99) << hz << " at " << r.time;
        }
    }
}

TEST(Listener, NoiseAtTenDecibelsStillReads) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.25 / std::sqrt(2) / std::sqrt(10));
    const auto readings =
        Readings(Sound(1.5, [&](double t) { return 0.25 * Sine(220, t) + noise(random); }));
    ASSERT_GE(CountFrom(readings, 0.5), 39u);
    EXPECT_LT(WorstCents(readings, 220, 0.5), 1.0);
}

TEST(Listener, AFaintToneBesideTheFundamentalPullsTheReadingLittle) {
    // A steady tone 3 % from the fundamental, 34 dB under it (a body's resonance ringing on),
    // shares its main lobe: the first partial measured on its own is pulled by it, and the
    // partials above, which nothing pulls, say where the note is.
    for (double hz : {110.0, 220.0, 440.0}) {
        for (double off : {-0.03, 0.03}) {
            const auto readings = Readings(Sound(1.2, [&](double t) {
                return Partials(hz, t, 1, 6, 0.15) + 0.003 * Sine(hz * (1 + off), t);
            }));
            EXPECT_GE(CountFrom(readings, 0.5), 27u) << hz << " " << off;
            EXPECT_LT(WorstCents(readings, hz, 0.5), 0.7) << hz << " " << off;
        }
    }
}

TEST(Listener, SixPartialsInNoiseEightDecibelsBelowReadWithinCents) {
    // The partials' lobes hold 0.82 to 0.86 of the power: noise shares the first partial's lobe,
    // but a fit of all the partials would take in the noise's peaks found above them and stray
    // further (5 to 8 cents) than the first partial measured on its own.
    const struct {
        double hz;
        unsigned seed;
    } table[] = {{440.0, 1}, {440.0, 2}, {493.883, 2}, {493.883, 3}};
    for (const auto& row : table) {
        std::mt19937 random(row.seed);
        std::normal_distribution<double> noise(0, 0.25 / std::sqrt(2) / std::pow(10, 8.0 / 20));
        const auto readings = Readings(Sound(
            1.2, [&](double t) { return Partials(row.hz, t, 1, 6, 0.25 / 1.5) + noise(random); }));
        EXPECT_GE(CountFrom(readings, 0.5), 27u) << row.hz << " seed " << row.seed;
        EXPECT_LT(WorstCents(readings, row.hz, 0.5), 3.5) << row.hz << " seed " << row.seed;
    }
}

TEST(Listener, AQuietUnisonBeatingReadsThroughItsNulls) {
    // Two strings of a unison a hertz apart, each at -40 dBFS: once a second they cancel, and
    // the hop at the null is quieter than silence. The hop before it is not: a note that has
    // not been quiet for two hops sounds on, and its readings go on, one a hop at least, at the
    // pitch of the beat (the mean of the two).
    const double low = 220, high = 221;
    const auto readings =
        Readings(Sound(2.0, [&](double t) { return 0.01 * (Sine(low, t) + Sine(high, t, 1)); }));
    ASSERT_GE(readings.size(), 70u);
    for (size_t i = 1; i < readings.size(); ++i) {
        EXPECT_LE((readings[i].time - readings[i - 1].time) * kRate, 1103 + 1)
            << "after " << readings[i - 1].time;
    }
    EXPECT_LT(WorstCents(readings, (low + high) / 2, 0), 1);
}

TEST(Listener, AVibratoIsFollowedAboutItsCentre) {
    // Vibratos of bows and breath: +-5 to +-30 cents at 4 to 7 Hz, on notes of a few partials
    // and on bright ones whose partials swell and fade through the swing, each at its own point
    // (a body's resonances). Nine hops in ten of the sustain read; no reading strays beyond
    // the swing, and the mean over whole cycles is the note.
    const struct {
        const char* what;
        double centre, cents, rate;
        int partials;
        double fall, swell; // the k-th partial at 1 / k^fall, swelling by that share
    } rows[] = {
        {"a violinist's A4", 440.0, 30, 5.5, 6, 1, 0},
        {"a violinist's G3", 196.0, 30, 5.5, 6, 1, 0},
        {"a flute's A5, narrow", 880.0, 5, 4, 4, 1, 0},
        {"a singer's D4, slow and wide", 293.665, 30, 4, 10, 1, 0.9},
        {"a clarinet's G4, fast and narrow", 391.995, 8, 7, 9, 1, 0.9},
        {"a violin's E5", 659.255, 25, 6, 12, 0.5, 0.9},
        {"a viola's G3", 196.0, 25, 5.5, 20, 0.5, 0.9},
        {"a viola's G3, wide", 196.0, 30, 6, 24, 0.7, 1},
        {"a cello's G2", 97.999, 20, 5, 24, 0.5, 0.9},
        {"a cello's C2, fast", 65.406, 20, 7, 24, 0.7, 0.9},
    };
    for (const auto& row : rows) {
        const auto readings = Readings(Sound(2.5, [&](double t) {
            return Vibrato(row.centre, t, row.cents, row.rate, row.partials, 0.15, row.fall,
                           row.swell);
        }));
        const double from = 0.3, cycles = std::floor((2.5 - from) * row.rate);
        double sum = 0;
        size_t count = 0;
        for (const PitchReading& r : readings) {
            EXPECT_LT(std::abs(Cents(r.hz, row.centre)), row.cents + 1)
                << row.what << " at " << r.time;
            if (!r.between_hops && r.time >= from && r.time < from + cycles / row.rate) {
                sum += Cents(r.hz, row.centre);
                ++count;
            }
        }
        EXPECT_GE(count, static_cast<size_t>(0.9 * 40 * cycles / row.rate)) << row.what;
        // Partials that swell through the swing weigh a frame toward where they are loud: the
        // mean comes within 3 cents, as a note's summary does.
        const double within = row.swell > 0 ? 3 : 1;
        EXPECT_LT(std::abs(sum / static_cast<double>(std::max<size_t>(count, 1))), within)
            << row.what;
    }
}

TEST(Listener, NoReadingOfSilenceNoiseOrWhatIsNotANumber) {
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0, 0.1);
    std::uniform_real_distribution<double> uniform(-1, 1);
    const struct {
        const char* what;
        std::function<double(double)> at;
    } table[] = {
        {"silence", [](double) { return 0.0; }},
        {"a sine too quiet to hear", [](double t) { return 1e-4 * Sine(440, t); }},
        {"white noise", [&](double) { return noise(random); }},
        {"uniform noise at full scale", [&](double) { return uniform(random); }},
        {"a constant", [](double) { return 0.5; }},
        {"NaN", [](double) { return std::nan(""); }},
        {"infinity", [](double) { return HUGE_VAL; }},
    };
    for (const auto& row : table) {
        EXPECT_TRUE(Readings(Sound(1.0, row.at)).empty()) << row.what;
    }
}

TEST(Listener, ARumbleNamesNoNote) {
    // Brown noise (white noise integrated, as wind on a microphone or a handled one sounds):
    // its power falls 6 dB an octave from the lowest notes, and near every multiple of a low
    // pitch a search finds a peak. They scatter by tens of cents from any note's line; a note's
    // partials lie on it within one. Seeds 7, 22 and 79: noise whose coarse pitches agree at
    // points of hops a hop apart, long after its level last rose.
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 22u, 79u}) {
        std::mt19937 random(seed);
        std::normal_distribution<double> white(0, 0.01);
        double rumble = 0;
        const auto readings = Readings(Sound(30, [&](double) {
            rumble = 0.999 * rumble + white(random);
            return rumble;
        }));
        EXPECT_TRUE(readings.empty())
            << "seed " << seed << ": " << readings.size() << " readings, the first "
            << (readings.empty() ? 0 : readings[0].hz) << " Hz";
    }
}

TEST(Listener, SamplesFarBeyondFullScaleAreClipped) {
    // A sine of 10^30 clipped to 10^6: a square wave of the same period.
    const auto readings = Readings(Sound(1.0, [](double t) { return 1e30 * Sine(220, t); }));
    ASSERT_GE(CountFrom(readings, 0.5), 19u);
    EXPECT_LT(WorstCents(readings, 220, 0.5), 1.0);
}

TEST(Listener, ANoteOverMainsHumIsTheNoteNotTheHum) {
    // The hum sounds from the start; B3 and F4, the fifth and the seventh multiple of 50 Hz
    // to within 21 cents, come in after it.
    for (double hz : {246.942, 349.228}) {
        const auto readings = Readings(Sound(1.5, [&](double t) {
            const double hum = 0.03 * Sine(50, t) + 0.01 * Sine(150, t);
            return t >= 0.25 ? hum + Partials(hz, t, 1, 6, 0.3) : hum;
        }));
        ASSERT_GE(CountFrom(readings, 0.6), 35u) << hz;
        EXPECT_LT(WorstCents(readings, hz, 0.6), 0.1) << hz;
    }
}

TEST(Listener, ANoteAfterSilenceAndANewNoteAreEachRead) {
    const auto readings = Readings(Sound(2.0, [](double t) {
        if (t < 0.5) {
            return 0.0;
        }
        return t < 1.25 ? 0.3 * Sine(82.407, t) : 0.3 * Sine(110, t);
    }));
    EXPECT_EQ(CountFrom(readings, 0), CountFrom(readings, 0.5));
    double worst_e = 0, worst_a = 0;
    for (const PitchReading& r : readings) {
        if (r.time > 0.8 && r.time < 1.25) {
            worst_e = std::max(worst_e, std::abs(Cents(r.hz, 82.407)));
        }
        if (r.time > 1.6) {
            worst_a = std::max(worst_a, std::abs(Cents(r.hz, 110)));
        }
    }
    EXPECT_LT(worst_e, 0.1);
    EXPECT_LT(worst_a, 0.1);
    EXPECT_GE(CountFrom(readings, 1.6), 15u);
}

TEST(Listener, ANoteStruckAgainAfterSilenceReadsAsAFreshNote) {
    // A string plucked, damped, and plucked again after a tenth to a third of a second of
    // silence: the second pluck's readings are those of the same pluck alone, a whole number of
    // hops later. Nothing of the first note (the coarse pitches kept at points of its young
    // hops, its octave, its level) has a say in the second: a point confirms a new note's pitch
    // from the point a hop before only.
    const size_t hop = ListenerHop(NewListener(kRate));
    const struct {
        const char* what;
        double hz;
        double ring; // seconds the first pluck sounds
        size_t gap;  // hops of silence after it
        double at;   // share of a hop where the first pluck begins
    } rows[] = {
        {"E2", 82.407, 0.6, 4, 0.3},   {"A2", 110.0, 0.12, 5, 0.7},  {"G3", 196.0, 0.3, 6, 0.5},
        {"E4", 329.628, 0.08, 4, 0.9}, {"B3", 246.942, 0.2, 5, 0.1}, {"A4", 440.0, 0.5, 12, 0.6},
        {"G3", 196.0, 0.1, 4, 0.5},    {"G3", 196.0, 0.1, 5, 0.2},   {"D4", 293.665, 0.15, 6, 0.8},
    };
    for (const auto& row : rows) {
        const auto pluck = [&](double t) {
            return t < 0 ? 0.0 : Partials(row.hz, t, 1, 8, 0.3) * std::exp(-t / 0.4);
        };
        const double start = row.at * static_cast<double>(hop) / kRate;
        const std::vector<float> alone = Sound(1.0, [&](double t) { return pluck(t - start); });
        const size_t later_hops =
            static_cast<size_t>(std::ceil((start + row.ring) * kRate / static_cast<double>(hop))) +
            row.gap;
        const double later = static_cast<double>(later_hops * hop) / kRate;
        const std::vector<float> again = Sound(later + 1.0, [&](double t) {
            const double first = t < start + row.ring ? pluck(t - start) : 0.0;
            return first + pluck(t - later - start);
        });
        const auto fresh = Readings(alone);
        std::vector<PitchReading> second;
        for (const PitchReading& r : Readings(again)) {
            if (r.onset >= later) {
                second.push_back(r);
            }
        }
        ASSERT_FALSE(fresh.empty()) << row.what;
        ASSERT_EQ(second.size(), fresh.size())
            << row.what << ": the first at " << (second.empty() ? 0 : second[0].time - later)
            << " s, alone at " << fresh[0].time << " s";
        for (size_t i = 0; i < fresh.size(); ++i) {
            EXPECT_NEAR(second[i].time - later, fresh[i].time, 1e-9) << row.what << " " << i;
            EXPECT_EQ(second[i].hz, fresh[i].hz) << row.what << " at " << fresh[i].time;
        }
    }
}

TEST(Listener, OtherRatesReadAsWell) {
    for (uint32_t rate : {8000u, 22050u, 48000u, 96000u}) {
        const auto readings =
            Readings(Sound(
                         1.0, [](double t) { return 0.25 * Sine(146.832, t); }, rate),
                     rate);
        EXPECT_GE(CountFrom(readings, 0.5), 19u) << rate;
        EXPECT_LT(WorstCents(readings, 146.832, 0.5), 0.1) << rate;
    }
}

TEST(Listener, HopsAreAFortiethOfASecond) {
    EXPECT_EQ(ListenerHop(NewListener(44100)), 1103u);
    EXPECT_EQ(ListenerHop(NewListener(48000)), 1200u);
    EXPECT_EQ(ListenerHop(NewListener(8000)), 200u);
}

} // namespace
