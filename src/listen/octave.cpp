#include "listener_state.h"

#include "common/units.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Whether the lowest of the partials lies on the mains' frequency, and none of the odd ones
// above the third sounds: hum, not a note's.
bool MainsHum(std::span<const Partial> partials) {
    if (partials.empty() || partials[0].number != 1) {
        return false;
    }
    const bool at_mains = std::any_of(std::begin(kMainsHz), std::end(kMainsHz), [&](double hz) {
        return std::abs(Cents(partials[0].hz, hz)) < kMainsCents;
    });
    return at_mains && std::none_of(partials.begin(), partials.end(), [](const Partial& p) {
               return p.number > 3 && p.number % 2 == 1;
           });
}

// Whether the numbering's first partial sounds, at kFaintFirstPartial of the strongest.
bool FirstSounds(std::span<const Partial> partials) {
    return !partials.empty() && partials[0].number == 1 &&
           partials[0].magnitude >= kFaintFirstPartial * StrongestOf(partials);
}

// Whether every odd partial from the 3rd to the `last`-th is found and `sounds` says it sounds.
template <typename Sounds>
bool EveryOddSounds(std::span<const Partial> partials, int last, Sounds sounds) {
    for (int k = 3; k <= last; k += 2) {
        const auto p = std::find_if(partials.begin(), partials.end(),
                                    [&](const Partial& q) { return q.number == k; });
        if (p == partials.end() || !sounds(*p)) {
            return false;
        }
    }
    return true;
}

// Whether a numbering without a fundamental (FirstSounds) leaves more than kMostMissingOdd of
// its odd partials from the 3rd to the kHighestOddChecked-th out: they are not one after
// another, as a tone's are, but other sounds' (another note's in a chord, a rumble's peaks) on
// the places of a lower octave's.
bool OddPartialsMissing(std::span<const Partial> partials, int possible) {
    bool sounding[kHighestOddChecked + 1] = {};
    for (const Partial& p : partials) {
        if (p.number > 1 && p.number <= kHighestOddChecked) {
            sounding[p.number] = true;
        }
    }
    // Above the highest partial found the tone ends: none is missing there.
    const int last = std::min({possible, kHighestOddChecked, partials.back().number});
    int missing = 0;
    for (int k = 3; k <= last; k += 2) {
        missing += sounding[k] ? 0 : 1;
    }
    return !FirstSounds(partials) && missing > kMostMissingOdd;
}

// Whether a fresh numbering's first partial sounds (FirstSounds) but too faint to count
// (kCountedPartialPower), at least `least` of its odd partials from the 3rd to the
// kChordsHighestOdd-th count, and those above sound but none of them counts: a chord's fifth and
// tenth over the note on the lower octave's 3rd and 5th, and a breath's, a jet's or a bow's faint
// peaks on every odd place of it, the first too. A lower note's own would count at its first,
// or above its 5th (a low string's 7th); a tone that ends below its 7th says nothing.
bool FifthAndTenthAlone(std::span<const Partial> partials, int least) {
    if (!FirstSounds(partials)) {
        return false;
    }
    const double strongest = StrongestOf(partials);
    int chord = 0; // odd partials from the 3rd to the kChordsHighestOdd-th that count
    bool faint_above = false;
    for (const Partial& p : partials) {
        const bool counted = Counts(p, strongest);
        if (p.number % 2 == 0) {
            continue;
        }
        if (p.number > 1 && p.number <= kChordsHighestOdd) {
            chord += counted ? 1 : 0;
        } else if (counted) {
            return false;
        } else {
            faint_above = faint_above || p.number > kChordsHighestOdd;
        }
    }
    return chord >= least && faint_above;
}

// How many of a fresh numbering's odd partials count (kCountedPartialPower) where those are the
// 3rd to the kChordsHighestOdd-th alone, under the strongest, and nothing of its own sounds at
// its first place; 0 otherwise. A chord's fifth and tenth over the note put nothing at the
// lower octave's first place and stand under the note; a breath's floor fills the odd places
// above them and the first, too faint to count and off the line. A lower note's own odd
// partials count above its 5th too (a low string's 7th), or its 3rd is its strongest (a bowed
// string's at its attack), and a lower rank speaking (an organ's) counts at its first place, on
// the line or off it. A new note's faint first partial on the line (FirstSounds,
// AnotherSoundsFirst) is its own; a `held` note's lower octave needs a first that counts: as a
// plucked note dies, a chord's fifth and tenth ring on over a faint peak it leaves there.
int FifthAndTenthCounting(std::span<const Partial> partials, bool held) {
    if (!held && FirstSounds(partials) && !AnotherSoundsFirst(partials)) {
        return 0;
    }
    const double strongest = StrongestOf(partials);
    int chord = 0;
    for (const Partial& p : partials) {
        if (p.number % 2 == 0 || !Counts(p, strongest)) {
            continue;
        }
        if (p.number == 1 || p.number > kChordsHighestOdd || p.magnitude >= strongest) {
            return 0;
        }
        ++chord;
    }
    return chord;
}

// Whether the odd partials of a fresh numbering are other sounds' on the places of a lower
// octave's, and the partials the octave above's. Faint beside the even ones: mains hum, missing
// as OddPartialsMissing says, or a chord's as FifthAndTenthAlone or FifthAndTenthCounting
// (`chord`, of the numbering before another sound's first was left out) says. As loud as the
// even ones (a bowed note speaks after the chord struck with it, a blown one while it swells), a
// chord's only where both its fifth and tenth count: a low string's 3rd sounds alone through a
// phone that cuts its first.
bool OthersOnTheOddPartials(std::span<const Partial> partials, int possible, int chord) {
    double odd = 0, even = 0;
    for (const Partial& p : partials) {
        (p.number % 2 == 1 ? odd : even) += p.magnitude * p.magnitude;
    }
    const int both = (kChordsHighestOdd - 1) / 2;
    if (!(odd < kOwnOddShare * even)) {
        return FifthAndTenthAlone(partials, both) || chord >= both;
    }
    return MainsHum(partials) || OddPartialsMissing(partials, possible) ||
           FifthAndTenthAlone(partials, 1) || chord >= 1;
}

// Whether a held note's lower octave sounds in partials of its own: an odd one, loud enough to
// count afresh (kCountedPartialPower), steady and alone in its lobe (an organ's 16' pipe). A
// rumble's band of noise sounds at those places too, but drifts within the lobe.
bool LowerOctaveSounds(const SpectrumPair& spectra, std::span<const Partial> partials) {
    const double strongest = StrongestOf(partials);
    return std::any_of(partials.begin(), partials.end(), [&](const Partial& p) {
        return p.number % 2 == 1 && Counts(p, strongest) &&
               AloneInItsLobe(spectra, p, kSteadyCents);
    });
}

// Whether the odd partials of a numbering all sound, one after another from the 3rd to the
// kHighestOddChecked-th (or the highest it has), each on the line of the partials: a low note
// whose lower partials a high-pass thinned (a phone's microphone; its fundamental may be gone),
// not the octave above's. A chord's fifth and tenth fill two of them, and stand above the
// others (FifthAndTenthAlone); noise's peaks stray off the line.
bool OddSeries(std::span<const Partial> partials, int possible) {
    if (partials.size() < 3 || FifthAndTenthAlone(partials, 1)) {
        return false;
    }
    const int last = std::min({possible, kHighestOddChecked, partials.back().number});
    if (last < kLeastOddSeries) {
        return false;
    }
    const StringFit fit = FitString(partials);
    return EveryOddSounds(partials, last, [&](const Partial& p) {
        const double k = p.number;
        return std::abs(Cents(p.hz, k * fit.f0 * std::sqrt(1 + fit.b * k * k))) < kMostSpreadCents;
    });
}

// Whether the odd partials from the 3rd to the kOwnOddRun-th all sound, each steady in its
// lobe: a tone's own, however faint beside its even ones (an organ's 16' rank's upper partials
// under its 8' and 4', while a rumble hides its first). Noise's peaks at those places drift
// within the lobe, and a chord's fifth and tenth leave the 7th and 9th out.
bool OddRunSounds(const SpectrumPair& spectra, std::span<const Partial> partials) {
    return EveryOddSounds(partials, kOwnOddRun, [&](const Partial& p) {
        return AloneInItsLobe(spectra, p, kSteadyCents);
    });
}

} // namespace

// 2 when a held note's octave below comes to sound (an organ's 16' rank speaks after its 8'):
// its partials between the note's, and the sound repeating at its period clearly better than
// at the note's. 1 otherwise: noise or a second note may put peaks between the partials, but
// they make the sound repeat no better at the longer period. An organ's 16' rank 13 dB under its
// 8' and 4' adds 0.02 to 0.035 to the NSDF at its period while it speaks, then 0.06 to 0.09.
int LowerOctaveOfHeld(const ListenerState& s, const SpectrumPair& spectra, double rate, double f0) {
    if (SubharmonicDivisor(spectra, f0, kLowestHz) != 2) {
        return 1;
    }
    const double period = rate / f0;
    return Repetition(s, 2 * period, 0) >= Repetition(s, period, 0) + kRepeatsBetter ? 2 : 1;
}

// Only every second (third, ...) partial sounding: the note is that many times higher (its
// period was found too long, or a held note's fundamental and odd partials ended). A body's
// resonance found as the first partial would make up a lower note: left out. A held
// note holds its octave on faint partials (kHoldingPartialPower); a numbering made afresh stands
// on loud ones (kCountedPartialPower), and on odd partials that are not other sounds'.
int Multiple(const SpectrumPair& spectra, std::span<const Partial> numbered, int held_divisor,
             int possible) {
    const std::span<const Partial> whole = numbered;
    if (AnotherSoundsFirst(numbered)) {
        numbered = numbered.subspan(1);
    }
    if (held_divisor == 1) {
        return CommonNumber(numbered, kHoldingPartialPower);
    }
    const int chord = FifthAndTenthCounting(whole, held_divisor > 1);
    int every = CommonNumber(numbered, kCountedPartialPower);
    // Even partials loud and odd ones faint but all there, on the line: a note thinned, not its
    // octave above.
    if (every == 2 && OddSeries(numbered, possible)) {
        return 1;
    }
    // Only the even partials loud enough to count, but the odd ones in a steady run under them:
    // the numbering is the tone's, its odd partials faint.
    if (every == 2 && OddRunSounds(spectra, numbered)) {
        every = 1;
    }
    // A held note's octave is decided: it goes down only where the lower octave's fundamental
    // sounds (an organ's 16' pipe). A struck chord's fifth and tenth ring on where the note's
    // own upper partials have died, and stand as loud as its even ones: the lower octave's
    // partials 2 to 5, its fundamental missing.
    const bool others =
        OthersOnTheOddPartials(numbered, possible, chord) ||
        (held_divisor > 1 && (!FirstSounds(numbered) || !LowerOctaveSounds(spectra, numbered)));
    return every == 1 && others ? 2 : every;
}
