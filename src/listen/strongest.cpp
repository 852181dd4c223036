#include "listener_state.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>
#include <vector>

namespace {

// A tone holds most of a sound when its main lobe holds this share of the sound's power:
// Hann's main lobe holds nearly all of a steady sine's, and a small part of white noise's.
constexpr double kMostOfTheSound = 0.5;
// And when each flank of the lobe, as wide as two lobes, holds less than this share of what
// the lobe holds: a sine's flanks hold its side lobes (-31 dB and falling), while brown noise,
// most of whose power lies in its lowest bins, has as much beside its peak as in it.
constexpr double kMostInAFlank = 0.1;
// A tone repeats at least this often within the sound: slower, it is a drift (brown noise
// holds most of its power in its lowest bins, with nothing beside them below).
constexpr double kLeastTonePeriods = 4;
// Hann's main lobe spans this many bins of rate / length either side of its peak.
constexpr double kHannLobeBins = 2;

// The frequency of the tone that holds most of `samples` at `rate` (their mean left out),
// by the peak of their spectrum through Hann's window, between bins by a parabola through the
// logarithms of its neighbours; 0 when no tone holds most of them.
double StrongestTone(std::span<const float> samples, double rate) {
    const size_t length = samples.size();
    if (length < 4) {
        return 0;
    }
    // Padded to four times the length at least: the parabola then finds the peak within a
    // hundredth of a bin of the length's.
    const size_t size = PowerOfTwoAtLeast(4 * length);
    double mean = 0;
    for (float x : samples) {
        mean += x;
    }
    mean /= static_cast<double>(length);
    std::vector<float> frame(size, 0.0f);
    for (size_t i = 0; i < length; ++i) {
        const double hann =
            0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) /
                                 static_cast<double>(length));
        frame[i] = static_cast<float>((samples[i] - mean) * hann);
    }
    std::vector<kiss_fft_cpx> spectrum(size / 2 + 1);
    const Fft forward = NewFft(size, false);
    kiss_fftr(forward.get(), frame.data(), spectrum.data());
    std::vector<double> power(spectrum.size());
    double total = 0;
    for (size_t k = 0; k < power.size(); ++k) {
        power[k] = double{spectrum[k].r} * spectrum[k].r + double{spectrum[k].i} * spectrum[k].i;
        total += power[k];
    }
    const size_t peak =
        static_cast<size_t>(std::max_element(power.begin(), power.end()) - power.begin());
    const auto lobe = static_cast<size_t>(
        std::ceil(kHannLobeBins * static_cast<double>(size) / static_cast<double>(length)));
    // The power from `peak + from` to `peak + to` bins, within the spectrum.
    const auto band = [&](long from, long to) {
        double sum = 0;
        for (long k = std::max(0L, static_cast<long>(peak) + from);
             k <= std::min(static_cast<long>(power.size()) - 1, static_cast<long>(peak) + to);
             ++k) {
            sum += power[static_cast<size_t>(k)];
        }
        return sum;
    };
    const auto l = static_cast<long>(lobe);
    const double in_lobe = band(-l, l);
    if (!(total > 0) || in_lobe < kMostOfTheSound * total ||
        band(-3 * l, -l - 1) > kMostInAFlank * in_lobe ||
        band(l + 1, 3 * l) > kMostInAFlank * in_lobe || peak == 0 || peak + 1 >= power.size()) {
        return 0;
    }
    const double left = std::log(power[peak - 1] + 1e-30);
    const double middle = std::log(power[peak] + 1e-30);
    const double right = std::log(power[peak + 1] + 1e-30);
    const double curve = left - 2 * middle + right;
    const double offset = curve < 0 ? 0.5 * (left - right) / curve : 0;
    const double hz = (static_cast<double>(peak) + offset) * rate / static_cast<double>(size);
    return hz * static_cast<double>(length) / rate >= kLeastTonePeriods ? hz : 0;
}

} // namespace

// Until the first reading, keeps the newest sound whenever it holds more energy than any kept
// before: what the listener heard, should it never read, to say why. Energy, not a hop's level:
// a whole ring of a steady low tone outweighs its first hops, and a hop of it, shorter than a
// period, may happen to hold its peaks.
void KeepLoudest(ListenerState& s) {
    s.has_read = s.has_read || s.has_reading;
    if (s.has_read) {
        return;
    }
    const size_t capacity = s.ring.size();
    double energy = 0;
    for (float x : s.ring) {
        energy += double{x} * x;
    }
    if (!(energy > s.loudest_energy)) {
        return;
    }
    s.loudest_energy = energy;
    for (size_t i = 0; i < capacity; ++i) {
        s.loudest[i] = s.ring[(s.written + i) % capacity]; // the oldest first
    }
    s.loudest_count = static_cast<size_t>(std::min<uint64_t>(s.written, capacity));
}

double ListenerStrongestHz(const Listener& listener) {
    const ListenerState& s = *listener.state;
    if (s.has_read) {
        return 0;
    }
    const std::span<const float> heard(s.loudest.data() + s.loudest.size() - s.loudest_count,
                                       s.loudest_count);
    return StrongestTone(heard, listener.rate);
}
