// The steps of the estimator, as pure functions of their buffers, so that each can be tried
// on its own: the coarse period of a frame, then the partials of its spectrum and the
// fundamental they agree on.
#pragma once

#include "thresholds.h"

#include <complex>
#include <cstddef>
#include <span>

// McLeod's normalized square difference at each lag of a frame (lag 0 is 1), from its
// autocorrelation `r` (r[0 .. lags]) and the frame itself (for the sums of squares).
void NormalizedSquareDifference(std::span<const float> frame, std::span<const float> r,
                                std::span<float> nsdf);

// The period McLeod's peak picking chooses: the first key maximum of the NSDF between
// `shortest` and `longest` lags that reaches 0.9 of the highest, refined by a parabola
// through it and its neighbours. `clarity` receives its height; 0 when there is none.
double PickPeriod(std::span<const float> nsdf, size_t shortest, size_t longest, double& clarity);

// A partial found in the spectrum: its frequency in Hz and its magnitude.
struct Partial {
    int number = 0; // 1 for the fundamental
    double hz = 0;
    double magnitude = 0;
};

// The magnitude of the strongest of `partials` (0 when there are none).
double StrongestOf(std::span<const Partial> partials);

// Whether a partial is loud enough to count in a numbering made afresh (kCountedPartialPower).
inline bool Counts(const Partial& p, double strongest) {
    return p.magnitude * p.magnitude >= kCountedPartialPower * strongest * strongest;
}

// Two spectra of equally long windowed frames, `later` ending `shift` samples after
// `earlier`, on bins of rate / size Hz.
struct SpectrumPair {
    std::span<const std::complex<float>> later;
    std::span<const std::complex<float>> earlier;
    size_t size = 0;   // samples of the transform
    double rate = 0;   // Hz
    size_t shift = 0;  // samples
    size_t length = 0; // samples of each frame before the zeros that pad it
};

// The width of the pair's bins in Hz.
inline double BinHz(const SpectrumPair& spectra) {
    return spectra.rate / static_cast<double>(spectra.size);
}

// The frequency of the component in `bin`, from the advance of its phase between the two
// frames: exact for a steady sine, whatever the window, as long as the component is within
// rate / (2 shift) of the bin's centre.
double PhaseFrequency(const SpectrumPair& spectra, size_t bin);

// The magnitude of the strongest bin within `hz` +- `width` Hz, and that bin; 0 when a
// neighbour of that bin, inside the span or just beyond it, is as strong (a slope, not a peak).
double PeakNear(const SpectrumPair& spectra, double hz, double width, size_t& bin);

// The half width of the main lobe of the frames' window, in bins of rate / length.
constexpr double kLobeBins = 3;

// The most partials the fit takes: beyond them a tone's partials are weak and many.
constexpr size_t kMostPartials = 24;
// The highest partial number searched: a low note with weak partials between still has its
// 24 strongest within it, and the search of a sound whose partials crowd ever lower (their
// spacing read smaller at each one found) ends there instead of creeping up to the top.
constexpr int kHighestPartialNumber = 4 * static_cast<int>(kMostPartials);

// The partials of a tone of fundamental near `f0`, each where it is found (a stiff string's
// are stretched upward, and each is looked for where the stretch of those found before it
// puts it), below `highest` Hz, into `found`; peaks 40 dB below the loudest bin left out.
// Returns how many it found.
size_t FindPartials(const SpectrumPair& spectra, double f0, double highest,
                    std::span<Partial> found);

// A string as its partials lay it: f_k = k f0 sqrt(1 + b k^2).
struct StringFit {
    double f0 = 0; // Hz
    double b = 0;  // inharmonicity coefficient, 0 for a harmonic tone
};

// The line through (k^2, (f_k / k)^2), weighted by power, that FitFundamental takes its f0
// from, with the stiffness it found; b is 0 where the partials do not say the string is stiff.
StringFit FitString(std::span<const Partial> partials);

// The fundamental f0 that the partials agree on, as a stiff string lays them:
// f_k = k f0 sqrt(1 + B k^2), B from 0 (harmonic) up; weighted by their power. The string is
// taken as stiff when the line through (k^2, (f_k / k)^2) explains most of their spread, or
// for two partials when B is clearly above 0; else f0 is the mean of f_k / k, as for a
// harmonic tone. One partial gives f0 as its frequency over its number.
double FitFundamental(std::span<const Partial> partials);

// The frequency of the first partial by the same fit, f0 sqrt(1 + B): the pitch that sounds,
// which a stiff string holds above its f0.
double FirstPartialOfFit(std::span<const Partial> partials);

// How far the partials stray from where that fit puts them: the RMS of their distances in
// cents, weighted by power, over those no fainter than `faintest` of the strongest's power
// (the first left out where two others count). A
// note's lie on its line within a cent or two; the peaks of noise that a search finds near the
// multiples of a low pitch (a rumble, brown noise) scatter by tens of cents.
double SpreadFromFit(std::span<const Partial> partials, double faintest = kCountedPartialPower);

// Whether the partials, numbered from a fundamental, are one note's: its fundamental sounds
// (30 dB below the strongest at most), or else its partials from the second on follow one
// another with at most one missing up to the ninth (or the `possible` ones below the highest
// frequency). Two notes a fifth apart, numbered from the note below both, leave gaps; a tone
// an octave above the numbering shows only every second partial.
bool OneNote(std::span<const Partial> partials, int possible);

// The greatest common divisor of the numbers of the partials that are not faint (20 dB below
// the strongest): 2 when only the even ones sound, which says the fundamental is twice what
// they were numbered from (a period found too long); 1 when the numbering is right.
// `faintest` is the share of the strongest's power below which a partial does not count.
int CommonNumber(std::span<const Partial> partials, double faintest = kCountedPartialPower);

// The divisor (1, 2 or 3) of `f0` that the spectrum says is the true fundamental: 2 when
// partials sound halfway between the multiples of f0 (an octave error), 3 likewise at the
// thirds, 1 otherwise.
int SubharmonicDivisor(const SpectrumPair& spectra, double f0, double lowest);

// Whether a partial is alone in its main lobe: its frequency read from the advance of the phase
// half a lobe below it and half a lobe above agrees `within` cents (kAloneCents for a partial
// measured on its own). A lone component's phase, steady or decaying, advances alike there.
bool AloneInItsLobe(const SpectrumPair& spectra, const Partial& p, double within = kAloneCents);

// Whether the lowest of the partials is another sound's (a body's resonance, a guitar's air): a
// semitone or more (kOtherNoteCents) off where the line of the partials above it puts it.
bool AnotherSoundsFirst(std::span<const Partial> partials);
