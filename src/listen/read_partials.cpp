#include "listener_state.h"
#include "stiffness.h"

#include "common/units.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The share of the power of the spectrum's first `bins` that lies in the partials' main lobes,
// 0 to 1. Of the later frame's spectrum alone, both sums, and each bin counted once where the
// lobes overlap (a low note's partials, while its frames hold few periods, lie closer than a
// lobe's width): the bins in the lobes are a part of the bins summed, added in the same order,
// so that even rounding cannot lift the share above 1.
double HarmonicShare(const SpectrumPair& spectra, std::span<const Partial> partials, size_t bins) {
    double total = 0;
    for (const std::complex<float>& bin : spectra.later.first(bins)) {
        total += std::norm(bin);
    }
    const double bin_hz = BinHz(spectra);
    const double lobe = kLobeBins * spectra.rate / static_cast<double>(spectra.length);
    const auto last = static_cast<double>(bins - 1);
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

// The bins a reading's confidence (and so whether its sound is clean) weighs: all of them, but
// where the search for partials stopped at its count on a partial that still counts
// (kCountedPartialPower: a bright low string's, which go on above its 24th), those up to half a
// spacing above it: the sound above was not searched, and is the note's. Noise's peaks found as
// partials end no such search.
size_t SearchedBins(const SpectrumPair& spectra, std::span<const Partial> partials) {
    if (partials.size() < kMostPartials || !Counts(partials.back(), StrongestOf(partials))) {
        return spectra.later.size();
    }
    const Partial& last = partials.back();
    const double end = last.hz * (1 + 0.5 / last.number);
    return std::clamp<size_t>(static_cast<size_t>(end / BinHz(spectra)) + 1, 1,
                              spectra.later.size());
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

// The highest number up to kNumbersOfANote whose partial sounds (kFaintFirstPartial); 0 if none.
int HighestSounding(std::span<const Partial> partials) {
    const double strongest = StrongestOf(partials);
    int highest = 0;
    for (const Partial& p : partials) {
        if (p.number <= kNumbersOfANote && p.magnitude >= kFaintFirstPartial * strongest) {
            highest = std::max(highest, p.number);
        }
    }
    return highest;
}

// Whether the partials are one note (OneNote), where another sound's peak found as the first
// partial is no fundamental sounding: the note's own then begin as a note's do without one, its
// second and third sounding, and none missing below the highest that sounds. Not all of them
// up to the ninth: at a steel string's attack its body's resonance stands where the first
// partial is and its partials above the fourth are still faint. But two notes a fourth apart
// (E2 and A2) share A1's 2nd, 3rd, 4th and 6th: its 5th's gap under a loud 6th says two.
bool OwnAreOneNote(std::span<const Partial> partials, int possible) {
    if (!OneNote(partials, possible)) {
        return false;
    }
    const auto own = partials.subspan(1);
    return !AnotherSoundsFirst(partials) || OneNote(own, std::max(3, HighestSounding(own)));
}

// Where the line of a stiff string of stiffness `b` puts the first partial, from partial `p`.
double FirstOnTheLine(const Partial& p, double b) {
    const double k = p.number;
    return p.hz / k * std::sqrt((1 + b) / (1 + b * k * k));
}

// Where the first partial is too faint to be found (a phone's high-pass takes a low string's),
// the second says where it is, less the stretch that the line of the partials puts between
// them: a bass string's lowest partials lie a few cents under the line of those above (the
// soundboard pulls them), whose own first partial would read 3 to 4 cents sharp. Only where the
// second is alone in its lobe (kSecondAloneCents; in noise the line strays less) and the string
// is stiff (a harmonic tone's line is the mean of its partials, steadier than one of them). 0
// otherwise.
double FirstFromTheSecond(const SpectrumPair& spectra, std::span<const Partial> partials) {
    if (partials.size() < 3 || partials[0].number != 2 ||
        !AloneInItsLobe(spectra, partials[0], kSecondAloneCents)) {
        return 0;
    }
    const StringFit fit = FitString(partials);
    return fit.b > 0 ? FirstOnTheLine(partials[0], fit.b) : 0;
}

// Whether a first partial weaker than kOwnFirstPartial still sounds on its own: alone in its
// lobe, and off the line of the partials above it by more than kWeakSwayCents but less than
// kStrayFirstCents. A low piano string's first partial 15 to 20 dB under its second to fourth
// lies a few cents off that line (the soundboard pulls it), and the line would read it 4 cents
// sharp; nearer the line, the line reads steadier than the weak partial's own measure, and
// where the partial does not sound the line is all there is. Not alone, or beside another
// sound, it is still its own where its second's half (FirstFromTheSecond) agrees with it.
bool WeakButOwn(const SpectrumPair& spectra, std::span<const Partial> partials, double share) {
    if (partials.size() < 3 || partials[0].number != 1) {
        return false;
    }
    const double off = std::abs(Cents(partials[0].hz, FirstPartialOfFit(partials.subspan(1))));
    if (!(off > kWeakSwayCents && off < kStrayFirstCents)) {
        return false;
    }
    if (share >= kCleanShare && AloneInItsLobe(spectra, partials[0])) {
        return true;
    }
    const double second = FirstFromTheSecond(spectra, partials.subspan(1));
    return second > 0 && std::abs(Cents(partials[0].hz, second)) < kWitnessCents;
}

// Where the line of the partials above a strong first partial puts it, where the first lies
// kStrayFirstCents or more off it while most of them, and kLineWitnesses at least (of those that
// count, numbered up to kNumbersOfANote), lie on that line within kMostSpreadCents: its lobe holds
// another sound's peak (a rumble's, which sounds where a low string's first partial does), and the
// line says where the string is. A line that only two partials lay witnesses itself; weak partials
// scattered in noise lie on no line, nor do a vibrato's partials, each swelling at its own
// point of the swing, and their first's own measure stands. 0 otherwise.
double WitnessedLine(std::span<const Partial> partials, double strongest) {
    if (partials.size() < kLineWitnesses + 1 || partials[0].number != 1) {
        return 0;
    }
    const auto above = partials.subspan(1);
    const StringFit fit = FitString(above);
    const double line = fit.f0 * std::sqrt(1 + fit.b);
    if (std::abs(Cents(partials[0].hz, line)) < kStrayFirstCents) {
        return 0;
    }
    size_t counted = 0;
    size_t witnesses = 0;
    for (const Partial& p : above) {
        if (p.number > kNumbersOfANote || !Counts(p, strongest)) {
            continue;
        }
        ++counted;
        witnesses += std::abs(Cents(FirstOnTheLine(p, fit.b), line)) < kMostSpreadCents;
    }
    return witnesses >= kLineWitnesses && 2 * witnesses > counted ? line : 0;
}

// The first partial as it sounds. Measured on its own where it is strong and alone in its lobe,
// or weak but its own (WeakButOwn). Beside another sound, in a sound of clean partials, the fit
// of all of them stands in; in noise, a strong partial's own measure strays less than the fit
// of the noise's peaks, and a weak one's more. A stray one is its second partial's half, or the
// line of those above where they witness it (WitnessedLine); one not found, where the second is
// clean, the second's (FirstFromTheSecond).
double FirstPartialHz(const SpectrumPair& spectra, std::span<const Partial> partials,
                      double strongest, double share) {
    if (Stray(partials, strongest)) {
        return partials[1].hz / 2;
    }
    const bool strong =
        partials[0].number == 1 && partials[0].magnitude >= kOwnFirstPartial * strongest;
    const double line = strong ? WitnessedLine(partials, strongest) : 0;
    if (line > 0) {
        return line;
    }
    if (strong && (AloneInItsLobe(spectra, partials[0]) || share < kCleanShare)) {
        return partials[0].hz;
    }
    if (!strong && WeakButOwn(spectra, partials, share)) {
        return partials[0].hz;
    }
    const double from_second = FirstFromTheSecond(spectra, partials);
    return from_second > 0 ? from_second : FirstPartialOfFit(partials);
}

// The samples that the pair of frames spans: the note's since its onset, up to the cap. A high
// note's pair stops growing at kEnoughPeriods periods (but not below kShortestCap): longer, it
// would blur a vibrato into sidebands and read the strongest of them. While a note is young
// its frames stop at kYoungPeriods: a pluck's or a reed's pitch moves most then, and frames of
// kEnoughPeriods lag it (a sampled clarinet's D4, coming up a cent as it settles, read 1.01
// cents flat at 200 ms); later the longer frames read steadier in noise. Once the note has
// read, they leave out its first third (kAttackDivisor), up to kAttackSeconds: an attack sounds
// apart from where the note settles (a pluck's 10 to 15 cents, a pipe's speech), and frames
// that hold it keep its pitch in their reading. Not before: the first readings need every
// period there is. Nor so much that the frames hold fewer than kLeastPeriods: a low note's
// second reading would wait for a hop more.
size_t PairSpan(const ListenerState& s, double rate, double f0, double periods) {
    const uint64_t since_onset = s.written - s.note.start;
    const auto needed =
        static_cast<uint64_t>(std::ceil(kLeastPeriods * rate / f0 / (1 - kShiftShare))) + 1;
    const uint64_t attack =
        HasRead(s.note)
            ? std::min({static_cast<uint64_t>(kAttackSeconds * rate), since_onset / kAttackDivisor,
                        since_onset - std::min(since_onset, needed)})
            : 0;
    const double cap = std::clamp(periods / f0, kShortestCap, kLongestSeconds) * rate;
    return static_cast<size_t>(std::min<uint64_t>(
        {since_onset - attack, static_cast<uint64_t>(cap), static_cast<uint64_t>(s.longest)}));
}

// The pair of frames a reading of a note near `f0` rests on: the later ends at the newest
// sample, the earlier `shift` samples before it, each `length` long.
struct Frames {
    size_t shift = 0;
    size_t length = 0;
};

Frames PairOfFrames(const ListenerState& s, double rate, double f0, double periods) {
    const size_t span = PairSpan(s, rate, f0, periods);
    const size_t shift =
        std::max<size_t>(1, std::min(s.hop, static_cast<size_t>(kShiftShare * span)));
    return {shift, span > shift ? span - shift : 0};
}

// The spectra of the pair of frames, transformed at a size that suits a note near `f0`.
SpectrumPair Spectra(ListenerState& s, double rate, double f0, Frames frames) {
    const size_t size = SpectrumSize(s, frames.length, rate / f0);
    Transform(s, frames.length, 0, size, s.later);
    Transform(s, frames.length, frames.shift, size, s.earlier);
    return {std::span(s.later).first(size / 2 + 1),
            std::span(s.earlier).first(size / 2 + 1),
            size,
            rate,
            frames.shift,
            frames.length};
}

// Whether the even partials of a numbering lie on one line, as the octave above's own do: only
// then may its odd places, empty or another sound's, say that the note is the octave above. A
// search led astray (the line through the first two partials, the first still flat at a pluck's
// attack, says a string far stiffer than any) numbers peaks hundreds of cents off their places,
// and leaves the odd ones empty as well.
bool EvenOnTheirLine(std::span<const Partial> numbered) {
    std::array<Partial, kMostPartials> evens{};
    size_t count = 0;
    for (const Partial& p : numbered) {
        if (p.number % 2 == 0 && count < evens.size()) {
            evens[count++] = {p.number / 2, p.hz, p.magnitude};
        }
    }
    return SpreadFromFit(std::span<const Partial>(evens.data(), count)) <= kEvenLineCents;
}

// The note's partials, into s.partials, and how many; `f0` becomes the fundamental they are
// numbered from, a Multiple of the one they were first numbered from (twice it only where the
// even partials lie on their line, EvenOnTheirLine). `held_divisor` is 0 for a new note, else
// what the held note's f0 was divided by. TooHigh when the note so found is above the highest.
size_t NotePartials(ListenerState& s, const SpectrumPair& spectra, double& f0, int held_divisor,
                    NoReading& why) {
    const double highest = kHighestPartialShare * spectra.rate;
    size_t found = FindPartials(spectra, f0, highest, s.partials);
    const std::span<const Partial> numbered(s.partials.data(), found);
    int every = Multiple(spectra, numbered, held_divisor, static_cast<int>(highest / f0));
    if (every == 2 && !EvenOnTheirLine(numbered)) {
        every = 1;
    }
    // Tried for a held note, its lower octave sounds, or the held note stays: whether that moved
    // up (its fundamental fading) its own numbering decides, its faint partials counted too.
    // Numbered afresh, only the lower octave's loud partials count: a bowed low string's 3rd, 6th
    // and 9th alone, and a chord's fifth on the lower octave's 3rd place, named a fifth or a
    // twelfth above the note.
    if (held_divisor > 1 && every > held_divisor) {
        every = held_divisor;
    }
    if (every > 1) {
        f0 *= every;
        if (f0 >= std::min(kHighestHz, spectra.rate / 2)) {
            why = NoReading::TooHigh;
            return 0;
        }
        found = FindPartials(spectra, f0, highest, s.partials);
    }
    return found;
}

// Whether the partials are one note's, lying on one string's line; why not.
NoReading Gates(std::span<const Partial> partials, int possible, bool held, bool same_octave) {
    if (partials.empty()) {
        return NoReading::NoPartials;
    }
    if (!held && !OwnAreOneNote(partials, possible)) {
        return NoReading::NotOneNote;
    }
    // A held note's own partials may stray as a vibrato swings them; its octave below, taken
    // afresh, stands on partials that lie on their line.
    const double most = held && same_octave ? kHeldSpreadCents : kMostSpreadCents;
    return SpreadFromFit(partials) <= most ? NoReading::None : NoReading::Spread;
}

// The reading the partials give: the first partial as it sounds, how sure, and the string. The
// reading stays by the pitch the waveform shows, as far as the first partial is looked for: a
// stray partial cannot move it further. Nor below the lowest note it names.
PartialsRead Measure(const ListenerState& s, const SpectrumPair& spectra,
                     std::span<const Partial> partials, double f0) {
    const double top = std::min(kHighestHz, spectra.rate / 2);
    const double strongest = StrongestOf(partials);
    const double share = HarmonicShare(spectra, partials, SearchedBins(spectra, partials));
    const double hz = FirstPartialHz(spectra, partials, strongest, share);
    if (!(std::abs(hz / f0 - 1) < kFirstSearchShare)) {
        return {{}, NoReading::OffCoarse};
    }
    if (!(hz < top)) {
        return {{}, NoReading::TooHigh};
    }
    if (!(hz >= kLowestHz)) {
        return {{}, NoReading::TooLow};
    }
    PitchReading reading{static_cast<double>(s.written) / spectra.rate, hz, share};
    const StringMeasure measure =
        MeasureString(spectra, partials, kHighestPartialShare * spectra.rate);
    reading.b = measure.fit.b;
    reading.partials = measure.partials;
    reading.spread = measure.spread;
    return {reading, NoReading::None};
}

// The reading of frames that stop growing at `periods` of the note.
PartialsRead ReadOnFrames(ListenerState& s, double rate, double f0, bool held, double periods) {
    const Frames frames = PairOfFrames(s, rate, f0, periods);
    if (static_cast<double>(frames.length) < kLeastPeriods * rate / f0) {
        return {{}, NoReading::TooShort};
    }
    const SpectrumPair spectra = Spectra(s, rate, f0, frames);
    // The octave: a held note's lower octave, or a new note's period found too short.
    const int divisor =
        held ? LowerOctaveOfHeld(s, spectra, rate, f0) : SubharmonicDivisor(spectra, f0, kLowestHz);
    f0 /= divisor;
    NoReading why = NoReading::None;
    const size_t found = NotePartials(s, spectra, f0, held ? divisor : 0, why);
    if (why != NoReading::None) {
        return {{}, why};
    }
    const std::span<const Partial> partials(s.partials.data(), found);
    why = Gates(partials, static_cast<int>(kHighestPartialShare * rate / f0), held, divisor == 1);
    if (why != NoReading::None) {
        return {{}, why};
    }
    const PartialsRead read = Measure(s, spectra, partials, f0);
    // A new note named by kFewPartials or fewer, on frames shorter than kLockPeriods of its
    // periods that blur together partials a third of it apart, waits until they hold
    // kFewPartialsShare of the sound, or the frames part such partials.
    const bool blurred = static_cast<double>(frames.length) < kLockPeriods * rate / f0;
    if (!held && blurred && found <= kFewPartials && read.reading.confidence < kFewPartialsShare) {
        return {{}, NoReading::Unsure};
    }
    return read;
}

} // namespace

// A held note that its frames cannot read is read again on frames of kMovingPeriods: frames
// that span much of a vibrato's cycle blur each partial over the swing.
PartialsRead ReadPartials(ListenerState& s, double rate, double f0, bool held) {
    const double periods = NoteIsYoung(s) ? kYoungPeriods : kEnoughPeriods;
    const PartialsRead read = ReadOnFrames(s, rate, f0, held, periods);
    if (read.reading.hz > 0 || !held ||
        PairSpan(s, rate, f0, kMovingPeriods) == PairSpan(s, rate, f0, periods)) {
        return read;
    }
    return ReadOnFrames(s, rate, f0, held, kMovingPeriods);
}
