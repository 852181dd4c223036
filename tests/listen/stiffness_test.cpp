// The stiffness of a piano's strings as the listener reads it with each reading: B, the partials
// its fit took and their spread, from A0 to C8.
#include "listen/listener.h"
#include "sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace listen_test;

namespace {

// B along a piano's keys (1 = A0 to 88 = C8) as measured strings run (Young 1952; Fletcher
// and Rossing): lowest in the low tenor, rising a little to the bass and steeply to the top.
double PianoB(int key) {
    const struct {
        int key;
        double b;
    } points[] = {{1, 2e-4}, {24, 1.2e-4}, {40, 3e-4}, {88, 2e-2}};
    for (size_t i = 1; i < std::size(points); ++i) {
        if (key <= points[i].key) {
            const double t =
                static_cast<double>(key - points[i - 1].key) / (points[i].key - points[i - 1].key);
            return points[i - 1].b * std::pow(points[i].b / points[i - 1].b, t);
        }
    }
    return points[std::size(points) - 1].b;
}

// A struck string of key `key`: up to 16 partials under 0.45 of the rate, the k-th at 1 / k,
// its first 20 dB under its second in the bass (below C3) as a long string's sounds.
double StiffString(double f0, double b, bool bass, double t) {
    double x = 0;
    for (int k = 1; k <= 16; ++k) {
        const double hz = k * f0 * std::sqrt(1 + b * k * k);
        if (hz >= 0.45 * kRate) {
            break;
        }
        const double amplitude = bass && k == 1 ? 0.1 * 0.1 / 2 : 0.1 / k;
        x += amplitude * Sine(hz, t, k);
    }
    return x;
}

} // namespace

TEST(Stiffness, EachReadingMeasuresAPianoStringFromA0ToC8) {
    double worst_b = 0, worst_cents = 0;
    int worst_b_key = 0, worst_cents_key = 0;
    for (int key = 1; key <= 88; key += key < 85 ? 6 : 3) {
        const double b = PianoB(key);
        const double f1 = 440 * std::exp2((key - 49) / 12.0);
        const double f0 = f1 / std::sqrt(1 + b);
        const auto readings =
            Readings(Sound(1.5, [&](double t) { return StiffString(f0, b, key < 28, t); }));
        EXPECT_GE(CountFrom(readings, 0.5), 39u) << key;
        for (const PitchReading& r : readings) {
            if (r.time < 0.5) {
                continue;
            }
            EXPECT_NEAR(r.b / b, 1, 0.03) << key;
            EXPECT_GE(r.partials, 2) << key;
            EXPECT_LT(r.spread, 1) << key;
            if (std::abs(r.b / b - 1) > worst_b) {
                worst_b = std::abs(r.b / b - 1);
                worst_b_key = key;
            }
            if (std::abs(Cents(r.hz, f1)) > worst_cents) {
                worst_cents = std::abs(Cents(r.hz, f1));
                worst_cents_key = key;
            }
        }
        EXPECT_LT(WorstCents(readings, f1, 0.5), 0.1) << key;
    }
    std::printf("worst B %.2f %% (key %d), worst first partial %.4f cents (key %d)\n",
                100 * worst_b, worst_b_key, worst_cents, worst_cents_key);
}

// A low piano string (key `key`) through a phone's microphone (a fourth-order high-pass at
// `corner` Hz): its first partial lies 4 cents under the line of its partials from the third
// up, its second with it (the soundboard pulls a bass string's lowest partials). A plain string
// has 16 partials falling as their number, its first 20 dB under its second; a bright one 48,
// falling only as the root of their number.
std::vector<PitchReading> ThroughAPhone(int key, double corner, bool bright,
                                        double& first_partial) {
    const double b = PianoB(key);
    const double line = 440 * std::exp2((key - 49) / 12.0) / std::sqrt(1 + b);
    const double pulled = std::exp2(-4.0 / 1200);
    first_partial = line * std::sqrt(1 + b) * pulled;
    return Readings(Sound(1.5, [&](double t) {
        double x = 0;
        for (int k = 1; k <= (bright ? 48 : 16); ++k) {
            const double hz = k * line * std::sqrt(1 + b * k * k) * (k <= 2 ? pulled : 1);
            const double amplitude = bright   ? 0.05 / std::sqrt(k)
                                     : k == 1 ? 0.1 * 0.1 / 2
                                              : 0.1 / k;
            x += amplitude * Phone(hz, corner) * Sine(hz, t, k);
        }
        return x;
    }));
}

// The high-pass leaves a plain string's first partial 40 dB and more under the strongest, too
// faint to be found: the second says where it is, not the line of those above, down to B0's,
// whose louder third a lobe's width off sways it a cent or two. A bright
// string's first, 20 dB and more under the strongest, is found 4 cents under the line of the
// others; its many partials above those the listener takes hold enough of the power that the
// sound does not count as clean, but the first is still measured on its own, for its second
// agrees with it.
TEST(Stiffness, ALowStringThroughAPhoneReadsItsFirstPartial) {
    const struct {
        int key;
        double corner;
        bool bright;
    } table[] = {{3, 150, false},  {3, 200, false},  {8, 150, false},  {8, 175, false},
                 {8, 200, false},  {13, 150, false}, {13, 175, false}, {13, 200, false},
                 {20, 150, false}, {20, 175, false}, {20, 200, false}, {20, 175, true},
                 {20, 200, true}};
    for (const auto& row : table) {
        double first_partial = 0;
        const auto readings = ThroughAPhone(row.key, row.corner, row.bright, first_partial);
        EXPECT_GE(CountFrom(readings, 0.5), 39u)
            << row.key << ", " << row.corner << " Hz" << (row.bright ? ", bright" : "");
        EXPECT_LT(WorstCents(readings, first_partial, 0.5), 1)
            << row.key << ", " << row.corner << " Hz" << (row.bright ? ", bright" : "");
    }
}

// A bright low string (a pluck near the bridge) whose partials go on, as loud, past the 24
// the listener takes, its first 11 dB under them and 2.2 cents under their line: it sounds,
// alone in its lobe, and is measured on its own. Neither is the sound unclean for the partials
// above those taken, nor is the line near enough to the first to stand in for it.
TEST(Stiffness, ABrightLowStringsFirstPartialUnderItsLine) {
    const double line = 55.0;
    const double first = line * std::exp2(-2.2 / 1200);
    const auto readings = Readings(Sound(1.5, [&](double t) {
        double x = 0.02 * 0.28 * Sine(first, t, 1);
        for (int k = 2; k <= 60; ++k) {
            x += 0.02 * Sine(k * line, t, k);
        }
        return x;
    }));
    EXPECT_GE(CountFrom(readings, 0.5), 39u);
    EXPECT_LT(WorstCents(readings, first, 0.5), 0.5);
}

// Where a low string's first partial should sound, another sound's peak 30 to 60 cents off it
// (a rumble's band, a body's resonance), as loud as the string's partials above, and the
// string's second faint (a node at its pluck): the partials above lie on their line and say
// where the string is. But a strong first partial above three faint partials on a stiff line
// 22 cents under it, two of them counting, is the note's own: two witnesses are too few.
TEST(Stiffness, AnotherSoundWhereTheFirstPartialLiesLeavesItsLine) {
    const struct {
        double hz, cents; // the string's first partial, and the other sound's peak off it
        int last;         // the string's highest partial
        double off[3];    // its 2nd's to 4th's cents off harmonic (the faint ones only)
    } table[] = {{55.0, -40, 16, {}},
                 {55.0, 35, 16, {}},
                 {61.735, -60, 12, {}},
                 {82.407, 45, 12, {}},
                 {220.0, 0, 4, {-10, 10, 37.2}}};
    for (const auto& row : table) {
        const bool faint = row.last == 4;
        const auto readings = Readings(Sound(1.5, [&](double t) {
            double x = 0.02 * Sine(row.hz * std::exp2(row.cents / 1200), t, 1);
            for (int k = 2; k <= row.last; ++k) {
                const double amplitude =
                    faint ? (k < 4 ? 0.003 : 0.0015) : (k == 2 ? 0.0005 : 0.02);
                const double cents = k <= 4 ? row.off[k - 2] : 0;
                x += amplitude * Sine(k * row.hz * std::exp2(cents / 1200), t, k);
            }
            return x;
        }));
        EXPECT_GE(CountFrom(readings, 0.5), 39u) << row.hz << " Hz, " << row.cents;
        EXPECT_LT(WorstCents(readings, row.hz, 0.5), 1) << row.hz << " Hz, " << row.cents;
    }
}

TEST(Stiffness, AToneBesideWhereAPartialWouldLieIsNotOne) {
    // Nine harmonic partials of A2 and a faint tone 2.4 or 2.7 % above where a tenth would lie
    // (a sympathetic string, 20 dB under the strongest): the string's partials are looked for
    // within 2 % of where their line puts them, and the tone is not one of them. The note has
    // nine partials.
    const double hz = 110;
    for (double off : {0.024, 0.027}) {
        const auto readings = Readings(Sound(1.0, [&](double t) {
            return Partials(hz, t, 1, 9, 0.15) + 0.015 * Sine(10 * hz * (1 + off), t);
        }));
        ASSERT_GE(CountFrom(readings, 0.5), 19u) << off;
        for (const PitchReading& r : readings) {
            if (r.time >= 0.5) {
                EXPECT_EQ(r.partials, 9) << off << " at " << r.time;
            }
        }
    }
}
