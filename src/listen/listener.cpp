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
// The highest: above a piano's C8 (4186 Hz). A tone above it reads as nothing, never as the
// note its period's multiple would name.
constexpr double kHighestHz = 5000;
// The frame of the coarse period holds two periods of the lowest fundamental.
constexpr double kCoarseSeconds = 2 / kLowestHz;
// A reading rests on at most this much of the newest sound: the pair of frames of the
// partials together. They grow from the note's start up to it, and hold at least
// kLeastPeriods periods before a reading. A high note's stops growing at kEnoughPeriods
// periods (but not below kShortestCap): longer, it would blur a vibrato into sidebands and
// read the strongest of them.
constexpr double kLongestSeconds = 0.25;
constexpr double kEnoughPeriods = 24;
constexpr double kShortestCap = 0.06;
constexpr double kLeastPeriods = 3;
// The later frame of the pair ends this share of their span after the earlier, a hop at most:
// short, so that a pair fits into the first few hundredths of a second of a note.
constexpr double kShiftShare = 0.2;
// Quieter than this (RMS, full scale 1: -66 dB) is silence.
constexpr double kQuietest = 0.0005;
// A hop this many times as loud (RMS) as the one before is a new attack (6 dB).
constexpr double kAttackRise = 2;
// The NSDF peak of a pitch; noise stays far below it.
constexpr double kLeastClarity = 0.4;
// A reading's confidence is the share of the frame's power in the partials' lobes; below this
// the partials are not what sounds, and there is no reading.
constexpr double kLeastConfidence = 0.3;
// The first partial is measured on its own from this share of the strongest partial up
// (-10 dB); weaker, its neighbours leak into its phase, and the fit of all of them stands in.
constexpr double kOwnFirstPartial = 0.3;
// Pitches of one note from hop to hop agree this closely (cents).
constexpr double kSameNoteCents = 60;
// While a note sounds, its period may show a multiple of it up to this (the fundamental fading
// below its second, third or fourth partial).
constexpr int kHighestMultiple = 4;
// A partial of the note that sounds holds the note's octave down to this share of the
// strongest's power (-40 dB): a fading fundamental or the odd partials of a low string.
constexpr double kHoldingPartialPower = 1e-4;
// A note's octave holds once its frames span this many of its periods: the main lobes of
// partials a third of the note apart, three bins of rate / length wide either side, part there.
constexpr double kLockPeriods = 18;
// A hop that repeats at the note's period less than this share as well as the hop before
// holds a change of note.
constexpr double kSteadyShare = 0.8;
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
    size_t longest = 0;       // samples of the pair of frames of the partials, at most
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
    std::vector<float> frame;
    std::vector<std::complex<float>> later, earlier;
    std::array<Partial, kMostPartials> partials{};

    bool sounding = false;     // the level was above silence at the last hop
    double last_hop_level = 0; // RMS of the last hop
    uint64_t note_start = 0;   // the sample where the note began
    double last_coarse = 0;    // Hz, the coarse pitch of the last hop, 0 when none
    double held = 0;           // Hz, the note sounding, its octave decided at its start; 0: none
    double changed_to = 0;     // Hz, a coarse pitch that was not the held note's, last hop
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
// kLobeBins bins of rate / length either side.
double WindowAt(size_t i, size_t length) {
    const double x =
        2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / static_cast<double>(length);
    return 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2 * x);
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

void Transform(ListenerState& s, size_t length, size_t before,
               std::vector<std::complex<float>>& out) {
    std::fill(s.frame.begin(), s.frame.end(), 0.0f);
    CopyRecent(s, length, before, s.frame.data());
    for (size_t i = 0; i < length; ++i) {
        s.frame[i] = static_cast<float>(s.frame[i] * WindowAt(i, length));
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
    const double lobe = kLobeBins * spectra.rate / static_cast<double>(spectra.length);
    const auto last = static_cast<double>(spectra.later.size() - 1);
    double in_lobes = 0;
    size_t counted = 0; // bins below this are in a lobe already counted
    for (const Partial& p : partials) {
        const auto from =
            std::max(counted, static_cast<size_t>(std::clamp((p.hz - lobe) / bin_hz, 0.0, last)));
        const auto to = static_cast<size_t>(std::clamp((p.hz + lobe) / bin_hz, 0.0, last));
        for (size_t k = from; k <= to; ++k) {
            in_lobes += std::norm(spectra.later[k]);
        }
        counted = std::max(counted, to + 1);
    }
    return total > 0 ? in_lobes / total : 0;
}

// `a` as a whole multiple of `b` (1 .. kHighestMultiple), 0 when it is none.
int MultipleOf(double a, double b) {
    for (int n = 1; n <= kHighestMultiple; ++n) {
        if (std::abs(Cents(a, b * n)) < kSameNoteCents) {
            return n;
        }
    }
    return 0;
}

// The pitch the partials of a note of fundamental near `f0` read, and how sure: the first
// partial as it sounds, measured on its own unless it is faint. 0 when the note does not sound
// or is not one note. `held` says that the note's octave was decided at its start: the note
// holds it while any partial off the multiples of a higher octave sounds.
PitchReading ReadPartials(ListenerState& s, double rate, double f0, bool held) {
    const uint64_t since_start = s.written - s.note_start;
    const double cap = std::clamp(kEnoughPeriods / f0, kShortestCap, kLongestSeconds) * rate;
    const auto span = static_cast<size_t>(std::min<uint64_t>(
        {since_start, static_cast<uint64_t>(cap), static_cast<uint64_t>(s.longest)}));
    const size_t shift =
        std::max<size_t>(1, std::min(s.hop, static_cast<size_t>(kShiftShare * span)));
    const size_t length = span > shift ? span - shift : 0;
    if (static_cast<double>(length) < kLeastPeriods * rate / f0) {
        return {};
    }
    Transform(s, length, 0, s.later);
    Transform(s, length, shift, s.earlier);
    const SpectrumPair spectra{s.later, s.earlier, s.spectrum_size, rate, shift, length};
    const double highest = kHighestPartialShare * rate;
    const double top = std::min(kHighestHz, rate / 2);
    if (!held) {
        f0 /= SubharmonicDivisor(spectra, f0, kLowestHz);
    }
    size_t found = FindPartials(spectra, f0, highest, s.partials);
    // Only every second (third, ...) partial sounding: the note is that many times higher
    // (its period was found too long, or a held note's fundamental and odd partials ended).
    const int every = CommonNumber(std::span<const Partial>(s.partials.data(), found),
                                   held ? kHoldingPartialPower : 0.01);
    if (every > 1) {
        f0 *= every;
        if (f0 >= top) {
            return {};
        }
        found = FindPartials(spectra, f0, highest, s.partials);
    }
    const std::span<const Partial> partials(s.partials.data(), found);
    const int possible = static_cast<int>(highest / f0);
    if (found == 0 || (!held && !OneNote(partials, possible))) {
        return {};
    }
    double strongest = 0;
    for (const Partial& p : partials) {
        strongest = std::max(strongest, p.magnitude);
    }
    const double hz =
        partials[0].number == 1 && partials[0].magnitude >= kOwnFirstPartial * strongest
            ? partials[0].hz
            : FirstPartialOfFit(partials);
    // The reading stays by the pitch the waveform shows: a stray partial cannot move it far.
    if (!(std::abs(Cents(hz, f0)) < kSameNoteCents) || !(hz < top)) {
        return {};
    }
    return {static_cast<double>(s.written) / rate, hz, HarmonicShare(spectra, partials)};
}

// McLeod's NSDF at `period` (samples, between samples by a line) over the hop that ends
// `before` samples ahead of the newest: near 1 while the sound repeats at that period.
double Steadiness(const ListenerState& s, double period, size_t before) {
    // The multiple of the period nearest a whole number of samples, so that the line between
    // samples errs least on a high note's upper partials.
    double lag = period;
    for (int m = 2; m <= 8 && m * period < static_cast<double>(s.hop); ++m) {
        const double multiple = m * period;
        if (std::abs(multiple - std::round(multiple)) < std::abs(lag - std::round(lag))) {
            lag = multiple;
        }
    }
    period = lag;
    const size_t capacity = s.ring.size();
    const auto whole = static_cast<size_t>(period);
    const double part = period - static_cast<double>(whole);
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

void StartNote(ListenerState& s, uint64_t back) {
    s.note_start = s.written - std::min<uint64_t>(s.written, back);
    s.held = 0;
    s.changed_to = 0;
    s.last_coarse = 0;
}

void CompleteHop(ListenerState& s, double rate) {
    s.has_reading = false;
    const double hop_level = RecentLevel(s, s.hop);
    const bool attack = hop_level > kAttackRise * s.last_hop_level;
    s.last_hop_level = hop_level;
    if (RecentLevel(s, 2 * s.hop) < kQuietest) {
        s.sounding = false;
        return;
    }
    if (!s.sounding || attack) {
        StartNote(s, s.hop);
    }
    s.sounding = true;
    const double coarse = CoarsePitch(s, rate);
    if (coarse <= 0) {
        // A hop of noise or a beat: the note goes on, its octave held.
        s.last_coarse = 0;
        s.changed_to = 0;
        return;
    }
    double f0 = 0;
    // The octave is decided afresh each hop until the frames resolve a third of the note,
    // where a period found three times too short shows its missing partials.
    const bool locked = s.held > 0 && static_cast<double>(s.written - s.note_start) >=
                                          kLockPeriods * rate / s.held / (1 - kShiftShare);
    if (locked) {
        if (MultipleOf(coarse, s.held) > 0 &&
            Steadiness(s, rate / s.held, 0) < kSteadyShare * Steadiness(s, rate / s.held, s.hop)) {
            // The newest hop no longer repeats at the note's period, as the hop before did: a
            // new note begins within it, and a frame that holds both would read neither.
            s.changed_to = 0;
            return;
        }
        if (MultipleOf(coarse, s.held) > 0) {
            f0 = s.held;
            s.changed_to = 0;
        } else if (s.changed_to > 0 && MultipleOf(coarse, s.changed_to) == 1) {
            // Two hops agree on another pitch: a new note without an attack or a silence.
            StartNote(s, s.hop);
            s.last_coarse = coarse;
        } else {
            s.changed_to = coarse;
            return;
        }
    }
    if (f0 <= 0) {
        // One hop's pitch alone may be noise: a new note needs the hop before to agree.
        const bool agrees = s.last_coarse > 0 && (MultipleOf(coarse, s.last_coarse) > 0 ||
                                                  MultipleOf(s.last_coarse, coarse) > 0);
        const double lower = std::min(coarse, s.last_coarse);
        s.last_coarse = coarse;
        if (!agrees) {
            return;
        }
        f0 = lower;
    }
    const PitchReading reading = ReadPartials(s, rate, f0, locked);
    if (!(reading.hz > 0 && std::isfinite(reading.hz))) {
        return;
    }
    s.held = reading.hz;
    if (reading.confidence >= kLeastConfidence) {
        s.reading = reading;
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
