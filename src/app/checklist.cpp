#include "app.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The strings of --strings from the lowest: the number counts down to 1, the highest.
std::vector<CheckedString> NumberedStrings(const ToneSettings& settings) {
    std::vector<NoteAboveA> notes(settings.open_strings,
                                  settings.open_strings + settings.string_count);
    std::sort(notes.begin(), notes.end(), [](NoteAboveA a, NoteAboveA b) {
        return a.above_a + 12 * a.octave < b.above_a + 12 * b.octave;
    });
    std::vector<CheckedString> checklist;
    for (size_t i = 0; i < notes.size(); ++i) {
        const std::string number = std::to_string(notes.size() - i);
        checklist.push_back({number, number + ":" + ScientificName(notes[i])});
    }
    return checklist;
}

std::string Entry(const CheckedString& string, bool utf8) {
    char cents[16] = "  --";
    if (string.heard) {
        std::snprintf(cents, sizeof cents, "%+5.1f", string.cents);
    }
    if (std::strcmp(cents, " -0.0") == 0) { // in tune from below is in tune all the same
        std::strcpy(cents, " +0.0");
    }
    const char* mark = string.in_tune ? (utf8 ? "✓ " : "OK") : "  ";
    return string.shown + " " + cents + mark;
}

} // namespace

std::vector<CheckedString> NewChecklist(const ToneSettings& settings) {
    if (settings.string_count > 0) {
        return NumberedStrings(settings);
    }
    std::vector<CheckedString> checklist;
    if (settings.instrument == nullptr) {
        return checklist;
    }
    // The presets run from the 1st string: the checklist from the last.
    for (const StringPreset& preset : StringPresets()) {
        if (std::strcmp(preset.instrument, settings.instrument) == 0) {
            checklist.insert(checklist.begin(), {preset.token, preset.token});
        }
    }
    return checklist;
}

void CheckString(std::vector<CheckedString>& checklist, const std::string& name, double cents,
                 bool in_tune) {
    for (CheckedString& string : checklist) {
        if (string.name == name) {
            string.heard = true;
            string.cents = cents;
            string.in_tune = in_tune;
        }
    }
}

std::string ChecklistLine(const std::vector<CheckedString>& checklist, bool utf8, size_t columns) {
    std::string line;
    for (const CheckedString& string : checklist) {
        const std::string entry = (line.empty() ? "" : "  ") + Entry(string, utf8);
        if (Columns(line + entry) > columns) {
            break;
        }
        line += entry;
    }
    return line;
}
