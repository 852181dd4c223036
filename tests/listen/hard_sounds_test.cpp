// Sounds that lead an estimator to a confident wrong note: a fundamental that fades, two notes
// at once, hum, DC, noise as loud as the tone, tones above the highest note. Each reads right
// or gives no reading.
#include "listen/listener.h"
#include "sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <span>
#include <utility>
#include <vector>

namespace {

using namespace listen_test;

// A plucked string's partial: `amplitude` at the attack (5 ms), decaying by `decay` per second.
double Plucked(double hz, double t, double amplitude, double decay, double phase = 0) {
    return amplitude * std::min(1.0, t / 0.005) * std::exp(-decay * t) * Sine(hz, t, phase);
}

// Partials `first`, `first` + 1, ... of `hz`, each `db` (dB) under `scale`.
double AtDb(double hz, double t, int first, std::span<const double> db, double scale = 0.3) {
    double x = 0;
    for (size_t i = 0; i < db.size(); ++i) {
        const double k = first + static_cast<double>(i);
        x += scale * std::pow(10, db[i] / 20) * Sine(k * hz, t, k);
    }
    return x;
}

TEST(HardSounds, ANoteKeepsItsOctaveWhileItSounds) {
    const struct {
        const char* what;
        double hz;
        double seconds;
        std::function<double(double hz, double t)> at;
        double settled_cents = 0.1; // the worst reading from 0.3 s on
    } table[] = {
        // The fundamental falls below the second partial after 0.2 s and 30 dB below it by 3 s.
        {"a guitar's low E left to ring", 82.407, 5,
         [](double hz, double t) {
             return Plucked(hz, t, 0.3, 1.5) + Plucked(2 * hz, t, 0.25, 0.4, 1) +
                    Plucked(3 * hz, t, 0.08, 0.6, 2) + Plucked(4 * hz, t, 0.06, 0.8, 3) +
                    Plucked(5 * hz, t, 0.03, 1.0, 4);
         }},
        // The fundamental ends (-60 dB by 2.5 s); the second and third partials ring on.
        {"a bass's A1 whose fundamental ends", 55.0, 4,
         [](double hz, double t) {
             return Plucked(hz, t, 0.3, 3) + Plucked(2 * hz, t, 0.3, 0.3, 1) +
                    Plucked(3 * hz, t, 0.05, 0.5, 2) + Plucked(4 * hz, t, 0.1, 0.4, 3);
         }},
        // Likewise, its third partial sounding on 35 dB under its second: the period is still
        // A1's, and a partial off the multiples of A2 holds the note there.
        {"a bass's A1 whose fundamental ends, its third 35 dB under its second", 55.0, 3,
         [](double hz, double t) {
             return Plucked(hz, t, 0.3, 3) + Plucked(2 * hz, t, 0.3, 0, 1) +
                    Plucked(3 * hz, t, 0.3 * std::pow(10, -35.0 / 20), 0, 2) +
                    Plucked(4 * hz, t, 0.1, 0, 3);
         }},
        // The fundamental 20 dB below the second partial from the attack on.
        {"a weak fundamental", 98.0, 2,
         [](double hz, double t) {
             return Plucked(hz, t, 0.03, 0) + Plucked(2 * hz, t, 0.3, 0, 1) +
                    Plucked(3 * hz, t, 0.05, 0, 2) + Plucked(4 * hz, t, 0.1, 0, 3);
         }},
        // A first partial 25 cents sharp of its second's half, the odd partials above it
        // silent: the note's own first partial speaking apart (an organ pipe's, a nylon
        // string's at the attack), not another sound's that would leave the octave above.
        {"a first partial apart from the rest", 116.54, 2,
         [](double hz, double t) {
             return Plucked(hz * std::exp2(25.0 / 1200), t, 0.15, 0) +
                    Plucked(2 * hz, t, 0.3, 0, 1) + Plucked(4 * hz, t, 0.05, 0, 3) +
                    Plucked(6 * hz, t, 0.04, 0, 4);
         }},
        // A low piano string's first partial 18 dB under its second, and 4 cents under where
        // the stiff line of the partials above it puts it (the soundboard pulls the lowest
        // partial of a bass string): the partial sounds, and its own frequency is the pitch.
        {"a low string's weak first partial off its line", 65.406, 2,
         [](double hz, double t) {
             const double b = 1.3e-4, f0 = hz * std::exp2(4.0 / 1200) / std::sqrt(1 + b);
             double x = Plucked(hz, t, 0.03, 0);
             for (int k = 2; k <= 6; ++k) {
                 x += Plucked(k * f0 * std::sqrt(1 + b * k * k), t, 0.5 / k, 0, k);
             }
             return x;
         }},
        // An FM organ's C2 through a phone: its partials 6, 9 and 12 hollow, 30 dB and more under
        // their neighbours, as a frequency-modulated tone's are, and the high-pass leaves its
        // fundamental 37 dB under the strongest. Its 5th and 7th sound: no two notes a fifth
        // apart, whose common partials' gaps these would be, have either.
        {"an FM organ's C2 through a phone", 65.406, 2,
         [](double hz, double t) {
             const double db[] = {-0.9,  -0.4,  -24.8, 0,     -7.6,  -43.1, -7.4,  -13.1,
                                  -37.3, -12.7, -15.9, -54.6, -15.6, -24,   -32.8, -23.8};
             double x = 0;
             for (int k = 1; k <= 16; ++k) {
                 x += 0.1 * std::pow(10, db[k - 1] / 20) * Phone(k * hz, 184) * Sine(k * hz, t, k);
             }
             return x;
         }},
        // A low string through a phone that cuts its first partial to 29 dB under its third:
        // its 3rd alone stands as loud as its even ones, those above its 4th faint. No chord's
        // fifth and tenth, whose two tones would both count.
        {"a low string through a phone", 82.407, 2,
         [](double hz, double t) {
             const double db[] = {-29, -1, 0, -24, -31, -29, -23, -33, -32, -36, -35};
             return AtDb(hz, t, 1, db);
         }},
        // A bowed string's G3 as it speaks through a phone: its first partial gone, its 3rd the
        // strongest, the 5th counting too and those above it faint. Not a chord's fifth and
        // tenth, which stand under the note an octave up.
        {"a bowed string's 3rd the strongest, its first gone", 196, 2,
         [](double hz, double t) {
             const double db[] = {-12, 0, -12, -11, -15, -27};
             return AtDb(hz, t, 2, db);
         }},
        // A peak 60 cents off where the first partial would be, loud enough to count (a pipe's
        // speech, a body's resonance), over a note whose 3rd and 5th count and nothing above its
        // 6th: they are the note's own, not a chord's fifth and tenth, which leave the first
        // place empty. The peak pulls the line of the partials two cents sharp.
        {"a loud peak off the first partial's place, the 3rd and 5th counting", 261.63, 2,
         [](double hz, double t) {
             const double db[] = {-2, -6, 0, -14, -9}; // from the 2nd
             return 0.3 * std::pow(10, -12.0 / 20) * Sine(hz * std::exp2(60.0 / 1200), t, 1) +
                    AtDb(hz, t, 2, db);
         },
         3},
        // An organ's soft lower rank under a loud one an octave above it: the lower octave's
        // first and odd partials each 21 dB under the loud rank's first, too faint to count one
        // by one, but steady and one after another. The sound repeats at the lower octave.
        {"a soft lower rank's odd partials under a loud rank", 130.81, 2,
         [](double hz, double t) {
             double x = 0.2 * Sine(2 * hz, t, 2) + 0.06 * Sine(4 * hz, t, 4);
             for (int k = 1; k <= 11; k += 2) {
                 x += 0.2 * std::pow(10, -21.0 / 20) * Sine(k * hz, t, k);
             }
             return x;
         }},
        // Likewise with no first partial at all, the odd ones 16 dB under the second: they
        // count, and not the 3rd and 5th alone, as a chord's fifth and tenth would.
        {"a soft lower rank's odd partials up to the 9th, without its first", 130.81, 2,
         [](double hz, double t) {
             double x = 0.2 * Sine(2 * hz, t, 2) + 0.1 * Sine(4 * hz, t, 4) +
                        0.05 * Sine(6 * hz, t, 6) + 0.03 * Sine(8 * hz, t, 8);
             for (int k = 3; k <= 9; k += 2) {
                 x += 0.2 * std::pow(10, -16.0 / 20) * Sine(k * hz, t, k);
             }
             return x;
         }},
    };
    for (const auto& row : table) {
        const auto readings =
            Readings(Sound(row.seconds, [&](double t) { return row.at(row.hz, t); }));
        // Forty readings a second from a tenth of a second on, each the note, not an octave.
        EXPECT_GE(CountFrom(readings, 0.1), static_cast<size_t>(39 * (row.seconds - 0.1)))
            << row.what;
        EXPECT_LT(WorstCents(readings, row.hz, 0), 5.0) << row.what;
        EXPECT_LT(WorstCents(readings, row.hz, 0.3), row.settled_cents) << row.what;
    }
}

// A piano's low E: its fundamental silent, its second partial the loudest, the others 20 dB
// under it and fading, the third and fourth each from two strings a hair apart. As their
// beats pull the partials off their line, a frame now and then finds none that reads, while
// the sound's period is the second partial's: the note sounds on at its octave through them.
TEST(HardSounds, ALowPianoStringKeepsItsOctaveThroughItsBeats) {
    const double e1 = 41.2;
    const struct {
        int number;
        double db;    // to the second partial
        double apart; // Hz, the second string's, 0 for one string
    } partials[] = {{3, -21, 1.3}, {4, -17, 0.9}, {5, -28, 0},  {6, -28, 0}, {7, -19, 0},
                    {9, -22, 0},   {10, -21, 0},  {11, -17, 0}, {12, -19, 0}};
    const auto readings = Readings(Sound(5, [&](double t) {
        double x = 0.3 * Sine(2 * e1, t);
        for (const auto& p : partials) {
            const double amplitude = 0.3 * std::pow(10, p.db / 20) * std::exp(0.2 * (2.5 - t));
            x += amplitude * Sine(p.number * e1, t, p.number);
            if (p.apart > 0) {
                x += 0.8 * amplitude * Sine(p.number * e1 + p.apart, t, 2 * p.number);
            }
        }
        return x * std::exp(-0.1 * t);
    }));
    EXPECT_GE(CountFrom(readings, 0.1), 190u);
    EXPECT_LT(WorstCents(readings, e1, 0.1), 50);
}

// A low E rung out into the noise floor of a quiet room: as it fades, more and more hops hear
// only noise, whose periods are none; the note it still is when it comes through keeps its
// octave, and nothing else is named.
TEST(HardSounds, ANoteFadingIntoNoiseIsItselfOrNothing) {
    std::mt19937 random(3);
    std::normal_distribution<double> floor(0, 0.002);
    const double e2 = 82.407;
    const auto readings = Readings(Sound(10, [&](double t) {
        return Plucked(e2, t, 0.3, 1.5) + Plucked(2 * e2, t, 0.25, 0.6, 1) +
               Plucked(3 * e2, t, 0.08, 0.8, 2) + Plucked(4 * e2, t, 0.06, 1.0, 3) + floor(random);
    }));
    EXPECT_GE(CountFrom(readings, 0.1), 150u);
    EXPECT_LT(WorstCents(readings, e2, 0), 5.0) << readings.back().time;
}

// An organ's 16' rank speaks more slowly than its 8': the key's note is heard first, then the
// octave below it, the sound's own first partial from then on. Its period is twice the 8'
// rank's: what sounds is the lower octave, and a note held at the octave of its attack would
// read an octave off for as long as the key is down.
TEST(HardSounds, AnOrgansLowerRankSpeakingLateTakesTheNoteDown) {
    const double e4 = 329.628, e3 = 164.814;
    const auto readings = Readings(Sound(2, [&](double t) {
        const double rank16 = std::clamp((t - 0.15) / 0.05, 0.0, 1.0);
        return Partials(e4, t, 1, 6, 0.3) + rank16 * Partials(e3, t, 1, 5, 0.07);
    }));
    ASSERT_FALSE(readings.empty());
    EXPECT_LT(WorstCents(std::vector(readings.begin(), readings.begin() + 2), e4, 0), 5.0);
    EXPECT_GE(CountFrom(readings, 0.5), 59u);
    EXPECT_LT(WorstCents(readings, e3, 0.5), 0.1);
}

// An organ's 8', 4' and 2' ranks together: the 4' and 2' pipes sound the 8' rank's even partials
// again, and its odd ones stand 25 dB under them. Through a phone's high-pass, its fundamental
// too falls 20 dB and more under the strongest: only its even partials are loud, as the octave
// above's would be. Its odd ones still sound, one after another and on its line: the note keeps
// its octave.
// Disabled: a flute's faint lower octave under a chord has the same odd series, 28 dB under, and
// must not take its octave down (AChordUnderABlownNote...); the two are not told apart yet.
TEST(HardSounds, DISABLED_AnOrganThroughAPhoneKeepsItsOctave) {
    const double db[] = {-12.6, -11.1, -26.2, 0,     -25.9, -14.4, -26,
                         -3.4,  -27.7, -22.1, -34.5, -16.2, -43.6};
    for (const double hz : {130.813, 65.406}) {
        for (const double corner : {150.0, 173.0, 200.0}) {
            const auto readings = Readings(Sound(2, [&](double t) {
                double x = 0;
                for (int k = 1; k <= 13; ++k) {
                    x += 0.15 * std::pow(10, db[k - 1] / 20) * Phone(k * hz, corner) *
                         Sine(k * hz, t, k);
                }
                return x;
            }));
            EXPECT_GE(CountFrom(readings, 0.5), 59u) << hz << " Hz, " << corner << " Hz";
            EXPECT_LT(WorstCents(readings, hz, 0.5), 0.1) << hz << " Hz, " << corner << " Hz";
        }
    }
}

// A quiet tone an octave below a held bright note (another instrument's, far off) comes in
// late: its fundamental and third lie between the note's partials, but it holds under a
// hundredth of the sound's power, and the sound repeats hardly better at its period. The note
// keeps its octave.
TEST(HardSounds, AQuietToneAnOctaveBelowAHeldNoteLeavesItsOctave) {
    const double a3 = 220, a2 = 110;
    const auto readings = Readings(Sound(2, [&](double t) {
        double x = 0;
        for (int k = 1; k <= 16; ++k) {
            x += 0.03 * Sine(k * a3, t, k);
        }
        const double joins = std::clamp((t - 0.5) / 0.05, 0.0, 1.0);
        return x + joins * (0.0095 * Sine(a2, t) + 0.003 * Sine(3 * a2, t, 1));
    }));
    EXPECT_GE(CountFrom(readings, 0.7), 50u);
    EXPECT_LT(WorstCents(readings, a3, 0), 5.0);
}

} // namespace

namespace {

// Partials 1 to 6 of `hz` at `scale` / k.
double Tone(double hz, double t, double scale) {
    return Partials(hz, t, 1, 6, scale);
}

// Whether `hz` is within 50 cents of one of `notes`.
bool OneOf(double hz, const std::vector<double>& notes) {
    return std::any_of(notes.begin(), notes.end(),
                       [&](double note) { return std::abs(Cents(hz, note)) < 50; });
}

TEST(HardSounds, TwoNotesAtOnceReadAsOneOfThemOrNone) {
    const struct {
        const char* what;
        std::vector<double> notes;
        double joins;         // seconds after which the second note comes in
        double others = 1;    // the amplitude of the notes after the first, to the first's
        double resonance = 0; // Hz of a body's resonance 16 dB under the first note, or 0
        int first = 1;        // the first note's lowest partial: a nylon E2's fundamental is faint
    } table[] = {
        // Their common period is A0's, F1's and E1's: notes nobody played.
        {"E2 and A2", {82.407, 110.0}, 0},
        {"A3 and C4", {220.0, 261.626}, 0},
        {"E2 and B2", {82.407, 123.471}, 0},
        // A guitar body's resonance 150 cents above A1, which E2 and A2 share partials 2, 3, 4
        // and 6 of: found as A1's first partial, another sound's, it must not make them one.
        {"E2 and A2 over a resonance at 60 Hz", {82.407, 110.0}, 0, 1, 60, 2},
        {"E2, then A2 with it", {82.407, 110.0}, 1},
        {"A2, then E3 with it", {110.0, 164.814}, 1},
        {"C4, E4 and G4", {261.626, 329.628, 391.995}, 0},
        // Quieter notes a fifth and a tenth above, on the odd partials of the octave below:
        // the sound is that octave's without its fundamental, but the note played is the first.
        {"E2 with B2 and G#3 10 dB under it", {82.407, 123.471, 207.652}, 0, 0.316},
        {"E2 with B2 and G#3 18 dB under it", {82.407, 123.471, 207.652}, 0, 0.126},
        {"C4 with G4 and E5 10 dB under it", {261.626, 391.995, 659.255}, 0, 0.316},
        {"C4 with G4 and E5 18 dB under it", {261.626, 391.995, 659.255}, 0, 0.126},
    };
    for (const auto& row : table) {
        const auto readings = Readings(Sound(2.5, [&](double t) {
            double x =
                Partials(row.notes[0], t, row.first, 6, 0.15) + 0.024 * Sine(row.resonance, t);
            for (size_t i = 1; i < row.notes.size(); ++i) {
                x += t >= row.joins ? Tone(row.notes[i], t, 0.15 * row.others) : 0;
            }
            return x;
        }));
        const auto other =
            std::find_if(readings.begin(), readings.end(),
                         [&](const PitchReading& r) { return !OneOf(r.hz, row.notes); });
        EXPECT_EQ(std::count_if(other, readings.end(),
                                [&](const PitchReading& r) { return !OneOf(r.hz, row.notes); }),
                  0)
            << row.what << ": " << (other != readings.end() ? other->hz : 0) << " Hz at "
            << (other != readings.end() ? other->time : 0) << ", of " << readings.size();
        if (row.joins > 0) {
            // Alone, the first note reads.
            EXPECT_GE(CountFrom(readings, 0.2) - CountFrom(readings, row.joins), 30u) << row.what;
        }
        if (row.others < 1) {
            // The loudest and lowest note played reads throughout.
            EXPECT_GE(CountFrom(readings, 0.2), 80u) << row.what;
            EXPECT_LT(WorstCents(readings, row.notes[0], 0), 50) << row.what;
        }
    }
}

// The level of a part of a sound that is not there at all (dB).
constexpr double kNone = -std::numeric_limits<double>::infinity();

// A note struck with a chord whose fifth and tenth above it (the 3rd and 5th partials of the
// octave below) ring on as the chord's strings do, while the note's own partials die faster the
// higher they lie: late in the note, what sounds is the octave below's partials 2 to 5 without
// its fundamental, or with a faint steady tone there that never comes to count. The note keeps
// its octave, or gives no reading; never the octave below.
TEST(HardSounds, AChordRingingOnUnderANoteNeverTakesItsOctaveDown) {
    const struct {
        const char* what;
        double hz;
        int partials;
        double decay;            // per second, of the first partial; the k-th dies k times as fast
        double swell;            // seconds the note takes to speak (a bow, a breath)
        double chord_db;         // the chord's tones under the note's first partial at the attack
        double lower_db = kNone; // a steady tone at the octave below, likewise
    } table[] = {
        {"A4 plucked", 440, 8, 0.6, 0.005, 12},
        {"E4 plucked", 329.628, 8, 0.6, 0.005, 12},
        {"A4 plucked, the chord 16 dB under", 440, 8, 0.6, 0.005, 16},
        {"E4 plucked, a faint tone at the octave below", 329.628, 8, 0.6, 0.005, 12, -40},
        // The note dies away under the chord: what is left is the octave below's 3rd and 5th.
        {"E5 plucked short", 659.255, 6, 2, 0.005, 12},
        {"A4 plucked short", 440, 8, 2.5, 0.005, 14},
        {"G6 bowed, speaking after the chord", 1567.98, 3, 0, 0.1, 11},
        {"A5 blown, speaking after the chord", 880, 4, 0, 0.06, 10},
    };
    for (const auto& row : table) {
        const double chord = 0.3 * std::pow(10, -row.chord_db / 20);
        const auto readings = Readings(Sound(3, [&](double t) {
            const double speaks = std::min(1.0, t / row.swell);
            double x = 0;
            for (int k = 1; k <= row.partials; ++k) {
                x += speaks * 0.3 / k * std::exp(-k * row.decay * t) * Sine(k * row.hz, t, k);
            }
            return x +
                   chord * std::exp(-0.5 * t) * (Sine(1.5 * row.hz, t) + Sine(2.5 * row.hz, t)) +
                   0.3 * std::pow(10, row.lower_db / 20) * Sine(row.hz / 2, t);
        }));
        const auto below =
            std::count_if(readings.begin(), readings.end(), [&](const PitchReading& r) {
                return std::abs(Cents(r.hz, row.hz / 2)) < 50;
            });
        EXPECT_EQ(below, 0) << row.what << ", of " << readings.size();
        // While it sounds above the chord, the note reads: half a second of hops at least.
        EXPECT_GE(
            std::count_if(readings.begin(), readings.end(),
                          [&](const PitchReading& r) { return std::abs(Cents(r.hz, row.hz)) < 5; }),
            20)
            << row.what;
    }
}

// A reed's E3 speaking slowly (its level the square of a rise over 80 or 120 ms, after silence)
// while a struck chord's fifth and tenth over it sound at once, 15 and 11 dB under its power.
// For its first hops the chord's G#4 is the loudest, but named from itself and the note's 5th
// partial it leaves a third of the sound between them, on frames too short to part the note's
// partials: the first reading waits for the note.
TEST(HardSounds, AChordUnderANoteStillSpeakingNamesNoneOfItsTones) {
    const double e3 = 164.814, silence = 0.25;
    const double db[] = {0, -24.7, -4.9, -19.6, -8, -44, -17.5};
    double power = 0;
    for (const double d : db) {
        power += std::pow(0.2 * std::pow(10, d / 20), 2) / 2;
    }
    for (const double rise : {0.08, 0.12}) {
        const auto readings = Readings(Sound(1.5, [&](double t) {
            const double since = t - silence;
            if (since < 0) {
                return 0.0;
            }
            double chord = 0;
            for (const auto& [multiple, under] : {std::pair{1.5, 14.8}, std::pair{2.5, 11.2}}) {
                chord +=
                    std::sqrt(2 * power / std::pow(10, under / 10)) * Sine(multiple * e3, since);
            }
            const double speaks = std::pow(std::min(1.0, since / rise), 2);
            return speaks * AtDb(e3, since, 1, db, 0.2) + std::exp(-0.5 * since) * chord;
        }));
        EXPECT_LT(WorstCents(readings, e3, 0), 5.0) << rise;
        EXPECT_GE(CountFrom(readings, silence + 0.25), 39u) << rise;
    }
}

// A bowed G2 whose body leaves its 3rd, 6th and 9th partials the loudest once its first ones
// fade after the attack, a chord's fifth and tenth ringing under it: the sound repeats at the
// lower octave's period, and the lower octave tried for the held note numbers the chord's fifth
// and the note's multiples of 3 alone. They are no new note: the held note keeps its pitch, not
// its 3rd partial's nor the chord's fifth's.
TEST(HardSounds, AChordUnderABowedNoteOfLoudThirdPartialsLeavesItsPitch) {
    const double g2 = 98.06;
    const std::pair<int, double> loud[] = {
        {1, 0.02}, {2, 0.015}, {3, 0.32},   {4, 0.019}, {5, 0.077},  {6, 1},     {8, 0.01},
        {9, 0.47}, {10, 0.02}, {12, 0.105}, {14, 0.03}, {18, 0.084}, {21, 0.27}, {24, 0.068}};
    for (const double chord_db : {10.0, 12.0}) {
        const auto readings = Readings(Sound(3, [&](double t) {
            double x = 0;
            for (int k = 1; k <= 24; ++k) {
                const auto it = std::find_if(std::begin(loud), std::end(loud),
                                             [&](const auto& p) { return p.first == k; });
                const double late = it == std::end(loud) ? 0.005 : it->second;
                const double attack = k <= 5 ? std::exp(-t / 0.3) / k : 0;
                x += (late + attack) * Sine(k * g2, t, k);
            }
            const double chord = std::pow(10, -chord_db / 20) * std::exp(-0.5 * t);
            x += chord * (Sine(1.5 * g2, t) + Sine(2.5 * g2, t));
            return 0.05 * std::min(1.0, t / 0.1) * x;
        }));
        const auto off =
            std::count_if(readings.begin(), readings.end(),
                          [&](const PitchReading& r) { return std::abs(Cents(r.hz, g2)) > 50; });
        EXPECT_EQ(off, 0) << "the chord " << chord_db << " dB under, of " << readings.size();
        EXPECT_GE(CountFrom(readings, 0.5), 90u) << chord_db << " dB";
    }
}

// A blown or bowed note whose jet or bow sounds its lower octave faintly, at the first and every
// odd place of it, or not at all, in the breath's noise, and a chord's fifth and tenth ringing
// under it: on the lower octave's places only the chord's two tones stand out, as loud as the
// note's own partials while a bowed note still speaks. The note keeps its octave; never the
// octave below.
TEST(HardSounds, AChordUnderABlownNoteWithAFaintLowerOctaveNeverTakesItDown) {
    const struct {
        const char* what;
        double hz;
        std::vector<double> note_db; // partials 1, 2, ... to the first
        double swell;                // seconds the note takes to speak
        double chord_db;             // the chord's tones under the note's first
        double lower_db;             // each of the lower octave's odd partials, likewise
        double breath;               // the amplitude of each of the breath's sines
        int sines = 200;             // how many, 300 Hz to 6 kHz
        double third_cents = NAN;    // a third chord tone this far off the note's 3rd partial
    } table[] = {
        // A flute's G4: partials 1, 3 and 5 strong, 2 and 4 weak.
        {"G4 blown, the lower octave 28 dB under",
         397.75,
         {0, -21, -10, -23, -13, -20},
         0.06,
         15,
         -28,
         0},
        {"G4 blown, the lower octave 30 dB under, in breath 20 dB under",
         397.75,
         {0, -21, -10, -23, -13, -20},
         0.06,
         15,
         -30,
         0.003},
        {"G6 bowed, speaking after the chord", 1567.98, {0, -9, -25, -26}, 0.3, 11, -30, 0},
        // A flute's A5 and D5 with no lower octave at all: partials 1 to 8, the odd ones weaker,
        // in a breath 14 dB under them that fills every odd place of the octave below, the
        // first too, and the chord's two tones standing out of it, the only odd partials there
        // that count.
        {"A5 blown, in breath, the chord 10 dB under",
         880,
         {0, -14, -22, -18, -28, -24, -34, -30},
         0.03,
         10,
         kNone,
         0.002,
         1000},
        {"D5 blown, in breath, the chord 17 dB under",
         587.33,
         {0, -14, -22, -18, -28, -24, -34, -30},
         0.03,
         17,
         kNone,
         0.002,
         1000},
        // A chord's third tone 25 cents under the note's 3rd partial: on an even place of the
        // lower octave, a little off its line.
        {"G4 blown, a chord's tone 25 cents under its 3rd partial",
         397.75,
         {0, -21, -10, -23, -13, -20},
         0.06,
         15,
         -28,
         0,
         200,
         -25},
    };
    for (const auto& row : table) {
        std::mt19937 random(7);
        std::uniform_real_distribution<double> uniform(0, 1);
        std::vector<std::pair<double, double>> band; // Hz, phase
        for (int i = 0; i < row.sines; ++i) {
            band.emplace_back(300 + 5700 * uniform(random), 2 * std::numbers::pi * uniform(random));
        }
        const auto readings = Readings(Sound(2.5, [&](double t) {
            double x = AtDb(row.hz, t, 1, row.note_db);
            for (int k = 1; k <= 13; k += 2) {
                x += 0.3 * std::pow(10, row.lower_db / 20) * Sine(k * row.hz / 2, t, k);
            }
            for (const auto& [hz, phase] : band) {
                x += row.breath * Sine(hz, t, phase);
            }
            const double chord = 0.3 * std::pow(10, -row.chord_db / 20) * std::exp(-0.5 * t);
            const double third = std::isnan(row.third_cents)
                                     ? 0
                                     : Sine(3 * row.hz * std::exp2(row.third_cents / 1200), t);
            return std::min(1.0, t / row.swell) * x +
                   chord * (Sine(1.5 * row.hz, t) + Sine(2.5 * row.hz, t) + third);
        }));
        const auto below =
            std::count_if(readings.begin(), readings.end(), [&](const PitchReading& r) {
                return std::abs(Cents(r.hz, row.hz / 2)) < 50;
            });
        EXPECT_EQ(below, 0) << row.what << ", of " << readings.size();
        EXPECT_GE(CountFrom(readings, 0.4), 70u) << row.what;
    }
}

// A peak near where a note's fundamental would be but a semitone or so off it, beside that
// note's partials 2, 4, 6 and 7 alone (a low string's upper partials through a microphone that
// cuts all below 200 Hz fall near such a series): the peak is another sound, no fundamental,
// and the note it would make up is not there to be named.
TEST(HardSounds, AStrayPeakUnderPartialsMakesUpNoNote) {
    const double note = 205;
    for (double cents : {-100.0, 80.0}) {
        const double peak = note * std::exp2(cents / 1200);
        const auto readings = Readings(Sound(2, [&](double t) {
            return 0.2 * Sine(peak, t) + 0.3 * Sine(2 * note, t, 1) + 0.15 * Sine(4 * note, t, 2) +
                   0.07 * Sine(6 * note, t, 3) + 0.07 * Sine(7 * note, t, 4);
        }));
        for (const PitchReading& r : readings) {
            EXPECT_TRUE(OneOf(r.hz, {peak, 2 * note}))
                << cents << ": " << r.hz << " Hz at " << r.time;
        }
    }
}

// A plucked string's first partial settling up to its line: at the attack it sounds 40 to 50
// cents under its second's half, as the pluck's displacement relaxes, its 4th the loudest and
// its 2nd, 3rd, 5th and 6th faint. The line through the first two partials then says a string
// far stiffer than any at that pitch, and a search led along it numbers the partials above it
// wrong, the odd places of the numbering empty: the octave above, which the note is not.
TEST(HardSounds, APluckedFirstPartialSettlingUpNamesNoOctaveAbove) {
    const double a3 = 218.9;
    const double amplitude[] = {0.34, 0.06, 0.07, 1,    0.1,  0.1,  0.3,
                                0.3,  0.38, 0.06, 0.19, 0.22, 0.14, 0.05};
    const struct {
        double cents;   // the first partial's at the attack
        double seconds; // the time it settles in (to 1 / e)
    } table[] = {{-40, 0.1}, {-45, 0.08}, {-50, 0.12}};
    for (const auto& row : table) {
        const double flat = 1 - std::exp2(row.cents / 1200);
        const auto readings = Readings(Sound(1.5, [&](double t) {
            const double settling = flat * row.seconds * (1 - std::exp(-t / row.seconds));
            double x = amplitude[0] * Sine(a3, t - settling, 1);
            for (int k = 2; k <= static_cast<int>(std::size(amplitude)); ++k) {
                x += amplitude[k - 1] * Sine(k * a3, t, k);
            }
            return 0.05 * std::min(1.0, t / 0.005) * std::exp(-0.5 * t) * x;
        }));
        const auto off =
            std::count_if(readings.begin(), readings.end(),
                          [&](const PitchReading& r) { return std::abs(Cents(r.hz, a3)) > 50; });
        EXPECT_EQ(off, 0) << row.cents << " cents, settling in " << row.seconds << " s";
        EXPECT_GE(CountFrom(readings, 0.2), 50u) << row.cents << " cents";
    }
}

TEST(HardSounds, HumDcAndNoiseLeaveTheNoteItsReading) {
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 1);
    const struct {
        const char* what;
        double hz;
        std::function<double(double)> at;
        double within; // cents, from 0.3 s on
    } table[] = {
        // A plucked A2, its fundamental 14 dB below its second partial, over a faint hum.
        {"A2 over 50 Hz hum at -46 dBFS", 110.0,
         [](double t) {
             return 0.005 * Sine(50, t) + Partials(110, t, 1, 8, 0.3, 0) - 0.27 * Sine(110, t, 1);
         },
         0.1},
        // Mains hum 14 dB under the note, and its third 24 dB under it: the first and third
        // partials of the octave below, a period twice the note's.
        {"100 Hz over 50 and 150 Hz hum", 100.0,
         [](double t) {
             return 0.036 * Sine(50, t) + 0.0115 * Sine(150, t, 1) + Partials(100, t, 1, 6, 0.15);
         },
         5},
        {"120 Hz over 60 and 180 Hz hum", 120.0,
         [](double t) {
             return 0.036 * Sine(60, t) + 0.0115 * Sine(180, t, 1) + Partials(120, t, 1, 6, 0.15);
         },
         5},
        {"A2 with a DC offset of 0.3", 110.0, [](double t) { return 0.3 + 0.3 * Sine(110, t); },
         0.1},
        {"E2 ringing with a DC offset of 0.05", 82.407,
         [](double t) { return 0.05 + Partials(82.407, t, 1, 6, 0.3) * std::exp(-0.5 * t); }, 0.1},
        // Only C8's second partial stands clear of the noise: before the note's period is
        // heard, noise peaks in line must not make up a note that then holds its octave.
        {"C8 plucked, in white noise 10 dB below it", 4186.009,
         [&](double t) {
             const double since = t - 0.25;
             const double note =
                 since < 0 ? 0.0
                           : std::min(1.0, since / 0.005) * std::exp(-1.1 * since) *
                                 (0.1 * Sine(4186.009, since) + 0.5 * Sine(2 * 4186.009, since, 1));
             return 0.3 * (note + 0.36 / std::sqrt(10) * noise(random));
         },
         50},
        {"A3 in white noise as loud as it", 220.0,
         [&](double t) { return 0.25 * Sine(220, t) + 0.25 / std::sqrt(2) * noise(random); }, 5},
    };
    for (const auto& row : table) {
        const auto readings = Readings(Sound(3, row.at));
        EXPECT_GE(CountFrom(readings, 0.3), 20u) << row.what;
        EXPECT_LT(WorstCents(readings, row.hz, 0.3), row.within) << row.what;
        EXPECT_LT(WorstCents(readings, row.hz, 0), 50) << row.what;
    }
}

// C7 plucked, a sine dying by e in 0.9 s, in white noise `db` below it at the attack.
constexpr double kC7 = 2093.005;
std::vector<PitchReading> C7DecayingInNoise(double db, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, 1);
    return Readings(Sound(1.2, [&](double t) {
        const double since = t - 0.25;
        const double note = since < 0 ? 0.0
                                      : std::min(1.0, since / 0.005) * std::exp(-1.1 * since) *
                                            0.5 * Sine(kC7, since);
        return 0.3 * (note + 0.36 / std::pow(10, db / 20) * noise(random));
    }));
}

TEST(HardSounds, AHighNoteDecayingInNoiseIsNotTheOctaveBelow) {
    // As the note fades, the noise puts peaks halfway between its multiples, but the sound
    // repeats no better at twice its period than at its own: the note held is not the octave
    // below. The seeds are noises that put those peaks there while the note still reads, a few
    // times at least before it fades into them.
    const struct {
        double db;
        unsigned seed;
    } table[] = {{6, 9}, {6, 17}, {6, 22}, {6, 25}, {6, 26}, {3, 6}, {3, 8}, {2, 10}};
    for (const auto& row : table) {
        const auto readings = C7DecayingInNoise(row.db, row.seed);
        EXPECT_GE(readings.size(), 5u) << row.db << " dB, seed " << row.seed;
        for (const PitchReading& r : readings) {
            EXPECT_LT(std::abs(Cents(r.hz, kC7)), 50)
                << row.db << " dB, seed " << row.seed << ": " << r.hz << " Hz at " << r.time;
        }
    }
}

// White noise through one pole at `hz` (the rumble of traffic, of a handled microphone), its
// RMS 1.
std::vector<double> Rumble(double seconds, double hz, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0, 1);
    const double pole = std::exp(-2 * std::numbers::pi * hz / kRate);
    std::vector<double> out(static_cast<size_t>(seconds * kRate));
    double y = 0, squares = 0;
    for (double& x : out) {
        y = (1 - pole) * noise(random) + pole * y;
        x = y;
        squares += y * y;
    }
    const double rms = std::sqrt(squares / static_cast<double>(out.size()));
    for (double& x : out) {
        x /= rms;
    }
    return out;
}

// A rumble 8 dB under a held note sounds near the odd multiples of the octave below, and may
// repeat better at its period than at the note's: the note's octave is never taken from it,
// whatever the noise's draw.
TEST(HardSounds, ARumbleUnderANoteNeverTakesItsOctaveDown) {
    const struct {
        const char* what;
        double hz;
        int partials; // 1 to this many, at 0.15 / k
    } table[] = {{"A3", 220, 6}, {"A3's sine", 220, 1}, {"A2", 110, 6}};
    for (const auto& row : table) {
        double power = 0; // of the note
        for (int k = 1; k <= row.partials; ++k) {
            power += 0.15 * 0.15 / (2 * k * k);
        }
        const double scale = std::sqrt(power) * std::pow(10, -8.0 / 20);
        for (unsigned seed = 1; seed <= 4; ++seed) {
            const std::vector<double> rumble = Rumble(3, 70, seed);
            const auto readings = Readings(Sound(3, [&](double t) {
                const auto i = std::min(rumble.size() - 1, static_cast<size_t>(t * kRate));
                return Partials(row.hz, t, 1, row.partials, 0.15) + scale * rumble[i];
            }));
            const auto wrong = std::count_if(readings.begin(), readings.end(), [&](auto& r) {
                return !(std::abs(Cents(r.hz, row.hz)) < 50);
            });
            EXPECT_EQ(wrong, 0) << row.what << ", seed " << seed << ", of " << readings.size();
            EXPECT_GE(CountFrom(readings, 0.2), 100u) << row.what << ", seed " << seed;
        }
    }
}

TEST(HardSounds, ANoteUnderLouderBandNoiseReadsRightOrNot) {
    // A hiss of 200 sines between 2 and 4 kHz, 6 and 12 dB over a quiet A3: the NSDF finds a
    // period in it, but the partials of that pitch hold little of the sound's power, and a
    // reading that sure of so little is not given.
    std::mt19937 random(5);
    std::uniform_real_distribution<double> uniform(0, 1);
    std::vector<std::pair<double, double>> band; // Hz, phase
    for (int i = 0; i < 200; ++i) {
        band.emplace_back(2000 + 2000 * uniform(random), 2 * std::numbers::pi * uniform(random));
    }
    for (double note : {0.1, 0.05}) {
        const auto readings = Readings(Sound(2, [&](double t) {
            double hiss = 0;
            for (const auto& [hz, phase] : band) {
                hiss += 0.02 * Sine(hz, t, phase);
            }
            return hiss + Partials(220, t, 1, 6, note);
        }));
        for (const PitchReading& r : readings) {
            EXPECT_LT(std::abs(Cents(r.hz, 220)), 50)
                << note << ": " << r.hz << " Hz at " << r.time;
        }
    }
}

TEST(HardSounds, TonesBeyondTheNotesItNamesGiveNoReading) {
    // Above 5000 Hz, and below 25 Hz with partials up the spectrum (the period search reaches
    // down to 25 Hz, and the partials may put the first a little lower).
    for (double hz : {5500.0, 7000.0, 8000.0, 10000.0, 12000.0, 15000.0, 24.2}) {
        const auto readings =
            Readings(Sound(2, [&](double t) { return Partials(hz, t, 1, hz < 25 ? 8 : 1, 0.25); }));
        EXPECT_TRUE(readings.empty()) << hz << " Hz read " << readings.size() << " times";
    }
}

TEST(HardSounds, TheQuietestToneReadsAndQuieterIsSilence) {
    const struct {
        double dbfs; // the sine's peak
        bool reads;
    } table[] = {{-60, true}, {-70, false}};
    for (const auto& row : table) {
        const double amplitude = std::pow(10, row.dbfs / 20);
        const auto readings =
            Readings(Sound(1, [&](double t) { return amplitude * Sine(440, t); }));
        if (row.reads) {
            EXPECT_GE(CountFrom(readings, 0.2), 30u) << row.dbfs;
            EXPECT_LT(WorstCents(readings, 440, 0.2), 0.1) << row.dbfs;
        } else {
            EXPECT_TRUE(readings.empty()) << row.dbfs;
        }
    }
}

} // namespace
