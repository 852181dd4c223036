#include "listener_state.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

// The `count` samples that end `before` samples ahead of the newest, oldest first, less their
// mean: a DC offset would hold the NSDF above zero and leak into the lowest bins.
void CopyRecent(const ListenerState& s, size_t count, size_t before, float* out) {
    const size_t capacity = s.ring.size();
    const uint64_t end = s.written - before;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        out[i] = s.ring[(end - count + i) % capacity];
        sum += out[i];
    }
    const auto mean = static_cast<float>(count > 0 ? sum / static_cast<double>(count) : 0);
    for (size_t i = 0; i < count; ++i) {
        out[i] -= mean;
    }
}

// Blackman's window: its side lobes fall to -58 dB within four bins and on by 18 dB an
// octave, so that a fundamental 20 dB below its second partial is measured without the
// second's leakage (Hann's leaves it half a cent out at 55 Hz). Its main lobe spans
// kLobeBins bins of rate / length either side. Kept between hops, as the frames' length
// changes only while a note's first quarter second grows them, and made by turning a phasor
// rather than by a cosine a sample: the cosines took two fifths of the listener's time.
void MakeWindow(ListenerState& s, size_t length) {
    if (s.window_length == length) {
        return;
    }
    const double step = 2 * std::numbers::pi / static_cast<double>(length);
    const std::complex<double> turn = std::polar(1.0, step);
    std::complex<double> phasor = std::polar(1.0, step / 2);
    for (size_t i = 0; i < length; ++i) {
        const double c = phasor.real();
        s.window[i] = static_cast<float>(0.42 - 0.5 * c + 0.08 * (2 * c * c - 1));
        phasor *= turn;
    }
    s.window_length = length;
}

} // namespace

size_t PowerOfTwoAtLeast(size_t n) {
    size_t size = 2;
    while (size < n) {
        size *= 2;
    }
    return size;
}

Fft NewFft(size_t size, bool inverse) {
    return Fft(kiss_fftr_alloc(static_cast<int>(size), inverse ? 1 : 0, nullptr, nullptr));
}

// The RMS of the newest `count` samples about their mean.
double RecentLevel(const ListenerState& s, size_t count) {
    count = static_cast<size_t>(std::min<uint64_t>(count, s.written));
    double sum = 0, squares = 0;
    const size_t capacity = s.ring.size();
    for (size_t i = 0; i < count; ++i) {
        const double x = s.ring[(s.written - 1 - i) % capacity];
        sum += x;
        squares += x * x;
    }
    if (count == 0) {
        return 0;
    }
    const double n = static_cast<double>(count);
    return std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
}

// The coarse pitch of the newest frame by McLeod's NSDF, 0 when it hears none.
double CoarsePitch(ListenerState& s, double rate) {
    const size_t n = s.coarse_length;
    std::fill(s.coarse_frame.begin(), s.coarse_frame.end(), 0.0f);
    CopyRecent(s, n, 0, s.coarse_frame.data());
    auto* spectrum = reinterpret_cast<kiss_fft_cpx*>(s.coarse_spectrum.data());
    kiss_fftr(s.coarse_forward.get(), s.coarse_frame.data(), spectrum);
    for (std::complex<float>& bin : s.coarse_spectrum) {
        bin = std::norm(bin);
    }
    kiss_fftri(s.coarse_inverse.get(), spectrum, s.correlation.data());
    const float scale = 1.0f / static_cast<float>(s.coarse_size);
    for (float& r : s.correlation) {
        r *= scale;
    }
    NormalizedSquareDifference(std::span(s.coarse_frame).first(n), s.correlation, s.nsdf);
    double clarity = 0;
    const double period = PickPeriod(s.nsdf, s.shortest_lag, s.longest_lag, clarity);
    return period > 0 && clarity >= kLeastClarity ? rate / period : 0;
}

size_t SpectrumSize(const ListenerState& s, size_t length, double period) {
    const auto fine = static_cast<size_t>(std::ceil(kBinsPerPartial * period));
    const size_t wanted = std::max({length + length / 4, fine, kSmallestSpectrum});
    return std::min(s.spectrum_size, PowerOfTwoAtLeast(wanted));
}

void Transform(ListenerState& s, size_t length, size_t before, size_t size,
               std::vector<std::complex<float>>& out) {
    std::fill(s.frame.begin(), s.frame.begin() + static_cast<ptrdiff_t>(size), 0.0f);
    CopyRecent(s, length, before, s.frame.data());
    MakeWindow(s, length);
    for (size_t i = 0; i < length; ++i) {
        s.frame[i] *= s.window[i];
    }
    size_t plan = 0;
    while ((kSmallestSpectrum << plan) < size) {
        ++plan;
    }
    kiss_fftr(s.spectrum_forwards[plan].get(), s.frame.data(),
              reinterpret_cast<kiss_fft_cpx*>(out.data()));
}

// McLeod's NSDF at `period` (samples, between samples by a line) over the hop that ends
// `before` samples ahead of the newest: near 1 while the sound repeats at that period.
double Repetition(const ListenerState& s, double lag, size_t before) {
    const size_t capacity = s.ring.size();
    const auto whole = static_cast<size_t>(lag);
    const double part = lag - static_cast<double>(whole);
    if (s.written < before + s.hop + whole + 1 || whole + 1 + s.hop + before > capacity) {
        return 0;
    }
    const uint64_t end = s.written - before;
    double r = 0, m = 0;
    for (uint64_t i = end - s.hop; i < end; ++i) {
        const double x = s.ring[i % capacity];
        const double y =
            (1 - part) * s.ring[(i - whole) % capacity] + part * s.ring[(i - whole - 1) % capacity];
        r += x * y;
        m += x * x + y * y;
    }
    return m > 0 ? 2 * r / m : 0;
}

// A violinist's vibrato moves the period 26 cents a hop, and the held reading, from frames that
// span most of a hop or more, lags it; at the held period alone, a bright note's hops on the
// swing repeat a quarter worse than the hop before and would read as a new note beginning. A
// steady note costs a step each way.
double RepetitionNear(const ListenerState& s, double period, size_t before) {
    const double at_period = Repetition(s, period, before);
    double best = at_period;
    for (const double step : {kVibratoStepCents, -kVibratoStepCents}) {
        double climbed = at_period;
        for (double cents = step; std::abs(cents) <= kVibratoCents; cents += step) {
            const double r = Repetition(s, period * std::exp2(cents / 1200), before);
            if (!(r > climbed)) {
                break;
            }
            climbed = r;
        }
        best = std::max(best, climbed);
    }
    return best;
}
