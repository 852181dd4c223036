#include "settings.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Open strings, numbered from the highest, as each instrument is usually tuned.
constexpr StringPreset kStringPresets[] = {
    // Guitar; G7 is the low B of a 7-string guitar.
    {"G1", "e", -1, "guitar"},
    {"G2", "b", -1, "guitar"},
    {"G3", "g", -2, "guitar"},
    {"G4", "d", -2, "guitar"},
    {"G5", "a", -2, "guitar"},
    {"G6", "e", -3, "guitar"},
    {"G7", "b", -3, "guitar", true},
    // Bass guitar and double bass; B5 is the low B of a 5-string bass.
    {"B1", "g", -3, "bass"},
    {"B2", "d", -3, "bass"},
    {"B3", "a", -3, "bass"},
    {"B4", "e", -4, "bass"},
    {"B5", "b", -4, "bass", true},
    {"violin1", "e", 0, "violin"},
    {"violin2", "a", 0, "violin"},
    {"violin3", "d", -1, "violin"},
    {"violin4", "g", -2, "violin"},
    {"viola1", "a", 0, "viola"},
    {"viola2", "d", -1, "viola"},
    {"viola3", "g", -2, "viola"},
    {"viola4", "c", -2, "viola"},
    {"cello1", "a", -1, "cello"},
    {"cello2", "d", -2, "cello"},
    {"cello3", "g", -3, "cello"},
    {"cello4", "c", -3, "cello"},
    // The mandolin's pairs of strings are tuned as the violin's strings.
    {"mandolin1", "e", 0, "mandolin"},
    {"mandolin2", "a", 0, "mandolin"},
    {"mandolin3", "d", -1, "mandolin"},
    {"mandolin4", "g", -2, "mandolin"},
    // Re-entrant: the 4th string, G, is above the 3rd, C.
    {"ukulele1", "a", 0, "ukulele"},
    {"ukulele2", "e", -1, "ukulele"},
    {"ukulele3", "c", -1, "ukulele"},
    {"ukulele4", "g", -1, "ukulele"},
    // Open G; the 5th string is the short drone string, above the 1st.
    {"banjo1", "d", -1, "banjo"},
    {"banjo2", "b", -1, "banjo"},
    {"banjo3", "g", -2, "banjo"},
    {"banjo4", "d", -2, "banjo"},
    {"banjo5", "g", -1, "banjo"},
};

constexpr size_t LongestName() {
    size_t longest = 0;
    for (const StringPreset& preset : kStringPresets) {
        longest = std::max(longest, std::char_traits<char>::length(preset.token));
    }
    return longest;
}
static_assert(LongestName() == kLongestPresetName, "the menu's words must fit every preset");

} // namespace

std::span<const StringPreset> StringPresets() {
    return kStringPresets;
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
    const char* last = "";
    for (const StringPreset& preset : StringPresets()) {
        if (std::strcmp(preset.instrument, last) != 0) {
            names += (names.empty() ? "" : ", ") + std::string(preset.instrument);
            last = preset.instrument;
        }
    }
    return names;
}

bool IsInstrument(const char* name) {
    return std::any_of(
        std::begin(kStringPresets), std::end(kStringPresets),
        [name](const StringPreset& preset) { return std::strcmp(name, preset.instrument) == 0; });
}
