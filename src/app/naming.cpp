#include "naming.h"
#include "strings.h"

#include "common/units.h"
#include "listen/listener.h"
#include "synth/synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A reading's stiffness is its string's once its fit took this many partials: two lay a line
// through any pair, and a bass string read on its 2nd to 6th partial would be read by noise.
constexpr int kFewestStiffnessPartials = 3;

// The key of the curve nearest `hz` by cents from its target's first partial, and the cents of
// the partial it is tuned on: the string's own stiffness lays that partial where it measured
// one, since a key not measured has its B laid from its neighbours'.
HeardName NameKey(const std::vector<CurveKey>& keys, double hz, double b) {
    const CurveKey& key = *std::min_element(
        keys.begin(), keys.end(), [hz](const CurveKey& one, const CurveKey& other) {
            return std::abs(Cents(hz, one.f1)) < std::abs(Cents(hz, other.f1));
        });
    const double cents = Cents(PartialHz(hz, b >= 0 ? b : key.b, key.partial),
                               PartialHz(key.f1, key.b, key.partial));
    return {KeyName(key.key), cents, std::to_string(key.key)};
}

// The strings of --instrument, from the lowest-placed: the presets run from the 1st string.
std::vector<OpenString> InstrumentStrings(const ToneSettings& settings) {
    std::vector<OpenString> strings;
    for (const StringPreset& preset : StringPresets()) {
        if (std::strcmp(preset.instrument, settings.instrument) != 0 || preset.extended) {
            continue;
        }
        const NoteAboveA note{SemitonesAboveA(preset.note), static_cast<int>(preset.octave)};
        strings.insert(strings.begin(),
                       {preset.token, ScientificName(note), StringPitch(settings, note)});
    }
    return strings;
}

} // namespace

std::vector<OpenString> OpenStrings(const ToneSettings& settings) {
    if (settings.string_count > 0) {
        std::vector<OpenString> strings;
        for (int i = 0; i < settings.string_count; ++i) {
            const NoteAboveA note = settings.open_strings[i];
            strings.push_back({std::to_string(settings.string_count - i), settings.string_notes[i],
                               StringPitch(settings, note)});
        }
        return strings;
    }
    return settings.instrument == nullptr ? std::vector<OpenString>{} : InstrumentStrings(settings);
}

Naming NewNaming(const ToneSettings& settings) {
    return {&settings, OpenStrings(settings), settings.piano.targets};
}

HeardName NameHeard(const Naming& naming, double hz, double b) {
    if (!naming.keys.empty()) {
        return NameKey(naming.keys, hz, b);
    }
    const OpenString* nearest = nullptr;
    double nearest_cents = 0;
    for (const OpenString& string : naming.strings) {
        const double cents = Cents(hz, string.hz);
        if (nearest == nullptr || std::abs(cents) < std::abs(nearest_cents)) {
            nearest = &string;
            nearest_cents = cents;
        }
    }
    if (nearest != nullptr) {
        return {nearest->note, nearest_cents, nearest->name};
    }
    const ToneSettings& settings = *naming.settings;
    const HeardNote heard = NearestNote(settings.tuning, hz, settings.a4);
    return {ScientificName(heard.note), heard.cents, ""};
}

Reading NameReading(const Naming& naming, const PitchReading& reading, double offset) {
    Reading named{
        reading.time + offset, reading.hz, {}, reading.between_hops, reading.onset + offset};
    named.b = reading.partials >= kFewestStiffnessPartials ? reading.b : -1;
    named.name = NameHeard(naming, reading.hz, named.b);
    return named;
}
