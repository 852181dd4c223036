#include "app.h"

#include "synth/synth.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Tunings as the published tables give them, each from its lowest-placed string: that is
// the lowest-pitched but on re-entrant tunings (the ukulele's and the banjo's high G, the
// Nashville set's high octave strings) and on a 12-string's pairs, the octave string first.
constexpr NamedTuning kNamedTunings[] = {
    {"standard", "guitar", "E2,A2,D3,G3,B3,E4"},
    {"drop-d", "guitar", "D2,A2,D3,G3,B3,E4"},
    {"dadgad", "guitar", "D2,A2,D3,G3,A3,D4"},
    {"open-g", "guitar", "D2,G2,D3,G3,B3,D4"},
    {"open-d", "guitar", "D2,A2,D3,F#3,A3,D4"},
    {"open-e", "guitar", "E2,B2,E3,G#3,B3,E4"},
    {"half-step-down", "guitar", "Eb2,Ab2,Db3,Gb3,Bb3,Eb4"},
    {"full-step-down", "guitar", "D2,G2,C3,F3,A3,D4"},
    {"seven-string", "guitar", "B1,E2,A2,D3,G3,B3,E4"},
    {"twelve-string", "guitar", "E3,E2,A3,A2,D4,D3,G4,G3,B3,B3,E4,E4"},
    {"nashville", "guitar", "E3,A3,D4,G4,B3,E4"},
    {"bass", "bass", "E1,A1,D2,G2"},
    {"bass-drop-d", "bass", "D1,A1,D2,G2"},
    {"bass-5", "bass", "B0,E1,A1,D2,G2"},
    {"ukulele", "ukulele", "G4,C4,E4,A4"},
    {"baritone-ukulele", "ukulele", "D3,G3,B3,E4"},
    {"banjo", "banjo", "G4,D3,G3,B3,D4"},
    {"mandolin", "mandolin", "G3,D4,A4,E5"},
    {"violin", "violin", "G3,D4,A4,E5"},
    {"viola", "viola", "C3,G3,D4,A4"},
    {"cello", "cello", "C2,G2,D3,A3"},
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

// A note as players write it, whatever the case of its letter: "Eb2", "C#4".
std::string Spelled(const std::string& word) {
    std::string spelled = word;
    spelled[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(spelled[0])));
    return spelled;
}

// Lays the comma-separated notes of `list` into the settings, as given: the same note may
// stand twice (a 12-string's unison pair). False at the first word that is no note, or past
// the most strings.
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
        // A note with its octave number is at most three characters: "C#4".
        std::snprintf(settings.string_notes[settings.string_count], sizeof settings.string_notes[0],
                      "%s", Spelled(bad).c_str());
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

bool NoteOfWord(const char* word, const char*& name, double& octave) {
    NoteAboveA note;
    if (const StringPreset* preset = FindStringPreset(word); preset != nullptr) {
        name = preset->note;
        octave = preset->octave;
    } else if (ParseNoteWord(word, note)) {
        name = NoteNameAboveA(note.above_a);
        octave = note.octave;
    } else {
        name = word;
        octave = 0;
    }
    return IsNoteName(name);
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
                     "--strings takes a tuning (%s) or up to %d notes from the lowest-placed "
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
