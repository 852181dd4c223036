#include "listener_state.h"
#include "stiffness.h"

#include "common/units.h"

#include <algorithm>
#include <cmath>

namespace {

// A high note's pair of frames stops growing at kEnoughPeriods periods (but not below
// kShortestCap): longer, it would blur a vibrato into sidebands and read the strongest of
// them. The frames hold at least kLeastPeriods periods before a reading.
constexpr double kEnoughPeriods = 24;
// While a note is young (kLongestSeconds since its onset) its frames stop at kYoungPeriods: a
// pluck's or a reed's pitch moves most then, and frames of kEnoughPeriods lag it (a sampled
// clarinet's D4, coming up a cent as it settles, read 1.01 cents flat at 200 ms). Later the
// longer frames read steadier in noise.
constexpr double kYoungPeriods = 16;
constexpr double kShortestCap = 0.06;
// A held note that its frames cannot read is read again on frames of kMovingPeriods: frames
// that span much of a vibrato's cycle (24 periods of a G3 are two thirds of one) blur each
// partial over the swing, and on a third of a cycle a sampled viola's read on a tenth more hops.
constexpr double kMovingPeriods = 10;
constexpr double kLeastPeriods = 3;
// The attack that the frames leave out, at most (seconds).
constexpr double kAttackSeconds = 0.06;
// The first partial is measured on its own from this share of the strongest partial up
// (-10 dB); weaker, its neighbours leak into its phase, and the fit of all of them stands in.
constexpr double kOwnFirstPartial = 0.3;
// A first partial this far (cents) from where the partials above it put it is stray.
constexpr double kStrayFirstCents = 20;
// A partial alone in its lobe reads the same frequency at every bin of the lobe; another sound
// in it (the thump of a bass's pluck) shifts the bins nearer it more. Measured half a lobe
// either side of the partial, they agree within this (cents) where it is alone.
constexpr double kAloneCents = 1;
// The partials hold this share of the frame's power at least where a first partial that is not
// alone shares its lobe with another sound rather than with noise: the fit of the partials then
// stands in for it. In noise as loud as the note they hold 0.6, and a fit that takes in the
// noise's peaks strays further than the partial (9 cents at A3).
constexpr double kCleanShare = 0.9;
// The lowest partial found this far (cents) off the line of those above it is another sound's.
constexpr double kOtherNoteCents = 50;
// A partial of the note that sounds holds the note's octave down to this share of the
// strongest's power (-40 dB): a fading fundamental or the odd partials of a low string.
constexpr double kHoldingPartialPower = 1e-4;
// The partials of a note stray from their line by this much at most (cents, RMS by power).
constexpr double kMostSpreadCents = 5;
// Those of a held note (its octave decided, its period still what the hop repeats at) by this
// much: a vibrato swings each partial through the body's resonances, each loudest at its own
// point of the swing, and a frame measures each where it was loudest. A sampled viola's and
// cello's partials strayed 5 to 16 cents through most of their vibrato's cycles.
constexpr double kHeldSpreadCents = 20;
// A held note's lower octave sounds when the sound repeats at its period by this much better
// (McLeod's NSDF) than at the note's: an organ's 16' rank 13 dB under its 8' and 4' adds 0.02
// to 0.035 while it speaks, then 0.06 to 0.09.
constexpr double kRepeatsBetter = 0.02;
// Partials up to this share of the rate: the anti-aliasing filters of recorders end there.
constexpr double kHighestPartialShare = 0.45;

// The share of the spectrum's power that lies in the partials' main lobes.
double HarmonicShare(const SpectrumPair& spectra, std::span<const Partial> partials) {
    double total = 0;
    for (const std::complex<float>& bin : spectra.later) {
        total += std::norm(bin);
    }
    const double bin_hz = BinHz(spectra);
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

// Whether a strong first partial lies off both half its second and where the line of the
// partials above it puts it (a stiff string's first lies below half its second): it shares its
// lobe with another sound (a body's resonance at a bass's attack), and the second says where
// the string is. Two partials alone cannot tell a resonance from a stiff string's stretch.
bool Stray(std::span<const Partial> partials, double strongest) {
    return partials.size() >= 3 && partials[0].number == 1 && partials[1].number == 2 &&
           partials[0].magnitude >= kOwnFirstPartial * strongest &&
           partials[1].magnitude >= kOwnFirstPartial * strongest &&
           !(std::abs(Cents(partials[0].hz, partials[1].hz / 2)) < kStrayFirstCents) &&
           !(std::abs(Cents(partials[0].hz, FirstPartialOfFit(partials.subspan(1)))) <
             kStrayFirstCents);
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

// Whether a partial is alone in its main lobe: the advance of the phase half a lobe below it
// and half a lobe above says its frequency within kAloneCents. The phase of a lone component,
// steady or decaying, advances alike at every bin of its lobe.
bool AloneInItsLobe(const SpectrumPair& spectra, const Partial& p) {
    const double bin_hz = BinHz(spectra);
    const double half_lobe = kLobeBins / 2 * spectra.rate / static_cast<double>(spectra.length);
    const auto last = static_cast<double>(spectra.later.size() - 2);
    for (double hz : {p.hz - half_lobe, p.hz + half_lobe}) {
        const auto bin = static_cast<size_t>(std::clamp(std::round(hz / bin_hz), 1.0, last));
        if (!(std::abs(Cents(PhaseFrequency(spectra, bin), p.hz)) < kAloneCents)) {
            return false;
        }
    }
    return true;
}

// The first partial as it sounds. Measured on its own where it is strong and alone in its lobe.
// Beside another sound, in a sound of clean partials, the fit of all of them stands in; in
// noise, the partial's own measure strays less than the fit of the noise's peaks. A faint one
// is the fit's; a stray one, its second partial's half.
double FirstPartialHz(const SpectrumPair& spectra, std::span<const Partial> partials,
                      double strongest, double share) {
    if (Stray(partials, strongest)) {
        return partials[1].hz / 2;
    }
    const bool strong =
        partials[0].number == 1 && partials[0].magnitude >= kOwnFirstPartial * strongest;
    if (strong && (AloneInItsLobe(spectra, partials[0]) || share < kCleanShare)) {
        return partials[0].hz;
    }
    return FirstPartialOfFit(partials);
}

// 2 when a held note's octave below comes to sound (an organ's 16' rank speaks after its 8'):
// its partials between the note's, and the sound repeating at its period clearly better than
// at the note's. 1 otherwise: noise or a second note may put peaks between the partials, but
// they make the sound repeat no better at the longer period.
int LowerOctaveOfHeld(const ListenerState& s, const SpectrumPair& spectra, double rate, double f0) {
    if (SubharmonicDivisor(spectra, f0, kLowestHz) != 2) {
        return 1;
    }
    const double period = rate / f0;
    return Repetition(s, 2 * period, 0) >= Repetition(s, period, 0) + kRepeatsBetter ? 2 : 1;
}

// The samples that the pair of frames spans: the note's since its onset, up to the cap. Once
// the note has read, they leave out its first third, up to kAttackSeconds: an attack sounds
// apart from where the note settles (a pluck's 10 to 15 cents, a pipe's speech), and frames
// that hold it keep its pitch in their reading. Not before: the first readings need every
// period there is. Nor so much that the frames hold fewer than kLeastPeriods: a low note's
// second reading would wait for a hop more.
size_t PairSpan(const ListenerState& s, double rate, double f0, double periods) {
    const uint64_t since_onset = s.written - s.note_start;
    const auto needed =
        static_cast<uint64_t>(std::ceil(kLeastPeriods * rate / f0 / (1 - kShiftShare))) + 1;
    const uint64_t attack =
        s.held > 0 ? std::min({static_cast<uint64_t>(kAttackSeconds * rate), since_onset / 3,
                               since_onset - std::min(since_onset, needed)})
                   : 0;
    const double cap = std::clamp(periods / f0, kShortestCap, kLongestSeconds) * rate;
    return static_cast<size_t>(std::min<uint64_t>(
        {since_onset - attack, static_cast<uint64_t>(cap), static_cast<uint64_t>(s.longest)}));
}

// The reading of frames that stop growing at `periods` of the note.
PitchReading ReadOnFrames(ListenerState& s, double rate, double f0, bool held, double periods) {
    const size_t span = PairSpan(s, rate, f0, periods);
    const size_t shift =
        std::max<size_t>(1, std::min(s.hop, static_cast<size_t>(kShiftShare * span)));
    const size_t length = span > shift ? span - shift : 0;
    if (static_cast<double>(length) < kLeastPeriods * rate / f0) {
        return {};
    }
    const size_t size = SpectrumSize(s, length, rate / f0);
    Transform(s, length, 0, size, s.later);
    Transform(s, length, shift, size, s.earlier);
    const SpectrumPair spectra{std::span(s.later).first(size / 2 + 1),
                               std::span(s.earlier).first(size / 2 + 1),
                               size,
                               rate,
                               shift,
                               length};
    const double highest = kHighestPartialShare * rate;
    const double top = std::min(kHighestHz, rate / 2);
    f0 /=
        held ? LowerOctaveOfHeld(s, spectra, rate, f0) : SubharmonicDivisor(spectra, f0, kLowestHz);
    size_t found = FindPartials(spectra, f0, highest, s.partials);
    // Only every second (third, ...) partial sounding: the note is that many times higher
    // (its period was found too long, or a held note's fundamental and odd partials ended).
    // A body's resonance found as the first partial would make up a lower note: left out.
    std::span<const Partial> numbered(s.partials.data(), found);
    if (AnotherSoundsFirst(numbered)) {
        numbered = numbered.subspan(1);
    }
    const int every = CommonNumber(numbered, held ? kHoldingPartialPower : 0.01);
    if (every > 1) {
        f0 *= every;
        if (f0 >= top) {
            return {};
        }
        found = FindPartials(spectra, f0, highest, s.partials);
    }
    const std::span<const Partial> partials(s.partials.data(), found);
    const int possible = static_cast<int>(highest / f0);
    const double spread = found > 0 ? SpreadFromFit(partials) : 0;
    if (found == 0 || (!held && !OneNote(partials, possible)) ||
        !(spread <= (held ? kHeldSpreadCents : kMostSpreadCents))) {
        return {};
    }
    const double strongest = StrongestOf(partials);
    const double share = HarmonicShare(spectra, partials);
    const double hz = FirstPartialHz(spectra, partials, strongest, share);
    // The reading stays by the pitch the waveform shows, as far as the first partial is looked
    // for: a stray partial cannot move it further. Nor below the lowest note it names.
    if (!(std::abs(hz / f0 - 1) < kFirstSearchShare) || !(hz < top) || !(hz >= kLowestHz)) {
        return {};
    }
    PitchReading reading{static_cast<double>(s.written) / rate, hz, share};
    const StringMeasure measure = MeasureString(spectra, partials, highest);
    reading.b = measure.fit.b;
    reading.partials = measure.partials;
    reading.spread = measure.spread;
    return reading;
}

} // namespace

PitchReading ReadPartials(ListenerState& s, double rate, double f0, bool held) {
    const double periods = NoteIsYoung(s) ? kYoungPeriods : kEnoughPeriods;
    const PitchReading reading = ReadOnFrames(s, rate, f0, held, periods);
    if (reading.hz > 0 || !held ||
        PairSpan(s, rate, f0, kMovingPeriods) == PairSpan(s, rate, f0, periods)) {
        return reading;
    }
    return ReadOnFrames(s, rate, f0, held, kMovingPeriods);
}
