// Sounds that lead an estimator to a confident wrong note: a fundamental that fades, two notes
// at once, hum, DC, noise as loud as the tone, tones above the highest note. Each reads right
// or gives no reading.
#include "listen/listen.h"
#include "sounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

using namespace listen_test;

// A plucked string's partial: `amplitude` at the attack (5 ms), decaying by `decay` per second.
double Plucked(double hz, double t, double amplitude, double decay, double phase = 0) {
    return amplitude * std::min(1.0, t / 0.005) * std::exp(-decay * t) * Sine(hz, t, phase);
}

TEST(HardSounds, ANoteKeepsItsOctaveWhileItSounds) {
    const struct {
        const char* what;
        double hz;
        double seconds;
        std::function<double(double hz, double t)> at;
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
        // The fundamental 20 dB below the second partial from the attack on.
        {"a weak fundamental", 98.0, 2,
         [](double hz, double t) {
             return Plucked(hz, t, 0.03, 0) + Plucked(2 * hz, t, 0.3, 0, 1) +
                    Plucked(3 * hz, t, 0.05, 0, 2) + Plucked(4 * hz, t, 0.1, 0, 3);
         }},
    };
    for (const auto& row : table) {
        const auto readings =
            Readings(Sound(row.seconds, [&](double t) { return row.at(row.hz, t); }));
        // Forty readings a second from a tenth of a second on, each the note, not an octave.
        EXPECT_GE(CountFrom(readings, 0.1), static_cast<size_t>(39 * (row.seconds - 0.1)))
            << row.what;
        EXPECT_LT(WorstCents(readings, row.hz, 0), 5.0) << row.what;
        EXPECT_LT(WorstCents(readings, row.hz, 0.3), 0.1) << row.what;
    }
}

} // namespace
