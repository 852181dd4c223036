#include "synth/piano_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

// Keys where the octave rules change.
constexpr int kC2 = 16, kC3 = 28, kA3 = 37, kC4 = 40, kA4 = 49, kC6 = 64, kC7 = 76, kC8 = 88;

// A typical piano's stiffness, from published measurements. Young (1952, JASA 24, 267) found
// the 2nd partial of middle C about 1.2 cents sharp in each of six pianos, B near 3.5e-4 to
// 4e-4, doubling every eight semitones above it, which puts C8 near 2e-2; Fletcher & Rossing
// (The Physics of Musical Instruments, ch. 12) give the wound bass strings of a grand a few
// 1e-4, A0 rising from the tenor's least.
const std::vector<MeasuredKey> kTypical = {
    {1, 27.5, 2.5e-4, 20}, {kC4, 261.6, 4e-4, 12}, {kC8, 4186, 2e-2, 2}};
// A grand measured more closely: the tenor's least stiffness near F2, where the wound strings
// give way to the plain ones, and a key in each octave of the treble.
const std::vector<MeasuredKey> kMeasuredClosely = {
    {1, 27.5, 4.5e-4, 20},  {21, 87.3, 1.1e-4, 16}, {kC4, 261.6, 3.6e-4, 12}, {kA4, 440, 7e-4, 10},
    {kC6, 1046, 3.4e-3, 4}, {kC7, 2093, 9e-3, 3},   {kC8, 4186, 2.1e-2, 2}};

double Cents(double ratio) {
    return 1200 * std::log2(ratio);
}

// f1 of the upper key over the lower's when the lower's m-th partial meets the upper's n-th.
double Meeting(const OctaveMatch& match, double b_lower, double b_upper) {
    return PartialHz(1, b_lower, match.lower) / PartialHz(1, b_upper, match.upper);
}

// What the octave from `lower` to the key above should be, from the curve's own stiffness.
double ExpectedOctave(const std::vector<CurveKey>& curve, const OctaveRules& rules, int lower) {
    const int upper = lower + 12;
    const double b_lower = curve[lower - 1].b;
    const double b_upper = curve[upper - 1].b;
    const double middle = Meeting(rules.middle, b_lower, b_upper);
    if (upper > kA4 && upper > kC6) {
        const double treble = Meeting(rules.treble, b_lower, b_upper);
        const double w = upper >= kC7 ? 0 : (kC7 - upper) / 12.0;
        return std::pow(middle, w) * std::pow(treble, 1 - w);
    }
    if (upper <= kA4 && lower < kC3) {
        const double bass = Meeting(rules.bass, b_lower, b_upper);
        const double w = lower <= kC2 ? 0 : (lower - kC2) / 12.0;
        return std::pow(middle, w) * std::pow(bass, 1 - w);
    }
    return middle;
}

std::vector<CurveKey> CurveOf(const std::vector<MeasuredKey>& keys, const OctaveRules& rules,
                              double a4 = 440) {
    std::string why;
    const std::vector<CurveKey> curve = PianoCurve(keys, rules, a4, why);
    EXPECT_EQ(curve.size(), size_t(kPianoKeys)) << why;
    EXPECT_EQ(why, "");
    return curve;
}

OctaveRules Rules(const char* text) {
    OctaveRules rules;
    std::string why;
    EXPECT_TRUE(ParseOctaves(text, rules, why)) << why;
    return rules;
}

// Every octave on the keyboard meets as its region says: the middle's match from C3 to C6,
// the treble's from C7 up, the bass's from C2 down, the blend between; its own rules too.
TEST(PianoCurve, EveryOctaveMeetsOnTheMatchOfItsRegion) {
    for (const auto* piano : {&kTypical, &kMeasuredClosely}) {
        for (const char* octaves : {"6:3,4:2,2:1", "8:4,4:2,2:1", "10:5,6:3,4:2", "2:1,2:1,2:1"}) {
            const OctaveRules rules = Rules(octaves);
            const std::vector<CurveKey> curve = CurveOf(*piano, rules);
            ASSERT_EQ(curve.size(), size_t(kPianoKeys));
            for (int lower = 1; lower + 12 <= kPianoKeys; ++lower) {
                const double octave = curve[lower + 11].f1 / curve[lower - 1].f1;
                EXPECT_NEAR(Cents(octave), Cents(ExpectedOctave(curve, rules, lower)), 0.01)
                    << KeyName(lower) << " to " << KeyName(lower + 12) << " by " << octaves;
            }
        }
    }
}

// The blends differ from either match alone by cents, so a slip in their weight shows.
TEST(PianoCurve, BetweenRegionsTheMatchesBlendByTheKeyNumber) {
    const OctaveRules rules;
    const std::vector<CurveKey> curve = CurveOf(kMeasuredClosely, rules);
    ASSERT_EQ(curve.size(), size_t(kPianoKeys));
    for (const int upper : {kC6 + 3, kC6 + 6, kC6 + 9}) {
        const CurveKey& lo = curve[upper - 13];
        const CurveKey& hi = curve[upper - 1];
        const double w = (kC7 - upper) / 12.0;
        const double middle = Cents(Meeting(rules.middle, lo.b, hi.b));
        const double treble = Cents(Meeting(rules.treble, lo.b, hi.b));
        EXPECT_GT(middle - treble, 1) << KeyName(upper);
        EXPECT_NEAR(Cents(hi.f1 / lo.f1), w * middle + (1 - w) * treble, 0.01) << KeyName(upper);
    }
    for (const int lower : {kC2 + 3, kC2 + 6, kC2 + 9}) {
        const CurveKey& lo = curve[lower - 1];
        const CurveKey& hi = curve[lower + 11];
        const double w = (lower - kC2) / 12.0;
        const double middle = Cents(Meeting(rules.middle, lo.b, hi.b));
        const double bass = Cents(Meeting(rules.bass, lo.b, hi.b));
        EXPECT_GT(bass - middle, 0.5) << KeyName(lower);
        EXPECT_NEAR(Cents(hi.f1 / lo.f1), w * middle + (1 - w) * bass, 0.01) << KeyName(lower);
    }
}

// A4 is the pitch of A; A3 meets it 4:2; the temperament octave between is in equal steps.
TEST(PianoCurve, A4IsThePitchOfAAndTheTemperamentOctaveIsEven) {
    for (const double a4 : {440.0, 415.0, 442.0}) {
        const std::vector<CurveKey> curve = CurveOf(kTypical, {}, a4);
        ASSERT_EQ(curve.size(), size_t(kPianoKeys));
        EXPECT_NEAR(Cents(curve[kA4 - 1].f1 / a4), 0, 1e-9) << a4;
        EXPECT_NEAR(curve[kA4 - 1].cents, 0, 1e-9) << a4;
        const CurveKey& a3 = curve[kA3 - 1];
        EXPECT_NEAR(Cents(PartialHz(a3.f1, a3.b, 4) / PartialHz(a4, curve[kA4 - 1].b, 2)), 0, 0.01);
        const double step = Cents(a4 / a3.f1) / 12;
        EXPECT_GT(step, 100.1) << "the stretch of the temperament octave";
        for (int key = kA3 + 1; key <= kA4; ++key) {
            EXPECT_NEAR(Cents(curve[key - 1].f1 / curve[key - 2].f1), step, 1e-6) << key;
        }
        // Cents from equal temperament at the same a4: the curve's shape is a4's alone.
        for (const CurveKey& key : curve) {
            const double equal = a4 * std::exp2((key.key - kA4) / 12.0);
            EXPECT_NEAR(key.cents, Cents(key.f1 / equal), 1e-9) << key.key;
        }
    }
}

// A typical piano's curve climbs above A4 and sinks below A3 with every key, and ends where
// Railsback (1938, JASA 9, 274) found tuners ending: about 10 to 35 cents flat at A0, 15 to
// 40 sharp at C8.
TEST(PianoCurve, ATypicalPianoStretchesAsRailsbacksCurve) {
    for (const auto* piano : {&kTypical, &kMeasuredClosely}) {
        const std::vector<CurveKey> curve = CurveOf(*piano, {});
        ASSERT_EQ(curve.size(), size_t(kPianoKeys));
        for (int key = 2; key <= kPianoKeys; ++key) {
            EXPECT_GT(curve[key - 1].cents, curve[key - 2].cents) << KeyName(key);
        }
        EXPECT_LT(curve[0].cents, -10);
        EXPECT_GT(curve[0].cents, -35);
        EXPECT_GT(curve[kC8 - 1].cents, 15);
        EXPECT_LT(curve[kC8 - 1].cents, 40);
    }
}

// Measured keys keep their stiffness; log B is a straight line between them and runs on
// beyond the outermost along the slope of the last two at that end.
TEST(PianoCurve, StiffnessIsLaidLogLinearFromTheKeysMeasured) {
    const std::vector<MeasuredKey>& keys = kMeasuredClosely;
    const std::vector<CurveKey> curve = CurveOf({keys.rbegin(), keys.rend()}, {});
    ASSERT_EQ(curve.size(), size_t(kPianoKeys));
    for (const MeasuredKey& key : keys) {
        EXPECT_EQ(curve[key.key - 1].b, key.b);
        EXPECT_TRUE(curve[key.key - 1].measured);
    }
    EXPECT_EQ(
        std::count_if(curve.begin(), curve.end(), [](const CurveKey& k) { return k.measured; }),
        long(keys.size()));
    const auto log_b_at = [&](size_t left, int key) {
        const double slope = (std::log(keys[left + 1].b) - std::log(keys[left].b)) /
                             (keys[left + 1].key - keys[left].key);
        return std::log(keys[left].b) + slope * (key - keys[left].key);
    };
    for (size_t left = 0; left + 1 < keys.size(); ++left) {
        for (int key = keys[left].key; key <= keys[left + 1].key; ++key) {
            EXPECT_NEAR(std::log(curve[key - 1].b), log_b_at(left, key), 1e-9) << key;
        }
    }
    // Beyond: the treble's end from the bass up, as measured from A0, F2 and C4 only.
    const std::vector<MeasuredKey> low_end = {keys[1], keys[2], {kC6 + 2, 1175, 4e-3, 4}};
    const std::vector<CurveKey> beyond = CurveOf(low_end, {});
    ASSERT_EQ(beyond.size(), size_t(kPianoKeys));
    const double top_slope = std::log(4e-3 / keys[2].b) / (kC6 + 2 - kC4);
    const double low_slope = std::log(keys[2].b / keys[1].b) / (kC4 - keys[1].key);
    EXPECT_NEAR(std::log(beyond[kC8 - 1].b), std::log(4e-3) + top_slope * (kC8 - kC6 - 2), 1e-9);
    EXPECT_NEAR(std::log(beyond[0].b), std::log(keys[1].b) - low_slope * (keys[1].key - 1), 1e-9);
}

// A low key is tuned on its lowest partial at or above 100 Hz, never above its 6th.
TEST(PianoCurve, ALowKeyIsTunedOnAPartialOf100HzOrMore) {
    const std::vector<CurveKey> curve = CurveOf(kTypical, {});
    ASSERT_EQ(curve.size(), size_t(kPianoKeys));
    int above_first = 0;
    for (const CurveKey& key : curve) {
        const double hz = PartialHz(key.f1, key.b, key.partial);
        EXPECT_TRUE(hz >= 100 || key.partial == 6) << KeyName(key.key);
        EXPECT_TRUE(key.partial == 1 || PartialHz(key.f1, key.b, key.partial - 1) < 100)
            << KeyName(key.key);
        EXPECT_LE(key.partial, 6);
        above_first += key.partial > 1;
    }
    EXPECT_EQ(curve[0].partial, 4); // A0: 27.5 Hz, the 4th partial at 110 Hz
    EXPECT_GT(above_first, 12);
}

// Without a key in each of the bass, the middle and the treble there is no curve, and the
// refusal names the regions to measure.
TEST(PianoCurve, FewerThanThreeRegionsAreRefusedNamingTheMissing) {
    const MeasuredKey bass{10, 46.2, 3e-4, 12}, low_middle{kC3, 130.8, 1.5e-4, 12},
        high_middle{kC6 - 1, 987.8, 3e-3, 5}, treble{kC6, 1046.5, 3.4e-3, 4},
        b2{kC3 - 1, 123.5, 1.3e-4, 12};
    const struct {
        std::vector<MeasuredKey> keys;
        const char* why;
    } rows[] = {
        {{bass, low_middle}, "measure a key in the treble (C6 to C8) too"},
        {{low_middle, high_middle, treble}, "measure a key in the bass (A0 to B2) too"},
        {{bass, treble}, "measure a key in the middle (C3 to B5) too"},
        {{b2, high_middle}, "measure a key in the treble (C6 to C8) too"},
        {{low_middle, high_middle},
         "measure a key in the bass (A0 to B2) and the treble (C6 to C8) too"},
        {{},
         "measure a key in the bass (A0 to B2), the middle (C3 to B5) and the treble (C6 to "
         "C8)"},
    };
    for (const auto& row : rows) {
        std::string why;
        EXPECT_TRUE(PianoCurve(row.keys, {}, 440, why).empty()) << row.why;
        EXPECT_EQ(why, row.why);
    }
    std::string why = "stale";
    EXPECT_EQ(PianoCurve({b2, low_middle, treble}, {}, 440, why).size(), size_t(kPianoKeys));
    EXPECT_EQ(why, "");
}

TEST(PianoCurve, OctavesAreThreeMatchesOfTwiceThePartial) {
    const struct {
        const char* text;
        OctaveRules rules;
    } good[] = {
        {"6:3,4:2,2:1", {{6, 3}, {4, 2}, {2, 1}}},
        {"8:4,6:3,4:2", {{8, 4}, {6, 3}, {4, 2}}},
        {"16:8,2:1,16:8", {{16, 8}, {2, 1}, {16, 8}}},
    };
    for (const auto& row : good) {
        OctaveRules rules{{0, 0}, {0, 0}, {0, 0}};
        std::string why;
        EXPECT_TRUE(ParseOctaves(row.text, rules, why)) << row.text << ": " << why;
        EXPECT_EQ(rules.bass.lower, row.rules.bass.lower) << row.text;
        EXPECT_EQ(rules.bass.upper, row.rules.bass.upper) << row.text;
        EXPECT_EQ(rules.middle.lower, row.rules.middle.lower) << row.text;
        EXPECT_EQ(rules.middle.upper, row.rules.middle.upper) << row.text;
        EXPECT_EQ(rules.treble.lower, row.rules.treble.lower) << row.text;
        EXPECT_EQ(rules.treble.upper, row.rules.treble.upper) << row.text;
    }
    for (const char* text : {"", "6:3", "6:3,4:2", "6:3,4:2,2:1,2:1", "6:3,4:2,2:1,", "5:3,4:2,2:1",
                             "6:3,4:3,2:1", "6:3,4:2,1:2", "18:9,4:2,2:1", "0:0,4:2,2:1",
                             "6:3;4:2;2:1", " 6:3,4:2,2:1", "6:3,4:2,2:1 ", "+6:3,4:2,2:1",
                             "6:3,,2:1", "6-3,4:2,2:1", "6:3:3,4:2,2:1", "a:b,4:2,2:1"}) {
        OctaveRules rules;
        std::string why;
        EXPECT_FALSE(ParseOctaves(text, rules, why)) << text;
        EXPECT_NE(why.find("'" + std::string(text) + "'"), std::string::npos) << why;
        EXPECT_EQ(rules.bass.lower, 6) << text; // the rules as they were
        EXPECT_EQ(rules.treble.upper, 1) << text;
    }
}

TEST(PianoCurve, AFirstPartialNamesTheKeyOfTheNearestTarget) {
    const std::vector<CurveKey> curve = CurveOf(kTypical, {}, 440);
    for (const CurveKey& key : curve) {
        // Off by 45 cents either way, still nearer its own target than its neighbour's.
        for (const double cents : {0.0, 45.0, -45.0}) {
            EXPECT_EQ(NearestKey(curve, key.f1 * std::exp2(cents / 1200)), key.key)
                << key.key << " " << cents;
        }
    }
    // More than half a semitone beyond the keyboard's ends: no key.
    EXPECT_EQ(NearestKey(curve, curve.back().f1 * std::exp2(55.0 / 1200)), 0);
    EXPECT_EQ(NearestKey(curve, curve.front().f1 * std::exp2(-55.0 / 1200)), 0);
    EXPECT_EQ(NearestKey({}, 440), 0);
}

} // namespace
