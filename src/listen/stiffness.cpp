#include "stiffness.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The stiffest string looked for: B of a piano's top strings reaches 0.02 and a little more.
constexpr double kStiffest = 0.03;
// A partial is looked for within this share of where the fit of those found puts it.
constexpr double kWithin = 0.02;
// Peaks weaker than this share of the strongest partial (-40 dB) are noise.
constexpr double kWeakest = 0.01;

// Where partial `k` may lie, in Hz, from those found: [low, high].
void Window(std::span<const Partial> found, int k, double& low, double& high) {
    const double kk = static_cast<double>(k) * k;
    if (found.size() == 1) {
        const Partial& p = found[0];
        const double mm = static_cast<double>(p.number) * p.number;
        const double harmonic = k * p.hz / p.number;
        low = harmonic * (1 - kWithin);
        high = harmonic * std::sqrt((1 + kk * kStiffest) / (1 + mm * kStiffest)) * (1 + kWithin);
        return;
    }
    const StringFit fit = FitString(found);
    const double expected = k * fit.f0 * std::sqrt(1 + fit.b * kk);
    low = expected * (1 - kWithin);
    high = expected * (1 + kWithin);
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
    const double weakest = kWeakest * StrongestOf(partials);
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
