#include "piano.h"
#include "synth.h"

#include <cctype>
#include <cmath>

std::string KeyName(int key) {
    // Key 49 is A4: NoteAboveA counts semitones above A within its octave offset from A4.
    const int above_a4 = key - kA4Key;
    const int octave = above_a4 >= 0 ? above_a4 / 12 : -((-above_a4 + 11) / 12);
    return ScientificName({above_a4 - 12 * octave, octave});
}

int KeyOfName(const std::string& name) {
    if (name.empty()) {
        return 0;
    }
    std::string lower = name;
    lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
    NoteAboveA note;
    if (!ParseScientificName(lower.c_str(), note)) {
        return 0;
    }
    const int key = kA4Key + note.above_a + 12 * note.octave;
    return key >= 1 && key <= kPianoKeys ? key : 0;
}

double PartialHz(double f1, double b, int k) {
    const double f0 = f1 / std::sqrt(1 + b);
    return k * f0 * std::sqrt(1 + b * k * k);
}
