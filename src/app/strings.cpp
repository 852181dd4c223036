#include "app.h"

#include "common/units.h"
#include "synth/synth.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

// Alternate tunings, each from its lowest string, as the tables of guitar and bass tunings
// give them.
constexpr NamedTuning kNamedTunings[] = {
    {"standard", "guitar", "E2,A2,D3,G3,B3,E4"},
    {"drop-d", "guitar", "D2,A2,D3,G3,B3,E4"},
    {"dadgad", "guitar", "D2,A2,D3,G3,A3,D4"},
    {"open-g", "guitar", "D2,G2,D3,G3,B3,D4"},
    {"open-d", "guitar", "D2,A2,D3,F#3,A3,D4"},
    {"open-e", "guitar", "E2,B2,E3,G#3,B3,E4"},
    {"half-step-down", "guitar", "Eb2,Ab2,Db3,Gb3,Bb3,Eb4"},
    {"full-step-down", "guitar", "D2,G2,C3,F3,A3,D4"},
    {"bass-drop-d", "bass", "D1,A1,D2,G2"},
    {"bass-5", "bass", "B0,E1,A1,D2,G2"},
};

constexpr int kMostStrings = static_cast<int>(std::size(ToneSettings{}.open_strings));

// A note with its octave number, its letter in either case.
bool ParseNoteAnyCase(const char* word, NoteAboveA& note) {
    if (ParseScientificName(word, note)) {
        return true;
    }
    if (*word < 'A' || *word > 'G') {
        return false;
    }
    std::string lower = word;
    lower[0] = static_cast<char>(lower[0] - 'A' + 'a');
    return ParseScientificName(lower.c_str(), note);
}

int Semitones(NoteAboveA note) {
    return note.above_a + 12 * note.octave;
}

// Lays the comma-separated notes of `list` into the settings; false at the first word that
// is no note, or a note given twice.
bool LayStrings(ToneSettings& settings, const std::string& list, std::string& bad) {
    settings.string_count = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        bad = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        NoteAboveA note;
        if (settings.string_count == kMostStrings || !ParseNoteAnyCase(bad.c_str(), note)) {
            return false;
        }
        for (int i = 0; i < settings.string_count; ++i) {
            if (Semitones(settings.open_strings[i]) == Semitones(note)) {
                return false;
            }
        }
        settings.open_strings[settings.string_count++] = note;
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

std::string TuningNames() {
    std::string names;
    for (const NamedTuning& tuning : kNamedTunings) {
        names += (names.empty() ? "" : ", ") + std::string(tuning.name);
    }
    return names;
}

} // namespace

bool ParseNoteWord(const char* word, NoteAboveA& note) {
    return FindStringPreset(word) == nullptr && ParseNoteAnyCase(word, note);
}

std::string ShadowedNote(const char* word) {
    const StringPreset* preset = FindStringPreset(word);
    NoteAboveA note;
    if (preset == nullptr || !ParseNoteAnyCase(word, note)) {
        return "";
    }
    const NoteAboveA string{SemitonesAboveA(preset->note), static_cast<int>(preset->octave)};
    std::string lower = word;
    lower[0] = static_cast<char>(lower[0] - 'A' + 'a');
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a literal + a temporary.
    std::string text = "'";
    text += word;
    text += "' is string ";
    text += word + 1;
    text += " of the ";
    text += preset->instrument;
    text += ", ";
    text += ScientificName(string);
    text += "; for the note ";
    text += ScientificName(note);
    text += " say '" + lower + "'";
    return text;
}

std::span<const NamedTuning> NamedTunings() {
    return kNamedTunings;
}

bool SetStrings(ToneSettings& settings, const char* value) {
    std::string list = value;
    for (const NamedTuning& tuning : kNamedTunings) {
        if (std::strcmp(value, tuning.name) == 0) {
            list = tuning.notes;
        }
    }
    std::string bad;
    if (!LayStrings(settings, list, bad)) {
        settings.string_count = 0;
        std::fprintf(stderr,
                     "--strings takes a tuning (%s) or up to %d different notes from the lowest "
                     "string, as D2,A2,D3,G3,B3,E4; not '%s'\n",
                     TuningNames().c_str(), kMostStrings, bad.c_str());
        return false;
    }
    settings.strings = value;
    settings.listen_option = "--strings";
    return true;
}

double StringPitch(const ToneSettings& settings, NoteAboveA note) {
    return TunedFreq(settings.tuning, NoteNameAboveA(note.above_a), note.octave, 0, settings.a4);
}

NearestNumbered NearestOfStrings(const ToneSettings& settings, double hz) {
    NearestNumbered nearest;
    const std::span<const NoteAboveA> strings(settings.open_strings,
                                              static_cast<size_t>(settings.string_count));
    for (const NoteAboveA& string : strings) {
        const double cents = Cents(hz, StringPitch(settings, string));
        if (nearest.number == 0 || std::abs(cents) < std::abs(nearest.cents)) {
            nearest = {1, string, cents};
        }
    }
    // Players count from the highest-pitched string.
    for (const NoteAboveA& string : strings) {
        nearest.number += Semitones(string) > Semitones(nearest.note) ? 1 : 0;
    }
    return nearest;
}
