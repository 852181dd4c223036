#include "analysis.h"

#include "common/units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

double Wrapped(double phase) {
    return phase - 2 * std::numbers::pi * std::round(phase / (2 * std::numbers::pi));
}

// The slope of (f_k / k)^2 in k^2 between two partials: a stray peak cannot bend the line
// beyond the stiffest string.
double SlopeBetween(const Partial& a, const Partial& b) {
    const double y0 = (a.hz / a.number) * (a.hz / a.number);
    const double y1 = (b.hz / b.number) * (b.hz / b.number);
    const double x0 = static_cast<double>(a.number) * a.number;
    const double x1 = static_cast<double>(b.number) * b.number;
    return std::clamp((y1 - y0) / (x1 - x0), 0.0, kStiffestString * y1);
}

// Whether a partial found guides the search for the next. A faint one counts but does not: a
// peak of noise where a faded fundamental was would lead it past the partials that still
// sound. Nor does the first found further from the period's guess than a partial is looked
// for: a body's resonance in its lobe at a bass's attack pulls it 3 % low, and the search led
// by it would miss every partial above.
bool Guides(const Partial& p, double expected, double loudest, bool first) {
    return p.magnitude >= kGuidingPartial * loudest &&
           (!first || std::abs(p.hz / expected - 1) < kSearchShare);
}

} // namespace

double StrongestOf(std::span<const Partial> partials) {
    double strongest = 0;
    for (const Partial& p : partials) {
        strongest = std::max(strongest, p.magnitude);
    }
    return strongest;
}

void NormalizedSquareDifference(std::span<const float> frame, std::span<const float> r,
                                std::span<float> nsdf) {
    const size_t lags = std::min(nsdf.size(), r.size());
    double squares = 0;
    for (float x : frame) {
        squares += static_cast<double>(x) * x;
    }
    double m = 2 * squares; // the sum of x_j^2 + x_{j+lag}^2 over the overlap
    for (size_t lag = 0; lag < lags; ++lag) {
        if (lag > 0 && lag <= frame.size()) {
            const double leaving_start = frame[lag - 1];
            const double leaving_end = frame[frame.size() - lag];
            m -= leaving_start * leaving_start + leaving_end * leaving_end;
        }
        nsdf[lag] = m > kEmptyFrame ? static_cast<float>(2 * r[lag] / m) : 0.0f;
    }
}

double PickPeriod(std::span<const float> nsdf, size_t shortest, size_t longest, double& clarity) {
    clarity = 0;
    longest = std::min(longest, nsdf.size() - 1);
    // Key maxima: the highest point of each stretch above zero after the first fall below it.
    size_t lag = 1;
    while (lag < longest && nsdf[lag] > 0) {
        ++lag;
    }
    size_t keys[512];
    size_t count = 0;
    float highest = 0;
    while (lag < longest && count < std::size(keys)) {
        while (lag < longest && !(nsdf[lag] > 0)) { // NaN too
            ++lag;
        }
        size_t best = lag;
        while (lag < longest && nsdf[lag] > 0) {
            if (nsdf[lag] > nsdf[best]) {
                best = lag;
            }
            ++lag;
        }
        if (best >= shortest && best < longest && nsdf[best] > 0 && best > 0) {
            keys[count++] = best;
            highest = std::max(highest, nsdf[best]);
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t key = keys[i];
        if (nsdf[key] < kKeyMaximumShare * highest) {
            continue;
        }
        const double left = nsdf[key - 1], middle = nsdf[key], right = nsdf[key + 1];
        const double curve = left - 2 * middle + right;
        const double offset = curve < 0 ? 0.5 * (left - right) / curve : 0.0;
        clarity = middle - 0.25 * (left - right) * offset;
        return static_cast<double>(key) + std::clamp(offset, -0.5, 0.5);
    }
    return 0;
}

double PhaseFrequency(const SpectrumPair& spectra, size_t bin) {
    const double centre = 2 * std::numbers::pi * static_cast<double>(bin) /
                          static_cast<double>(spectra.size); // radians per sample
    const double shift = static_cast<double>(spectra.shift);
    const double advance = std::arg(std::complex<double>(spectra.later[bin]) *
                                    std::conj(std::complex<double>(spectra.earlier[bin])));
    const double radians = centre + Wrapped(advance - centre * shift) / shift;
    return radians * spectra.rate / (2 * std::numbers::pi);
}

double PeakNear(const SpectrumPair& spectra, double hz, double width, size_t& bin) {
    const double bin_hz = BinHz(spectra);
    const double last = static_cast<double>(spectra.later.size() - 2);
    const auto first_bin = static_cast<size_t>(std::clamp((hz - width) / bin_hz, 1.0, last));
    const auto last_bin = static_cast<size_t>(std::clamp((hz + width) / bin_hz + 1, 1.0, last));
    bin = first_bin;
    double strongest = 0;
    for (size_t k = first_bin; k <= last_bin; ++k) {
        const double magnitude = std::abs(spectra.later[k]);
        if (magnitude > strongest) {
            strongest = magnitude;
            bin = k;
        }
    }
    // A peak rises above both its neighbours, those outside the span too: a bin at the span's
    // edge with a higher one beyond it is the slope of something else.
    const bool peak = std::abs(spectra.later[bin - 1]) < strongest &&
                      std::abs(spectra.later[bin + 1]) < strongest;
    return peak ? strongest : 0;
}

size_t FindPartials(const SpectrumPair& spectra, double f0, double highest,
                    std::span<Partial> found) {
    const double bin_hz = BinHz(spectra);
    // The main lobe of a frame `length` long spans kLobeBins rate / length either side.
    const double lobe = kLobeBins * spectra.rate / static_cast<double>(spectra.length);
    // Peaks this far below the strongest bin are leakage and noise: they neither count nor
    // guide the search for the next partial.
    double loudest = 0;
    for (size_t k = 1; k < spectra.later.size() && static_cast<double>(k) * bin_hz <= highest;
         ++k) {
        loudest = std::max(loudest, static_cast<double>(std::abs(spectra.later[k])));
    }
    size_t count = 0;
    // Where the next partial lies, from those found so far: (f_k / k)^2 is a line in k^2 for
    // a stiff string, through the last two found; one found gives its spacing alone. A
    // string's stretch grows with k^2, so that a guess from the spacing alone loses a stiff
    // string's upper partials.
    double per_number = f0;
    double slope = 0; // of (f_k / k)^2 in k^2
    int last_number = 1;
    const Partial* guide = nullptr; // the last partial found that guides the search
    for (int k = 1; count < found.size() && k <= kHighestPartialNumber; ++k) {
        const double squared =
            per_number * per_number +
            slope * (static_cast<double>(k) * k - static_cast<double>(last_number) * last_number);
        const double expected = k * std::sqrt(squared);
        if (!(expected <= highest)) {
            break;
        }
        // Until a partial is found the guess is the period's, which a stiff string with a weak
        // fundamental pulls up to 4 % above its second partial's half (C7 at B = 0.005).
        const double share = guide == nullptr ? kFirstSearchShare : kSearchShare;
        const double width = std::min(std::max(share * expected, kLeastSearchBins * bin_hz),
                                      kWidestSearchShare * f0);
        size_t bin = 0;
        const double magnitude = PeakNear(spectra, expected, width, bin);
        if (!(magnitude >= kWeakestPartial * loudest) || magnitude <= 0) {
            continue;
        }
        const double hz = PhaseFrequency(spectra, bin);
        // Two components in one lobe (a beat) leave the phase saying a frequency far from the
        // peak, beyond its lobe (and beyond the bins it is looked for within); no partial there
        // to trust.
        const double farthest = std::max(lobe, kLeastSearchBins * bin_hz);
        if (!(std::abs(hz - static_cast<double>(bin) * bin_hz) < farthest)) {
            continue;
        }
        found[count++] = {k, hz, magnitude};
        if (!Guides(found[count - 1], expected, loudest, guide == nullptr)) {
            continue;
        }
        if (guide != nullptr) {
            slope = SlopeBetween(*guide, found[count - 1]);
        }
        guide = &found[count - 1];
        per_number = hz / k;
        last_number = k;
    }
    return count;
}

StringFit FitString(std::span<const Partial> partials) {
    if (partials.empty()) {
        return {};
    }
    // (f_k / k)^2 = f0^2 (1 + B k^2): a straight line in k^2, weighted by power; y is taken
    // relative to the first partial's, so that the sums keep their precision.
    const double reference =
        (partials[0].hz / partials[0].number) * (partials[0].hz / partials[0].number);
    double w = 0, wx = 0, wy = 0, wxx = 0, wxy = 0, wyy = 0;
    for (const Partial& p : partials) {
        const double weight = p.magnitude * p.magnitude;
        const double x = static_cast<double>(p.number) * p.number;
        const double y = (p.hz / p.number) * (p.hz / p.number) / reference - 1;
        w += weight;
        wx += weight * x;
        wy += weight * y;
        wxx += weight * x * x;
        wxy += weight * x * y;
        wyy += weight * y * y;
    }
    if (!(w > 0)) {
        return {};
    }
    const StringFit harmonic{std::sqrt(reference * (1 + wy / w)), 0};
    const double sxx = wxx - wx * wx / w, sxy = wxy - wx * wy / w, syy = wyy - wy * wy / w;
    if (partials.size() < 2 || !(sxx > kLeastLineSpread * wxx)) {
        return harmonic;
    }
    const double slope = sxy / sxx;
    const double intercept = (wy - slope * wx) / w + 1; // f0^2 / reference
    const double b = slope / intercept;
    // Partials measured a little apart (a vibrato, noise) leave a slope of either sign, and
    // taking only the positive ones would bias the reading flat: a string is stiff when the
    // line explains most of the spread, or for two partials when it is clearly so.
    const double unexplained = syy - slope * sxy;
    const bool stiff =
        partials.size() == 2 ? b > kClearlyStiff : unexplained <= kStiffExplained * syy;
    const double f0 = std::sqrt(reference * intercept);
    // Lower strings are less stiff: a piano's A0 and a bass's B0 stay below 5e-4. Below
    // kStiffestFrom the stiffest a fit believes falls with the fundamental (8e-4 at 27.5 Hz), so
    // that the peaks of a rumble, crowding upward from a low pitch, are not taken for a string
    // stretched by 1 %.
    const double stiffest = kStiffestString * std::min(1.0, f0 / kStiffestFrom);
    if (!(stiff && slope > 0 && intercept > 0 && b < stiffest)) {
        return harmonic;
    }
    return {f0, b};
}

double FitFundamental(std::span<const Partial> partials) {
    return FitString(partials).f0;
}

double FirstPartialOfFit(std::span<const Partial> partials) {
    const StringFit fit = FitString(partials);
    return fit.f0 * std::sqrt(1 + fit.b);
}

double SpreadFromFit(std::span<const Partial> partials, double faintest) {
    const double strongest = StrongestOf(partials);
    // The line through those that count alone: the many faint peaks of noise that a search
    // finds above a sine would otherwise bend it away from the sine.
    std::array<Partial, kMostPartials> counted{};
    size_t count = 0;
    for (const Partial& p : partials) {
        if (count < counted.size() &&
            p.magnitude * p.magnitude >= faintest * strongest * strongest) {
            counted[count++] = p;
        }
    }
    // The first partial is left out where two others count: a body's resonance pulls it at a
    // low string's attack while the others already lie on their line, and whether it is to be
    // trusted is decided on its own (Stray).
    const size_t from = count >= 3 && counted[0].number == 1 ? 1 : 0;
    const std::span<const Partial> strong(counted.data() + from, count - from);
    const StringFit fit = FitString(strong);
    double weights = 0, squares = 0;
    for (const Partial& p : strong) {
        const double power = p.magnitude * p.magnitude;
        const double k = p.number;
        const double cents = 1200 * std::log2(p.hz / (k * fit.f0 * std::sqrt(1 + fit.b * k * k)));
        weights += power;
        squares += power * cents * cents;
    }
    return weights > 0 && fit.f0 > 0 ? std::sqrt(squares / weights) : 0;
}

bool OneNote(std::span<const Partial> partials, int possible) {
    const double strongest = StrongestOf(partials);
    bool sounding[kNumbersOfANote + 1] = {};
    for (const Partial& p : partials) {
        if (p.number <= kNumbersOfANote && p.magnitude >= kFaintFirstPartial * strongest) {
            sounding[p.number] = true;
        }
    }
    if (sounding[1]) {
        // A fundamental with partials beyond the ninth but none from the second to the ninth
        // is numbered wrong: a resonance of the attack or another sound taken for it.
        const bool next = std::find(sounding + 2, sounding + kNumbersOfANote + 1, true) !=
                          sounding + kNumbersOfANote + 1;
        const bool beyond = std::any_of(partials.begin(), partials.end(), [&](const Partial& p) {
            return p.number > kNumbersOfANote && p.magnitude >= kFaintFirstPartial * strongest;
        });
        return next || !beyond;
    }
    // No fundamental: the tone's own partials come one after another from the second, where
    // two notes a fifth or a fourth apart leave gaps at every number that neither has; a tone
    // with a 5th and a 7th (neither note's) is one, however hollow (an FM organ's 6th and 9th).
    if (!sounding[2]) {
        // Nor a second (a high-pass took the first and the second is split or at a node):
        // the 3rd, 4th and 7th together are one note's, as no two notes, nor a chord of the
        // scale, meet on a bass that numbers them so (a fourth's are 3 and 4, not 7).
        return sounding[3] && sounding[4] && sounding[7];
    }
    const int last = std::min(possible, kNumbersOfANote);
    if (last < 3 || !sounding[3]) {
        return false;
    }
    int missing = 0;
    for (int k = 4; k <= last; ++k) {
        missing += sounding[k] ? 0 : 1;
    }
    return missing <= 1 || (sounding[5] && sounding[7]);
}

int CommonNumber(std::span<const Partial> partials, double faintest) {
    const double strongest = StrongestOf(partials);
    int common = 0;
    for (const Partial& p : partials) {
        if (p.magnitude * p.magnitude >= faintest * strongest * strongest) {
            common = std::gcd(common, p.number);
        }
    }
    return std::max(common, 1);
}

int SubharmonicDivisor(const SpectrumPair& spectra, double f0, double lowest) {
    const double bin_hz = BinHz(spectra);
    const auto power_at = [&](double hz) {
        size_t bin = 0;
        const double magnitude = PeakNear(
            spectra, hz, std::max(kLeastSearchBins * bin_hz, kBetweenSearchShare * hz), bin);
        return magnitude * magnitude;
    };
    double harmonics = 0;
    for (int k = 1; k <= kOnMultiples; ++k) {
        harmonics += power_at(k * f0);
    }
    for (int divisor : {2, 3}) {
        if (f0 / divisor < lowest) {
            break;
        }
        double between = 0;
        int sounding = 0;
        for (int k = 1; k <= kBetweenMultiples * divisor; ++k) {
            if (k % divisor == 0) {
                continue;
            }
            const double power = power_at(k * f0 / divisor);
            between += power;
            sounding += power > kSoundingBetween * harmonics ? 1 : 0;
        }
        // Partials between the multiples, as strong as a fiftieth of those on them, and more
        // than one: a hum or a stray peak is not a lower fundamental. A fundamental 20 dB below
        // its second partial with its third 15 dB below, where the NSDF's first peak is the
        // second partial's, holds kBetweenShare.
        if (sounding >= kLeastBetween && between > kBetweenShare * harmonics) {
            return divisor;
        }
    }
    return 1;
}

// Whether a partial is alone in its main lobe: the advance of the phase half a lobe below it
// and half a lobe above says its frequency within `within` cents. The phase of a lone component,
// steady or decaying, advances alike at every bin of its lobe.
bool AloneInItsLobe(const SpectrumPair& spectra, const Partial& p, double within) {
    const double bin_hz = BinHz(spectra);
    const double half_lobe = kLobeBins / 2 * spectra.rate / static_cast<double>(spectra.length);
    const auto last = static_cast<double>(spectra.later.size() - 2);
    for (double hz : {p.hz - half_lobe, p.hz + half_lobe}) {
        const auto bin = static_cast<size_t>(std::clamp(std::round(hz / bin_hz), 1.0, last));
        if (!(std::abs(Cents(PhaseFrequency(spectra, bin), p.hz)) < within)) {
            return false;
        }
    }
    return true;
}

// Whether the lowest partial found is another sound's: a semitone or more off where the line
// of the partials above it puts it. A steel string's body sounds a semitone under the octave
// below at the attack, a guitar's air near 106 Hz (under an E4's third partial, A2's); left in,
// either would number the string's partials as a lower note's. Nearer, it is the note's own,
// still settling (an organ pipe's speech, 24 cents off), or stretched as the line allows.
bool AnotherSoundsFirst(std::span<const Partial> partials) {
    if (partials.size() < 3) {
        return false;
    }
    return !(std::abs(Cents(partials[0].hz / partials[0].number,
                            FirstPartialOfFit(partials.subspan(1)))) < kOtherNoteCents);
}
