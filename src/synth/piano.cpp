#include "piano.h"
#include "synth.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

namespace {

// More partials than this no string's fit takes.
constexpr int kMostPartials = 99;
// A measured first partial this many semitones or more from its key is another key's.
constexpr int kFarthestSemitones = 3;
// Far more than any piano's 88 lines with their comments.
constexpr size_t kLongestLine = 1000;

// The words of a line, its comment left out: a '#' that begins a word begins a comment; one
// within a word is a sharp ("C#4").
std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (c == '#' && word.empty()) {
            break;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// A number that is the whole word, finite.
bool Number(const std::string& word, double& value) {
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return end != word.c_str() && *end == '\0' && std::isfinite(value);
}

// The key of one line of words, or why not.
std::string ParseKey(const std::vector<std::string>& words, MeasuredKey& key) {
    if (words.size() != 4) {
        return "a key's line is NOTE F1 B PARTIALS (as A4 440.000 3.90e-04 14), not " +
               std::to_string(words.size()) + " words";
    }
    key.key = KeyOfName(words[0]);
    if (key.key == 0) {
        return "'" + words[0] + "' is no key of a piano, A0 to C8";
    }
    double partials = 0;
    if (!Number(words[1], key.f1) || !(key.f1 > 0)) {
        return "the first partial of " + words[0] + " is a number of Hz, not '" + words[1] + "'";
    }
    // Whatever A4 the piano is at (400 to 480 Hz) and however it is stretched, a key's first
    // partial lies within a few semitones of its pitch in equal temperament at 440.
    const double semitones = 12 * std::log2(key.f1 / (440 * std::exp2((key.key - kA4Key) / 12.0)));
    if (!(std::abs(semitones) <= kFarthestSemitones)) {
        return "the first partial of " + words[0] + ", " + words[1] + " Hz, lies more than " +
               std::to_string(kFarthestSemitones) + " semitones from " + KeyName(key.key);
    }
    if (!Number(words[2], key.b) || !(key.b >= 0 && key.b < kStiffestString)) {
        return "the stiffness B of " + words[0] + " is a number from 0 below 0.5, not '" +
               words[2] + "'";
    }
    if (!Number(words[3], partials) || partials != std::floor(partials) ||
        partials < kFewestFitPartials || partials > kMostPartials) {
        return "the partials of " + words[0] + "'s fit are a whole number from 2 to 99, not '" +
               words[3] + "'";
    }
    key.partials = static_cast<int>(partials);
    return "";
}

} // namespace

PianoFileReading ParsePianoFile(std::string_view text) {
    PianoFileReading reading;
    std::vector<int> line_of(kPianoKeys + 1, 0);
    while (!text.empty()) {
        ++reading.line;
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.size() > kLongestLine) {
            reading.why = "a line of over " + std::to_string(kLongestLine) + " bytes";
            return reading;
        }
        if (line.find('\0') != std::string_view::npos) {
            reading.why = "a zero byte: this is no piano file";
            return reading;
        }
        const std::vector<std::string> words = Words(line);
        if (words.empty()) {
            continue;
        }
        MeasuredKey key;
        reading.why = ParseKey(words, key);
        if (!reading.why.empty()) {
            return reading;
        }
        if (line_of[key.key] != 0) {
            reading.why = KeyName(key.key) + " is measured on line " +
                          std::to_string(line_of[key.key]) + " already";
            return reading;
        }
        line_of[key.key] = reading.line;
        reading.keys = WithKey(reading.keys, key);
    }
    reading.ok = true;
    reading.line = 0;
    return reading;
}

std::string FormatPianoFile(const std::vector<MeasuredKey>& keys) {
    std::string text = "# Ondelis: a piano's measured keys, one a line\n"
                       "# NOTE\tF1 (Hz, the first partial)\tB (stiffness)\tPARTIALS (of the fit)\n";
    std::vector<MeasuredKey> sorted;
    for (const MeasuredKey& key : keys) {
        sorted = WithKey(sorted, key);
    }
    for (const MeasuredKey& key : sorted) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "\t%.3f\t%.4e\t%d\n", key.f1, key.b, key.partials);
        text += KeyName(key.key) + numbers;
    }
    return text;
}

std::vector<MeasuredKey> WithKey(std::vector<MeasuredKey> keys, const MeasuredKey& key) {
    const auto at =
        std::lower_bound(keys.begin(), keys.end(), key.key,
                         [](const MeasuredKey& k, int number) { return k.key < number; });
    if (at != keys.end() && at->key == key.key) {
        *at = key;
    } else {
        keys.insert(at, key);
    }
    return keys;
}
