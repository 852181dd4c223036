// Notes read at f1 from their first reading on: stiff strings, periods found too short or too
// long, a new note with and without silence before it, and how soon after the attack.
#include "listen/listener.h"
#include "sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace {

using namespace listen_test;

TEST(Onset, StiffStringsWithAWeakFundamentalReadAtTheirFirstPartial) {
    // Piano-like B from the bass to the top octave, up to 5e-3; 24 partials (those below 19.8 kHz),
    // the fundamental 28 dB below the second, so that the fit of the others stands in for it.
    const struct {
        const char* note;
        double f0;
        double b;
    } table[] = {
        {"A0", 27.5, 1e-4},
        {"E2", 82.407, 2e-4},
        {"C4", 261.626, 5e-4},
        {"A5", 880.0, 1e-3},
        {"C6", 1046.502, 2e-3},
        {"C7", 2093.005, 2e-3},
        // The stiffest: a coarse period that none of the stretched partials share, 4 % off.
        {"A5", 880.0, 5e-3},
        {"C6", 1046.502, 5e-3},
        {"C7", 2093.005, 5e-3},
    };
    for (const auto& row : table) {
        const auto readings = Readings(Sound(1.5, [&](double t) {
            double x = 0.02 * Sine(row.f0 * std::sqrt(1 + row.b), t);
            for (int k = 2; k <= 24; ++k) {
                const double hz = k * row.f0 * std::sqrt(1 + row.b * k * k);
                x += hz < 19800 ? 1.0 / k * Sine(hz, t, k) : 0;
            }
            return 0.1 * x;
        }));
        const double f1 = row.f0 * std::sqrt(1 + row.b);
        EXPECT_GE(CountFrom(readings, 0.5), 39u) << row.note;
        EXPECT_LT(WorstCents(readings, f1, 0.5), 0.1) << row.note;
        EXPECT_LT(WorstCents(readings, f1, 0), 5) << row.note;
    }
}

TEST(Onset, PeriodsFoundTooShortAreCorrected) {
    // The NSDF's first high peak is at the period of the strongest partial, a half or a third
    // of the note's: the partials between its multiples say the note is below it.
    const struct {
        const char* what;
        double hz;
        std::vector<double> amplitudes; // of partials 1, 2, ...
        double settled = 0.1;           // seconds from which every reading is the note's
    } table[] = {
        {"f/2: the second partial 20 dB over the first", 98.0, {0.03, 0.3, 0.05, 0.1}},
        {"f/3: the third partial 18 dB over the first two", 65.406, {0.04, 0.04, 0.3, 0, 0, 0.1}},
        // B0 and E1: half the period found is still above the lowest note named. Their frames
        // hold three periods later, from a fifth of a second.
        {"f/2 of B0", 30.868, {0.03, 0.3, 0.05, 0.1}, 0.2},
        {"f/2 of E1", 41.203, {0.03, 0.3, 0.05, 0.1}, 0.2},
        // Lower, its frames part a third of the note later: its octave is not held before.
        {"f/3 of A1", 55.0, {0.04, 0.04, 0.3, 0, 0, 0.1}},
    };
    for (const auto& row : table) {
        const auto readings = Readings(Sound(1.5, [&](double t) {
            double x = 0;
            for (size_t k = 1; k <= row.amplitudes.size(); ++k) {
                x += row.amplitudes[k - 1] * Sine(k * row.hz, t, k);
            }
            return x;
        }));
        EXPECT_GE(CountFrom(readings, 0.2), 50u) << row.what;
        // The first reading, from a frame too short to part a third of the note, may be the
        // strongest partial's; from a tenth of a second on (B0 and E1: a fifth) the note's.
        EXPECT_LT(WorstCents(readings, row.hz, row.settled), 5) << row.what;
        EXPECT_LT(WorstCents(readings, row.hz, 0.3), 0.1) << row.what;
    }
}

TEST(Onset, ANoteWhoseOddPartialsEndIsTheOctaveAbove) {
    // A1's fundamental and odd partials stop at 1 s (a harmonic touched, an octave overblown):
    // what sounds from then on is A2 (or E3, its third, when all but every third stop), with
    // no attack or silence between.
    const struct {
        const char* what;
        int every;
        double after;
    } table[] = {{"every second", 2, 110.0}, {"every third", 3, 165.0}};
    for (const auto& row : table) {
        const auto readings = Readings(Sound(2.5, [&](double t) {
            double x = 0;
            for (int k = 1; k <= 6; ++k) {
                x += (t < 1 || k % row.every == 0 ? 0.15 : 0.0) * Sine(k * 55.0, t, k);
            }
            return x;
        }));
        double worst_before = 0;
        for (const PitchReading& r : readings) {
            if (r.time > 0.3 && r.time < 1) {
                worst_before = std::max(worst_before, std::abs(Cents(r.hz, 55)));
            }
        }
        EXPECT_LT(worst_before, 0.1) << row.what;
        EXPECT_GE(CountFrom(readings, 1.3), 45u) << row.what;
        EXPECT_LT(WorstCents(readings, row.after, 1.3), 0.1) << row.what;
    }
}

// A note of five partials that steps from `from` to `to` Hz at `change` seconds, without an
// attack, read for 2 s.
std::vector<PitchReading> StepReadings(double from, double to, double change) {
    return Readings(
        Sound(2, [&](double t) { return Partials(t < change ? from : to, t, 1, 5, 0.15); }));
}

// The reading furthest from both notes of a step: how far from the nearer of them, and when.
struct Between {
    double cents = 0;
    double time = 0;
};
Between FurthestFromBoth(const std::vector<PitchReading>& readings, double from, double to) {
    Between worst;
    for (const PitchReading& r : readings) {
        const double off = std::min(std::abs(Cents(r.hz, from)), std::abs(Cents(r.hz, to)));
        if (off > worst.cents) {
            worst = {off, r.time};
        }
    }
    return worst;
}

TEST(Onset, ANewNoteWithoutSilenceReadsFromATenthOfASecondAfterIt) {
    // E2 to A2, A4 to G4, A4 to A#4, C4 to C5 at the same level; readings in between are one
    // or the other. An octave up repeats at the old period too, and the frames that hold both
    // read between them (within 50 cents, never another note). The new note's first readings
    // rest on frames of a few of its periods: A2's within a fifth of a cent, then a tenth.
    const struct {
        double from, to;
        double between; // cents from one or the other, at most, while the frames hold both
    } table[] = {
        {82.407, 110.0, 5}, {440.0, 391.995, 5}, {440.0, 466.164, 5}, {261.626, 523.251, 50}};
    for (const auto& row : table) {
        const double change = 1.2;
        const auto readings = StepReadings(row.from, row.to, change);
        const Between worst = FurthestFromBoth(readings, row.from, row.to);
        EXPECT_LT(worst.cents, row.between) << row.from << " to " << row.to << " at " << worst.time;
        EXPECT_GE(CountFrom(readings, change + 0.1), 25u) << row.to;
        EXPECT_LT(WorstCents(readings, row.to, change + 0.1), 0.2) << row.to;
        EXPECT_LT(WorstCents(readings, row.to, change + 0.15), 0.1) << row.to;
    }
}

TEST(Onset, ANoteStruckAgainAfterSilenceReadsAsItDidTheFirstTime) {
    // The same pluck twice, a second of silence between, the second a whole number of hops
    // after the first: once the silence has left the frames, the second reads as the first did,
    // as soon and as near. The coarse pitches heard in the note before are stale: none of them
    // confirms the new note's a hop sooner.
    const double hop = 1103.0 / kRate, first = 0.3;
    for (double hz : {110.0, 196.0, 440.0}) {
        const double second = first + std::round(2 / hop) * hop;
        const auto pluck = [&](double since) {
            return since < 0 ? 0.0
                             : std::min(1.0, since / 0.005) * std::exp(-4 * since) *
                                   Partials(hz, since, 1, 6, 0.15);
        };
        const auto once = Readings(Sound(first + 1, [&](double t) { return pluck(t - first); }));
        const auto twice = Readings(Sound(second + 1, [&](double t) {
            return t < first + 1 ? pluck(t - first) : pluck(t - second);
        }));
        ASSERT_FALSE(once.empty()) << hz;
        ASSERT_EQ(CountFrom(twice, second), once.size()) << hz;
        const size_t from = twice.size() - once.size();
        for (size_t i = 0; i < once.size(); ++i) {
            const PitchReading& again = twice[from + i];
            EXPECT_NEAR(again.time - second, once[i].time - first, 1e-6) << hz << " " << i;
            EXPECT_NEAR(Cents(again.hz, once[i].hz), 0, 1e-3) << hz << " " << i;
        }
    }
}

TEST(Onset, ANoteStruckAgainWithoutSilenceStartsAfresh) {
    // A string damped to a tenth over 20 ms and struck again, the new strike swelling in over
    // `rise` seconds (a felt hammer, a soft pluck): the level climbs over two hops, neither of
    // them twice the one before. The note starts afresh there all the same: its readings say
    // so, and none of them mixes the old strike's frames with the new one's.
    const double hop = 1103.0 / kRate;
    const struct {
        double hz, rise, offset; // offset: where in a hop the damping begins, in hops
    } table[] = {{82.407, 0.045, 0.5}, {110.0, 0.05, 0.5}, {164.814, 0.045, 0.5}};
    for (const auto& row : table) {
        const double again = 0.3 + (std::round(1.2 / hop) + row.offset) * hop;
        const auto strike = [&](double since, double phase) {
            return since < 0 ? 0.0
                             : std::min(1.0, since / row.rise) * std::exp(-0.8 * since) *
                                   Partials(row.hz, since + phase, 1, 6, 0.15);
        };
        const auto readings = Readings(Sound(again + 1, [&](double t) {
            const double damped = std::clamp(1 - 0.9 * (t - again) / 0.02, 0.1, 1.0);
            return damped * strike(t - 0.3, 0) + strike(t - again, 0.37);
        }));
        const auto fresh = std::count_if(readings.begin(), readings.end(), [&](const auto& r) {
            return r.time > again && r.onset > again - hop;
        });
        EXPECT_GE(fresh, 30) << row.hz << " Hz, of " << CountFrom(readings, again);
        EXPECT_LT(WorstCents(readings, row.hz, 0.5), 5) << row.hz << " Hz";
    }
}

// Wrong today: a step of less than a semitone without a new attack is followed as a vibrato's
// swing is, and the hop in which it comes reads between the two notes (A2 up 35 cents: 31
// cents off; A4 up 35: 23; A3 down 45: 26; A3 up 35: 8; A3 up 55: 25).
TEST(Onset, DISABLED_ANoteSteppingByLessThanASemitoneReadsOneOrTheOther) {
    const struct {
        double from, to;
    } table[] = {
        {110.0, 112.246}, {440.0, 448.986}, {220.0, 214.355}, {220.0, 224.493}, {220.0, 227.101}};
    for (const auto& row : table) {
        const Between worst =
            FurthestFromBoth(StepReadings(row.from, row.to, 1.2), row.from, row.to);
        EXPECT_LT(worst.cents, 5) << row.from << " to " << row.to << " at " << worst.time;
    }
}

TEST(Onset, APluckOverARingingNoteReadsTheNewNote) {
    // The old note rings on 20 dB down when a string an octave or a twelfth above it is
    // plucked: the new note's period is a multiple of the old one's and the old note's partials
    // still sound, but the attack starts a note afresh, and the newest note is read.
    const struct {
        double from, to;
    } table[] = {{110.0, 220.0}, {110.0, 330.0}, {82.407, 164.814}, {55.0, 110.0}};
    for (const auto& row : table) {
        const double pluck = 1.2;
        const auto readings = Readings(Sound(2.2, [&](double t) {
            const double since = t - pluck;
            const double old = std::exp(-2 * t) * Partials(row.from, t, 1, 6, 0.3);
            return since < 0 ? old
                             : old + std::min(1.0, since / 0.005) * std::exp(-1.5 * since) *
                                         Partials(row.to, since, 1, 6, 0.3);
        }));
        EXPECT_GE(CountFrom(readings, pluck + 0.1), 30u) << row.from << " then " << row.to;
        EXPECT_LT(WorstCents(readings, row.to, pluck + 0.1), 1) << row.from << " then " << row.to;
    }
}

TEST(Onset, ABodysResonanceAtTheAttackIsNotTheString) {
    // A string plucked, and a resonance of its body as loud at first, dying within a tenth of a
    // second: a bass's B1 over one a semitone or two below its fundamental, a steel string's E4
    // over one a semitone under the octave below (where half the partials of that octave
    // sound too), a nylon string's E4 over the air in its body near 106 Hz (where every third
    // partial of A2 sounds: its first a semitone below A2's), and a pluck with its fundamental
    // 19 dB down, where a reading between hops, deciding the octave afresh, read the octave
    // above. The string's second partial says where the string is, and no reading
    // comes near the resonance or another octave. Last, the thump of a pluck 5 % below the
    // fundamental, within its lobe for the first tenth of a second: it pulls the partial's
    // own frequency by up to 20 cents, and the partials above say less of it. Last, a steel
    // string's E2 whose body sounds a semitone under it, over a faint fundamental, while only
    // its partials up to the fourth sound yet.
    const struct {
        double hz, fundamental, resonance, amplitude;
        double first;      // the first reading by this long after the attack, wherever in a hop
        double worst = 20; // cents from the string, every reading
        int last = 8;      // the string's highest partial
    } table[] = {{61.735, 1, 55.0, 0.15, 0.2},          {61.735, 1, 58.27, 0.15, 0.2},
                 {329.63, 1, 155.56, 0.15, 0.065},      {329.63, 1, 158.0, 0.3, 0.065},
                 {329.63, 1, 106.0, 0.3, 0.065},        {122.12, 0.11, 88.5, 0.08, 0.2},
                 {61.735, 1, 58.65, 0.2, 0.2, 13},      {98.0, 1, 93.1, 0.2, 0.075, 13},
                 {146.83, 1, 139.49, 0.2, 0.065, 13},   {196.0, 1, 186.2, 0.2, 0.065, 13},
                 {82.407, 0.3, 77.8, 0.3, 0.065, 20, 4}};
    for (const auto& row : table) {
        // The attack at every tenth of a hop: each hop's frames hold another share of it.
        for (int offset = 0; offset < 10; ++offset) {
            const double hz = row.hz, attack = 0.3 + offset * 0.0025;
            const auto readings = Readings(Sound(1.2, [&](double t) {
                const double since = t - attack;
                return since < 0 ? 0.0
                                 : std::min(1.0, since / 0.005) *
                                       (std::exp(-1.5 * since) *
                                            (Partials(hz, since, 1, row.last, 0.15) -
                                             (1 - row.fundamental) * 0.15 * Sine(hz, since, 1)) +
                                        row.amplitude * std::exp(-30 * since) *
                                            Sine(row.resonance, since));
            }));
            // The frames of a quarter of a second hold the resonance for a while: within 20
            // cents, then within 1 once they have let go of it; and the string reads all the
            // while, its partials above the first on their line.
            ASSERT_FALSE(readings.empty()) << row.resonance << " attack " << attack;
            EXPECT_LE(readings.front().time, attack + row.first)
                << row.resonance << " attack " << attack;
            EXPECT_GE(CountFrom(readings, attack + 0.15), 29u) << row.resonance;
            EXPECT_GE(CountFrom(readings, attack + 0.35), 20u) << row.resonance;
            EXPECT_LT(WorstCents(readings, hz, 0), row.worst)
                << row.resonance << " attack " << attack;
            EXPECT_LT(WorstCents(readings, hz, attack + 0.35), 1) << row.resonance;
        }
    }
}

TEST(Onset, AReedComingUpToPitchAsItSwellsIsReadWhereItIs) {
    // A3 blown, swelling from -40 dB by 7 dB a hop to full in 143 ms, and coming up from
    // 20 cents flat to its pitch as it swells. Each hop's rise of 6 dB or more starts the note
    // afresh, so that its frames leave the flat start behind; the readings between hops must
    // not take those new starts away (frames that kept the start read 4 cents flat at 150 ms).
    const double hz = 220, flat = 20, swell = 40.0 / 7 * 0.025;
    for (int offset = 0; offset < 5; ++offset) {
        const double attack = 0.3 + offset * 0.005;
        const auto readings = Readings(Sound(1.2, [&](double t) {
            const double since = t - attack;
            if (since < 0) {
                return 0.0;
            }
            const double level = std::min(1.0, std::exp2((-40 + 7 * since / 0.025) / 6.0206));
            // The phase of hz (1 - flat (1 - since / swell) ln 2 / 1200) up to the swell's end.
            const double rising = std::min(since, swell);
            const double turns = hz * since - hz * std::log(2.0) / 1200 * flat *
                                                  (rising - rising * rising / (2 * swell));
            return level * Partials(1, turns, 1, 6, 0.15);
        }));
        EXPECT_GE(CountFrom(readings, attack + 0.15), 40u) << "attack " << attack;
        EXPECT_LT(WorstCents(readings, hz, attack + 0.15), 1) << "attack " << attack;
    }
}

TEST(Onset, TheFirstReadingComesSoonAndIsRight) {
    // Notes plucked after silence, their attacks at every fifth of a hop: the first reading
    // within 5 cents comes 60 ms after the attack at most (the median over the attacks), one
    // within 1 cent that stays by 200 ms; every reading from the first within 5 cents. Some
    // with a fundamental 14 dB below the second partial, whose first hops' periods may be the
    // second partial's and the next hops' the note's. Some blown, swelling from -20 dB by
    // 7.5 dB a hop, each hop a new attack by its level.
    const struct {
        double hz;
        double first;       // the fundamental's amplitude, the k-th partial's 1 / k
        bool blown = false; // swelling to full in 66 ms, else plucked (full in 5 ms)
    } table[] = {{110.0, 1},   {196.0, 1},   {440.0, 1},     {1318.51, 1},     {2637.02, 1},
                 {110.0, 0.2}, {440.0, 0.2}, {1318.51, 0.2}, {220.0, 1, true}, {587.33, 1, true}};
    for (const auto& row : table) {
        const double hz = row.hz;
        std::vector<double> first;
        for (int offset = 0; offset < 5; ++offset) {
            const double attack = 0.3 + offset * 0.005;
            const auto readings = Readings(Sound(1.2, [&](double t) {
                const double since = t - attack;
                const double swell = row.blown ? std::min(1.0, 0.1 * std::exp2(since / 0.02))
                                               : std::min(1.0, since / 0.005);
                return since < 0 ? 0.0
                                 : swell * std::exp(-1.5 * since) *
                                       (Partials(hz, since, 1, 6, 0.15) -
                                        (1 - row.first) * 0.15 * Sine(hz, since, 1));
            }));
            ASSERT_FALSE(readings.empty()) << hz;
            EXPECT_LT(WorstCents(readings, hz, 0), 5) << hz << " attack " << attack;
            EXPECT_LT(WorstCents(readings, hz, attack + 0.2), 1) << hz << " attack " << attack;
            EXPECT_GE(CountFrom(readings, attack + 0.2), 25u) << hz;
            first.push_back(readings.front().time - attack);
        }
        std::sort(first.begin(), first.end());
        EXPECT_LE(first[2], 0.060) << hz << " " << row.first;
    }
}

// For attacks at `phases` places evenly spread over a hop, the points (a third of a hop each)
// from each attack to the first reading within 5 cents of `hz`, sorted; every reading from that
// one on must be within 5 cents, and from `settle` seconds after the attack (0: not asked) at
// least ten, within 1 cent. `note(since)` is the sound `since` seconds after its attack.
std::vector<size_t> PointsToTheFirstReading(double hz, size_t phases, double seconds,
                                            const std::function<double(double)>& note,
                                            double settle = 0) {
    const size_t hop = ListenerHop(NewListener(kRate)), point = hop / 3;
    std::vector<size_t> points;
    for (size_t phase = 0; phase < phases; ++phase) {
        const size_t attack = 12 * hop + 1 + phase * hop / phases;
        const double at = static_cast<double>(attack) / kRate;
        const auto readings =
            Readings(Sound(seconds, [&](double t) { return t < at ? 0.0 : note(t - at); }));
        const auto within = std::find_if(readings.begin(), readings.end(), [&](const auto& r) {
            return std::abs(Cents(r.hz, hz)) < 5;
        });
        if (within == readings.end()) {
            ADD_FAILURE() << hz << " Hz, phase " << phase << ": no reading within 5 cents";
            continue;
        }
        EXPECT_LT(WorstCents(readings, hz, within->time), 5) << hz << " Hz, phase " << phase;
        if (settle > 0) {
            EXPECT_LT(WorstCents(readings, hz, at + settle), 1) << hz << " Hz, phase " << phase;
            EXPECT_GE(CountFrom(readings, at + settle), 10u) << hz << " Hz, phase " << phase;
        }
        const auto heard = static_cast<size_t>(std::lround(within->time * kRate)) - attack;
        points.push_back((heard + point - 1) / point);
    }
    std::sort(points.begin(), points.end());
    return points;
}

TEST(Onset, APluckWithinAHopReadsAtTheNextHopsPoints) {
    // Plucks whose attacks fall anywhere within a hop, at each sixth of it: the points of the
    // hop the attack falls in hear the note already, and the points of the next hop, a hop
    // after them, confirm its pitch. The first reading within 5 cents comes 4 points (a third
    // of a hop each) after half the attacks at most and 5 after any, not at the end of the next
    // hop (4 to 7 points); and every reading from it on is within 5 cents.
    const struct {
        double hz;
        double first; // the fundamental's amplitude, the k-th partial's 1 / k
    } table[] = {{523.25, 1}, {880.0, 1}, {1318.51, 1}, {2637.02, 1}, {440.0, 0.2}, {987.77, 0.2}};
    for (const auto& row : table) {
        const double hz = row.hz;
        const auto points = PointsToTheFirstReading(hz, 6, 0.8, [&](double since) {
            return std::min(1.0, since / 0.005) * std::exp(-1.5 * since) *
                   (Partials(hz, since, 1, 6, 0.15) - (1 - row.first) * 0.15 * Sine(hz, since, 1));
        });
        ASSERT_EQ(points.size(), 6u) << hz;
        EXPECT_LE(points[2], 4u) << hz << " " << row.first;
        EXPECT_LE(points.back(), 5u) << hz << " " << row.first;
    }
}

TEST(Onset, ABowsGlideIntoPitchDoesNotPutOffTheFirstReading) {
    // A bowed note swelling from -20 dB by 6 dB in 20 ms, whose bow catches the string
    // `glide` cents off for its first `hold` seconds, then glides to pitch by e every 3 ms, as a
    // sampled violin's does: the first hop hears another pitch than the second. The points a
    // hop apart within the next hop agree with the second, and the first reading within 5 cents
    // comes 60 ms after the attack at most (the median over the attacks), not a hop later
    // (65 ms); within 1 cent from 150 ms.
    const struct {
        double hz;
        double glide; // cents
        double hold;
    } table[] = {
        {349.23, -100, 0.015}, {349.23, -100, 0.02}, {622.25, 100, 0.02}, {1479.98, -100, 0.02}};
    const double tau = 0.003;
    for (const auto& row : table) {
        std::vector<double> first;
        for (int offset = 0; offset < 5; ++offset) {
            const double attack = 0.3 + offset * 0.005;
            const double k = row.glide * std::numbers::ln2 / 1200;
            const auto readings = Readings(Sound(0.8, [&](double t) {
                const double since = t - attack;
                if (since < 0) {
                    return 0.0;
                }
                const double level = std::min(1.0, 0.1 * std::exp2(since / 0.02));
                const double held = std::min(since, row.hold);
                const double gliding = std::max(0.0, since - row.hold);
                // The phase of hz (1 + k) while held, then of hz (1 + k e^(-gliding / tau)).
                const double turns =
                    row.hz * (since + k * held + k * tau * (1 - std::exp(-gliding / tau)));
                return level * Partials(1, turns, 1, 6, 0.15);
            }));
            const auto within = std::find_if(readings.begin(), readings.end(), [&](const auto& r) {
                return std::abs(Cents(r.hz, row.hz)) < 5;
            });
            ASSERT_NE(within, readings.end()) << row.hz;
            EXPECT_LT(WorstCents(readings, row.hz, attack + 0.15), 1) << row.hz;
            first.push_back(within->time - attack);
        }
        std::sort(first.begin(), first.end());
        EXPECT_LE(first[2], 0.060) << row.hz << " " << row.hold;
    }
}

TEST(Onset, APlucksGlideIsLeftBehindSoon) {
    // A string plucked hard sounds sharp at first and falls to its pitch as it quiets: here 15
    // cents, falling by e every 25 ms. The readings follow it down, and from 150 ms after the
    // attack every one is within half a cent of where it settles: frames that still held the
    // attack read low notes a cent sharp then. A slower glide, 20 cents falling by e every 40
    // ms, is within half a cent from 200 ms: frames of 24 periods of G3 left it 0.7 cent sharp.
    const struct {
        double hz, cents, fall, from;
    } table[] = {{98.0, 15, 0.025, 0.15},
                 {146.83, 15, 0.025, 0.15},
                 {220.0, 15, 0.025, 0.15},
                 {440.0, 15, 0.025, 0.15},
                 {196.0, 20, 0.04, 0.2}};
    for (const auto& row : table) {
        const double hz = row.hz, attack = 0.3, glide = std::exp2(row.cents / 1200) - 1,
                     fall = row.fall;
        const auto readings = Readings(Sound(1.2, [&](double t) {
            const double since = t - attack;
            // The phase of a frequency hz (1 + glide e^(-since / fall)).
            const double turns = hz * (since + glide * fall * (1 - std::exp(-since / fall)));
            return since < 0 ? 0.0
                             : std::min(1.0, since / 0.005) * std::exp(-1.5 * since) * 0.3 *
                                   (std::sin(2 * std::numbers::pi * turns) +
                                    0.5 * std::sin(4 * std::numbers::pi * turns + 1) +
                                    0.3 * std::sin(6 * std::numbers::pi * turns + 2));
        }));
        EXPECT_GE(CountFrom(readings, attack + row.from), 29u) << hz;
        EXPECT_LT(WorstCents(readings, hz, attack + row.from), 0.5) << hz;
    }
}

TEST(Onset, AStiffLowPluckReadsOnceTwoPointsAHopApartAgree) {
    // A low string plucked hard: its partials stretched (f_k = k f0 sqrt(1 + b k^2)) and of
    // uneven strength up to 5 kHz, the upper ones dying sooner, and its pitch falling 8 cents by
    // e every 30 ms. While the upper partials ring, no one lag repeats them, and the first coarse
    // pitch comes two hops and more after the attack; two points a hop apart agree from the
    // hop after. The first reading within 5 cents comes 12 points (a third of a hop each) after
    // the attack at most (the median over attacks a fifth of a hop apart), not at the hop's end
    // after them; every reading from it on is within 5 cents, and from 300 ms within 1 cent.
    const struct {
        double hz, b;
    } table[] = {{41.2, 2e-4}, {41.2, 4e-4}, {55.0, 2e-4}, {55.0, 4e-4}};
    for (const auto& row : table) {
        const double f1 = row.hz * std::sqrt(1 + row.b), glide = std::exp2(8.0 / 1200) - 1;
        const auto points = PointsToTheFirstReading(
            f1, 5, 0.9,
            [&](double since) {
                const double turns = since + glide * 0.03 * (1 - std::exp(-since / 0.03));
                double x = 0;
                for (int k = 1; k * row.hz * std::sqrt(1 + row.b * k * k) < 5000; ++k) {
                    const double hz = k * row.hz * std::sqrt(1 + row.b * k * k);
                    x += (0.6 + 0.4 * std::sin(1.7 * k * k)) *
                         std::exp(-since * (0.5 + 1e-5 * hz * hz)) * Sine(hz, turns, 2.3 * k * k);
                }
                return std::min(1.0, since / 0.002) * 0.01 * x;
            },
            0.3);
        ASSERT_EQ(points.size(), 5u) << row.hz << " " << row.b;
        EXPECT_LE(points[2], 12u) << row.hz << " " << row.b;
    }
}

} // namespace
