#include "naming.h"
#include "strings.h"

#include "common/units.h"
#include "listen/listener.h"
#include "synth/synth.h"

#include <cmath>
#include <cstring>

namespace {

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
    return {&settings, OpenStrings(settings)};
}

HeardName NameHeard(const Naming& naming, double hz) {
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
    return {reading.time + offset, reading.hz, NameHeard(naming, reading.hz), reading.between_hops,
            reading.onset + offset};
}
