#include "settings.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Open strings as each instrument is usually tuned, from the 1st (the highest-placed) on, each
// named by the instrument's prefix and its number: G1 is the guitar's high E, violin4 the
// violin's G. A '+' marks an extended string, played as a preset but none of the strings
// --instrument names readings among.
struct InstrumentStrings {
    const char* instrument;
    const char* prefix;
    const char* notes;
};
constexpr InstrumentStrings kInstruments[] = {
    {"guitar", "G", "e4 b3 g3 d3 a2 e2 b1+"}, // G7: the low B of a 7-string guitar
    {"bass", "B", "g2 d2 a1 e1 b0+"},         // bass guitar and double bass; B5: a 5-string's
    {"violin", "violin", "e5 a4 d4 g3"},
    {"viola", "viola", "a4 d4 g3 c3"},
    {"cello", "cello", "a3 d3 g2 c2"},
    {"mandolin", "mandolin", "e5 a4 d4 g3"}, // its pairs of strings tuned as the violin's
    {"ukulele", "ukulele", "a4 e4 c4 g4"},   // re-entrant: the 4th string, G, above the 3rd
    {"banjo", "banjo", "d4 b3 g3 d3 g4"},    // open G; the 5th, the short drone, above the 1st
};

constexpr size_t LongestName() {
    size_t longest = 0;
    for (const InstrumentStrings& instrument : kInstruments) {
        // Every instrument has fewer than ten strings: one digit.
        longest = std::max(longest, std::char_traits<char>::length(instrument.prefix) + 1);
    }
    return longest;
}
static_assert(LongestName() == kLongestPresetName, "the menu's words must fit every preset");

// The presets of kInstruments, laid out once; the names they point to live as long.
struct PresetTable {
    std::deque<std::string> names;
    std::vector<StringPreset> presets;
};

PresetTable LayPresets() {
    PresetTable table;
    for (const InstrumentStrings& instrument : kInstruments) {
        std::istringstream words(instrument.notes);
        int number = 0;
        for (std::string word; words >> word;) {
            const bool extended = word.back() == '+';
            NoteAboveA note;
            ParseScientificName(word.substr(0, word.size() - (extended ? 1 : 0)).c_str(), note);
            table.names.push_back(instrument.prefix + std::to_string(++number));
            table.presets.push_back({table.names.back().c_str(), NoteNameAboveA(note.above_a),
                                     static_cast<double>(note.octave), instrument.instrument,
                                     extended});
        }
    }
    return table;
}

} // namespace

std::span<const StringPreset> StringPresets() {
    static const PresetTable table = LayPresets();
    return table.presets;
}

const StringPreset* FindStringPreset(const char* token) {
    for (const StringPreset& preset : StringPresets()) {
        if (std::strcmp(token, preset.token) == 0) {
            return &preset;
        }
    }
    return nullptr;
}

std::string InstrumentNames() {
    std::string names;
    for (const InstrumentStrings& instrument : kInstruments) {
        names += (names.empty() ? "" : ", ") + std::string(instrument.instrument);
    }
    return names;
}

bool IsInstrument(const char* name) {
    return std::any_of(std::begin(kInstruments), std::end(kInstruments),
                       [name](const InstrumentStrings& known) {
                           return std::strcmp(name, known.instrument) == 0;
                       });
}
