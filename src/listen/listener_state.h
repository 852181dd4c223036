// What the listener keeps between hops, and the steps of a hop that the listener's files share:
// the frames of the newest samples (newest_frames.cpp), the partials of a note (read_partials.cpp),
// and the hop's decisions of note and octave (listener.cpp, the note's states in note.h).
#pragma once

#include "analysis.h"
#include "listener.h"
#include "note.h"
#include "thresholds.h"

#include <kiss_fftr.h>

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Readings a hop while a note is young (kLongestSeconds): from its first reading, or from two
// coarse pitches a hop apart that agree on its pitch.
constexpr size_t kReadsPerYoungHop = 3;

// The coarse pitch found at a point of a hop, 0 when none, and the sample it was found at.
struct PointPitch {
    double hz = 0;
    uint64_t written = 0;
};

struct FftDeleter {
    void operator()(kiss_fftr_state* cfg) const { kiss_fftr_free(cfg); }
};
using Fft = std::unique_ptr<kiss_fftr_state, FftDeleter>;

struct ListenerState {
    // What a hop decides for the hops after it; a reading between hops keeps copies of both and
    // puts them back.
    Note note;
    double last_hop_level = 0;   // RMS of the last hop, kept across notes: a swell rises from it
    double hop_level_before = 0; // RMS of the hop before that: a re-strike rises over two

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

    size_t spectrum_size = 0;           // samples of the longest transform
    std::vector<Fft> spectrum_forwards; // kSmallestSpectrum, twice that, ... spectrum_size
    std::vector<float> frame;
    std::vector<float> window; // Blackman's, for frames of window_length samples
    size_t window_length = 0;
    std::vector<std::complex<float>> later, earlier;
    std::array<Partial, kMostPartials> partials{};

    // The coarse pitch found at each point of a hop where a young note reads (the first, the
    // hop's end, unused). Not part of the note: a new note keeps them, as silence does.
    std::array<PointPitch, kReadsPerYoungHop> point_pitches{};
    // Where the note's first coarse pitch was heard (at a hop's end or a point; before its start
    // until one is), and where the last note that began after silence began (PointConfirms).
    uint64_t first_pitch = 0, after_silence = 0;

    bool has_reading = false;
    PitchReading reading;
    // Why the last hop gave no reading (None when it gave one), and the confidence of the last
    // partials measured, at a hop's end or between.
    NoReading why_none = NoReading::None;
    double last_confidence = 0;

    // Until the first reading, the newest ring.size() samples at the loudest hop so far, oldest
    // first (the last loudest_count of them heard), for ListenerStrongestHz.
    bool has_read = false;
    double loudest_energy = 0; // the sum of the kept samples' squares
    std::vector<float> loudest;
    size_t loudest_count = 0;
};

Fft NewFft(size_t size, bool inverse);

// Whether the note sounding began less than kLongestSeconds ago: its frames still grow, and its
// pitch may still move from where it settles.
inline bool NoteIsYoung(const ListenerState& s) {
    return s.written - s.note.start < s.longest;
}

// The smallest transform of the partials' frames: a high note's short frame is padded to the
// power of two a quarter above its length, not to the longest frame's, so that its transform
// costs what its length does; but never to bins wider than a kBinsPerPartial-th of the
// fundamental looked for, whose partials are searched for within a few bins (a low guess at a
// note's attack, on coarse bins, would find a peak anywhere).
constexpr size_t kSmallestSpectrum = 256;
constexpr double kBinsPerPartial = 64;

// The samples of the transform of a frame `length` long, of a tone of `period` samples.
size_t SpectrumSize(const ListenerState& s, size_t length, double period);

// The smallest power of two not below `n` (2 at least).
size_t PowerOfTwoAtLeast(size_t n);

// The RMS of the newest `count` samples about their mean.
double RecentLevel(const ListenerState& s, size_t count);

// The coarse pitch of the newest frame by McLeod's NSDF, 0 when it hears none.
double CoarsePitch(ListenerState& s, double rate);

// The spectrum of the `length` samples that end `before` samples ahead of the newest, less
// their mean, through Blackman's window, transformed at `size` (a SpectrumSize), into the first
// size / 2 + 1 of `out`.
void Transform(ListenerState& s, size_t length, size_t before, size_t size,
               std::vector<std::complex<float>>& out);

// McLeod's NSDF at `lag` (samples, between samples by a line) over the hop that ends
// `before` samples ahead of the newest: near 1 while the sound repeats after that lag.
double Repetition(const ListenerState& s, double lag, size_t before);
// The best Repetition of the lags within kVibratoCents of `period` (a vibrato moves it from the
// held reading), climbed to in steps of kVibratoStepCents each way while they repeat better.
double RepetitionNear(const ListenerState& s, double period, size_t before);

// The pitch the partials of a note of fundamental near `f0` read, and how sure: the first
// partial as it sounds, measured on its own unless it is faint. No reading (hz 0, and why) when
// the note does not sound or is not one note. `held` says that the note's octave was decided at
// its start: the note holds it while any partial off the multiples of a higher octave sounds.
struct PartialsRead {
    PitchReading reading;
    NoReading why = NoReading::None;
};
PartialsRead ReadPartials(ListenerState& s, double rate, double f0, bool held);

// Until the first reading, keeps the newest sound whenever it holds the most energy so far, for
// ListenerStrongestHz (strongest.cpp).
void KeepLoudest(ListenerState& s);

// The octave step (octave.cpp). What a held note's f0 is divided by: 2 when its octave below
// comes to sound in partials of its own, else 1.
int LowerOctaveOfHeld(const ListenerState& s, const SpectrumPair& spectra, double rate, double f0);
// How many times the fundamental the partials were numbered from the note is: 2, 3, ... where
// only every second (third, ...) sounds, or where its odd ones are other sounds'. `held_divisor`
// is 0 for a new note, else what LowerOctaveOfHeld gave; `possible` partials fit below the top.
int Multiple(const SpectrumPair& spectra, std::span<const Partial> numbered, int held_divisor,
             int possible);
