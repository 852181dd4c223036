// A string's stiffness as its partials measure it: the partials the listener found, and those
// above them that its search, kept near whole multiples, passes by on a very stiff string.
#pragma once

#include "analysis.h"

#include <cstddef>
#include <span>

// A string measured: the fit of its partials, how many it took, and their spread from it
// (cents, RMS by power).
struct StringMeasure {
    StringFit fit;
    int partials = 0;
    double spread = 0;
};

// Measures the string whose partials `partials` are (numbered, in order) in `spectra`: the
// partials above the last of them, below `highest` Hz, are looked for where the fit of those
// found puts them, and where one found alone cannot say the stretch, anywhere from a harmonic
// partial to the stiffest string's. The top octave's second partial lies 2 to 3 % sharp of
// twice the first, beyond the 2 % the listener looks within.
StringMeasure MeasureString(const SpectrumPair& spectra, std::span<const Partial> partials,
                            double highest);
