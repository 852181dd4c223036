// Measures that every layer counts in alike: the cents between two pitches and the sample
// rates the program takes, for playing and for listening.
#pragma once

#include <cmath>
#include <cstdint>

// How many cents `hz` is above `reference` (below: negative).
inline double Cents(double hz, double reference) {
    return 1200 * std::log2(hz / reference);
}

// The sample rates of --rate, and those the listener takes.
constexpr uint32_t kLowestRate = 1000;
constexpr uint32_t kHighestRate = 768000;
