#include "listen.h"

#include "analysis.h"

#include "common/units.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

// Readings per second of input.
constexpr double kHopsPerSecond = 40;
// The lowest fundamental: below a piano's A0 (27.5 Hz) and a 5-string bass's B0 (30.87 Hz).
constexpr double kLowestHz = 25;
// The highest: above a piano's C8 (4186 Hz).
constexpr double kHighestHz = 5000;
// The frame of the coarse period holds two periods of the lowest fundamental.
constexpr double kCoarseSeconds = 2 / kLowestHz;
// The frames of the partials grow from the note's start up to this, and hold at least
// kLeastPeriods periods before a reading. A high note's frame stops growing at
// kEnoughPeriods periods (but not below kShortestCap): longer, it would blur a vibrato into
// sidebands and read the strongest of them.
constexpr double kLongestSeconds = 0.25;
constexpr double kEnoughPeriods = 24;
constexpr double kShortestCap = 0.06;
constexpr double kLeastPeriods = 3;
// Quieter than this (RMS, full scale 1: -66 dB) is silence.
constexpr double kQuietest = 0.0005;
// The NSDF peak of a pitch; noise stays far below it.
constexpr double kLeastClarity = 0.6;
// Of the frame's power, the partials' lobes hold at least this much in a pitch.
constexpr double kLeastHarmonicShare = 0.3;
// Coarse periods of one note from hop to hop agree this closely (cents).
constexpr double kSameNoteCents = 60;
// Samples beyond this many times full scale are clipped: their squares and sums stay finite.
constexpr float kLoudest = 1e6f;
// Partials up to this share of the rate: the anti-aliasing filters of recorders end there.
constexpr double kHighestPartialShare = 0.45;

size_t PowerOfTwoAtLeast(size_t n) {
    size_t size = 2;
    while (size < n) {
        size *= 2;
    }
    return size;
}

struct FftDeleter {
    void operator()(kiss_fftr_state* cfg) const { kiss_fftr_free(cfg); }
};
using Fft = std::unique_ptr<kiss_fftr_state, FftDeleter>;

} // namespace

struct ListenerState {
    size_t hop = 0;
    size_t coarse_length = 0; // samples of the coarse frame
    size_t longest = 0;       // samples of the longest frame of the partials
    size_t shortest_lag = 0, longest_lag = 0;

    // The last `capacity` samples, the newest at ring[(written - 1) % capacity].
    std::vector<float> ring;
    uint64_t written = 0;
    size_t in_hop = 0; // samples of the hop under way

    size_t coarse_size = 0;
    Fft coarse_forward, coarse_inverse;
    std::vector<float> coarse_frame, correlation, nsdf;
    std::vector<std::complex<float>> coarse_spectrum;

    size_t spectrum_size = 0;
    Fft spectrum_forward;
    std::vector<float> frame, longest_window;
    std::vector<std::complex<float>> later, earlier;
    std::array<Partial, kMostPartials> partials{};

    bool sounding = false;   // the last hop heard a pitch
    uint64_t note_start = 0; // the sample where the note began
    double last_coarse = 0;  // Hz, the coarse pitch of the last hop, 0 when none
    bool has_reading = false;
    PitchReading reading;
};

Listener::Listener() = default;
Listener::~Listener() = default;
Listener::Listener(Listener&&) noexcept = default;
Listener& Listener::operator=(Listener&&) noexcept = default;

namespace {

Fft NewFft(size_t size, bool inverse) {
    return Fft(kiss_fftr_alloc(static_cast<int>(size), inverse ? 1 : 0, nullptr, nullptr));
}

// The `count` samples that end `before` samples ahead of the newest, oldest first.
void CopyRecent(const ListenerState& s, size_t count, size_t before, float* out) {
    const size_t capacity = s.ring.size();
    const uint64_t end = s.written - before;
    for (size_t i = 0; i < count; ++i) {
        out[i] = s.ring[(end - count + i) % capacity];
    }
}

double HannAt(size_t i, size_t length) {
    return 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) /
                                static_cast<double>(length));
}

double RecentLevel(const ListenerState& s) {
    const size_t count = std::min<size_t>(2 * s.hop, s.written);
    double sum = 0;
    const size_t capacity = s.ring.size();
    for (size_t i = 0; i < count; ++i) {
        const double x = s.ring[(s.written - 1 - i) % capacity];
        sum += x * x;
    }
    return count == 0 ? 0 : std::sqrt(sum / static_cast<double>(count));
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

void Transform(ListenerState& s, size_t length, size_t before,
               std::vector<std::complex<float>>& out) {
    std::fill(s.frame.begin(), s.frame.end(), 0.0f);
    CopyRecent(s, length, before, s.frame.data());
    for (size_t i = 0; i < length; ++i) {
        const double w = length == s.longest ? s.longest_window[i] : HannAt(i, length);
        s.frame[i] = static_cast<float>(s.frame[i] * w);
    }
    kiss_fftr(s.spectrum_forward.get(), s.frame.data(),
              reinterpret_cast<kiss_fft_cpx*>(out.data()));
}

// The share of the spectrum's power that lies in the partials' main lobes.
double HarmonicShare(const SpectrumPair& spectra, std::span<const Partial> partials) {
    double total = 0;
    for (const std::complex<float>& bin : spectra.later) {
        total += std::norm(bin);
    }
    const double bin_hz = spectra.rate / static_cast<double>(spectra.size);
    const double lobe = 2 * spectra.rate / static_cast<double>(spectra.length);
    const auto last = static_cast<double>(spectra.later.size() - 1);
    double in_lobes = 0;
    for (const Partial& p : partials) {
        const auto from = static_cast<size_t>(std::clamp((p.hz - lobe) / bin_hz, 0.0, last));
        const auto to = static_cast<size_t>(std::clamp((p.hz + lobe) / bin_hz, 0.0, last));
        for (size_t k = from; k <= to; ++k) {
            in_lobes += std::norm(spectra.later[k]);
        }
    }
    return total > 0 ? in_lobes / total : 0;
}

// The fundamental from the partials of frames that start at the note's start (or the longest
// there are room for), 0 when they do not show a pitch.
double PrecisePitch(ListenerState& s, double rate, double coarse) {
    const uint64_t since_start = s.written - s.note_start;
    const double cap = std::clamp(kEnoughPeriods / coarse, kShortestCap, kLongestSeconds) * rate;
    const uint64_t longest = std::min<uint64_t>(s.longest, static_cast<uint64_t>(cap));
    const size_t length = static_cast<size_t>(
        std::min<uint64_t>(longest, since_start > s.hop ? since_start - s.hop : 0));
    if (static_cast<double>(length) < kLeastPeriods * rate / coarse) {
        return 0;
    }
    Transform(s, length, 0, s.later);
    Transform(s, length, s.hop, s.earlier);
    const SpectrumPair spectra{s.later, s.earlier, s.spectrum_size, rate, s.hop, length};
    const double highest = kHighestPartialShare * rate;
    double f0 = coarse / SubharmonicDivisor(spectra, coarse, kLowestHz);
    size_t found = FindPartials(spectra, f0, highest, s.partials);
    // Only every second (third, ...) partial sounding: the period found was that many too long.
    const int every = CommonNumber(std::span<const Partial>(s.partials.data(), found));
    if (every > 1 && f0 * every < std::min(kHighestHz, rate / 2)) {
        f0 *= every;
        found = FindPartials(spectra, f0, highest, s.partials);
    }
    const std::span<const Partial> partials(s.partials.data(), found);
    if (found == 0 || HarmonicShare(spectra, partials) < kLeastHarmonicShare) {
        return 0;
    }
    const double fitted = FitFundamental(partials);
    // The fit stays by the period the waveform shows: a stray partial cannot move it far.
    return std::abs(Cents(fitted, f0)) < kSameNoteCents ? fitted : 0;
}

// The period of a note flips from hop to hop between its fundamental's and whole multiples of
// it (a weak fundamental, partials that beat): `coarse` is the same note as `last` when one
// is a whole multiple of the other, up to the fourth (beyond, a hum's multiples meet every
// note); then the lower of the two, which the partials correct upward when it is too low.
// 0 for another note.
double SameNote(double coarse, double last) {
    for (int n = 1; n <= 4; ++n) {
        if (std::abs(Cents(coarse * n, last)) < kSameNoteCents) {
            return coarse;
        }
        if (std::abs(Cents(coarse, last * n)) < kSameNoteCents) {
            return last;
        }
    }
    return 0;
}

void CompleteHop(ListenerState& s, double rate) {
    s.has_reading = false;
    const double coarse = RecentLevel(s) >= kQuietest ? CoarsePitch(s, rate) : 0;
    if (coarse <= 0) {
        s.sounding = false;
        s.last_coarse = 0;
        return;
    }
    const double period_of_note = s.last_coarse > 0 ? SameNote(coarse, s.last_coarse) : 0;
    const bool same_note = period_of_note > 0;
    if (!s.sounding || (!same_note && s.last_coarse > 0)) {
        s.note_start = s.written - std::min<uint64_t>(s.written, s.hop);
    }
    s.sounding = true;
    s.last_coarse = same_note ? period_of_note : coarse;
    // One hop's pitch alone may be noise: a reading needs the hop before to agree.
    if (!same_note) {
        return;
    }
    const double hz = PrecisePitch(s, rate, s.last_coarse);
    if (std::isfinite(hz) && hz > 0 && hz < rate / 2) {
        s.reading = {static_cast<double>(s.written) / rate, hz};
        s.has_reading = true;
    }
}

} // namespace

Listener NewListener(uint32_t rate) {
    rate = std::clamp(rate, kLowestRate, kHighestRate);
    Listener listener;
    listener.rate = rate;
    listener.state = std::make_unique<ListenerState>();
    ListenerState& s = *listener.state;
    s.hop = std::max<size_t>(1, static_cast<size_t>(std::lround(rate / kHopsPerSecond)));
    s.coarse_length = static_cast<size_t>(std::ceil(kCoarseSeconds * rate));
    s.longest = static_cast<size_t>(std::ceil(kLongestSeconds * rate));
    s.longest_lag = s.coarse_length / 2;
    s.shortest_lag = std::max<size_t>(2, static_cast<size_t>(rate / kHighestHz));
    s.ring.assign(std::max(s.longest + s.hop, s.coarse_length), 0.0f);

    s.coarse_size = PowerOfTwoAtLeast(2 * s.coarse_length);
    s.coarse_forward = NewFft(s.coarse_size, false);
    s.coarse_inverse = NewFft(s.coarse_size, true);
    s.coarse_frame.assign(s.coarse_size, 0.0f);
    s.correlation.assign(s.coarse_size, 0.0f);
    s.nsdf.assign(s.longest_lag + 2, 0.0f);
    s.coarse_spectrum.assign(s.coarse_size / 2 + 1, {});

    s.spectrum_size = PowerOfTwoAtLeast(s.longest);
    s.spectrum_forward = NewFft(s.spectrum_size, false);
    s.frame.assign(s.spectrum_size, 0.0f);
    s.longest_window.resize(s.longest);
    for (size_t i = 0; i < s.longest; ++i) {
        s.longest_window[i] = static_cast<float>(HannAt(i, s.longest));
    }
    s.later.assign(s.spectrum_size / 2 + 1, {});
    s.earlier.assign(s.spectrum_size / 2 + 1, {});
    return listener;
}

size_t FeedListener(Listener& listener, std::span<const float> samples) {
    ListenerState& s = *listener.state;
    const size_t capacity = s.ring.size();
    size_t taken = 0;
    while (taken < samples.size()) {
        const float x = samples[taken++];
        s.ring[s.written % capacity] = std::isfinite(x) ? std::clamp(x, -kLoudest, kLoudest) : 0.0f;
        ++s.written;
        if (++s.in_hop == s.hop) {
            s.in_hop = 0;
            CompleteHop(s, listener.rate);
            break;
        }
    }
    return taken;
}

std::optional<PitchReading> ReadListener(Listener& listener) {
    ListenerState& s = *listener.state;
    if (!s.has_reading) {
        return std::nullopt;
    }
    s.has_reading = false;
    return s.reading;
}

size_t ListenerHop(const Listener& listener) {
    return listener.state->hop;
}
