#include "curve_scales.h"

#include <algorithm>
#include <cmath>

namespace {

// A stiffness of 0 has no place on a logarithmic scale: it is drawn at this.
constexpr double kLeastDrawn = 1e-7;

} // namespace

double XOfKey(int key) {
    return kPlotLeft + (key - 1) * (kPlotRight - kPlotLeft) / (kPianoKeys - 1);
}

double YOfCents(const PlotScales& s, double cents) {
    return kPlotBottom -
           (cents - s.cents_low) / (s.cents_high - s.cents_low) * (kPlotBottom - kPlotTop);
}

double YOfB(const PlotScales& s, double b) {
    const double decades = std::log10(std::max(b, kLeastDrawn));
    return kPlotBottom -
           (decades - s.decade_low) / (s.decade_high - s.decade_low) * (kPlotBottom - kPlotTop);
}

PlotScales ScalesOf(const std::vector<CurveKey>& curve) {
    PlotScales s;
    double least_b = 1;
    double most_b = kLeastDrawn;
    for (const CurveKey& key : curve) {
        s.cents_low = std::min(s.cents_low, key.cents);
        s.cents_high = std::max(s.cents_high, key.cents);
        least_b = std::min(least_b, std::max(key.b, kLeastDrawn));
        most_b = std::max(most_b, key.b);
    }
    s.cents_step = s.cents_high - s.cents_low > 150 ? 50 : 10;
    s.cents_low = std::floor(s.cents_low / s.cents_step) * s.cents_step;
    s.cents_high =
        std::max(std::ceil(s.cents_high / s.cents_step) * s.cents_step, s.cents_low + s.cents_step);
    s.decade_low = static_cast<int>(std::floor(std::log10(least_b)));
    s.decade_high = std::max(static_cast<int>(std::ceil(std::log10(most_b))), s.decade_low + 1);
    return s;
}
