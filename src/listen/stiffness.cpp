#include "stiffness.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Where partial `k` may lie, in Hz, from those found: [low, high]: within kSearchShare of where
// the fit of those found puts it; one alone, anywhere up to the stiffest string's stretch (B of
// a piano's top strings reaches 0.02 and a little more).
void Window(std::span<const Partial> found, int k, double& low, double& high) {
    const double kk = static_cast<double>(k) * k;
    if (found.size() == 1) {
        const Partial& p = found[0];
        const double mm = static_cast<double>(p.number) * p.number;
        const double harmonic = k * p.hz / p.number;
        low = harmonic * (1 - kSearchShare);
        high = harmonic * std::sqrt((1 + kk * kStiffestString) / (1 + mm * kStiffestString)) *
               (1 + kSearchShare);
        return;
    }
    const StringFit fit = FitString(found);
    const double expected = k * fit.f0 * std::sqrt(1 + fit.b * kk);
    low = expected * (1 - kSearchShare);
    high = expected * (1 + kSearchShare);
}

} // namespace

StringMeasure MeasureString(const SpectrumPair& spectra, std::span<const Partial> partials,
                            double highest) {
    std::array<Partial, kMostPartials> all{};
    size_t count = std::min(partials.size(), all.size());
    std::copy_n(partials.begin(), count, all.begin());
    if (count == 0) {
        return {};
    }
    // Peaks weaker than this (amplitude, -40 dB below the strongest partial) are noise.
    const double weakest = kWeakestPartial * StrongestOf(partials);
    for (int k = all[count - 1].number + 1; count < all.size() && k <= kHighestPartialNumber; ++k) {
        double low = 0, high = 0;
        Window(std::span(all.data(), count), k, low, high);
        if (!(high <= highest)) {
            break;
        }
        size_t bin = 0;
        const double magnitude = PeakNear(spectra, (low + high) / 2, (high - low) / 2, bin);
        const double hz = magnitude > 0 ? PhaseFrequency(spectra, bin) : 0;
        if (magnitude >= weakest && hz >= low && hz <= high) {
            all[count++] = {k, hz, magnitude};
        }
    }
    const std::span<const Partial> measured(all.data(), count);
    return {FitString(measured), static_cast<int>(count), SpreadFromFit(measured)};
}
