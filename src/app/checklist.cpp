#include "app.h"

#include <algorithm>
#include <cmath>
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

Checklist NewChecklist(const ToneSettings& settings) {
    Checklist checklist;
    if (settings.string_count > 0) {
        checklist.strings = NumberedStrings(settings);
        return checklist;
    }
    if (settings.instrument == nullptr) {
        return checklist;
    }
    // The presets run from the 1st string: the checklist from the last.
    for (const StringPreset& preset : StringPresets()) {
        if (std::strcmp(preset.instrument, settings.instrument) == 0) {
            checklist.strings.insert(checklist.strings.begin(), {preset.token, preset.token});
        }
    }
    return checklist;
}

void CheckString(Checklist& checklist, const std::string& name, double cents, bool in_tune,
                 double tolerance) {
    if (name != checklist.running) {
        BreakRun(checklist);
        checklist.running = name;
    }
    checklist.run.push_back(cents);
    if (checklist.run.size() > kRunReadings) {
        checklist.run.erase(checklist.run.begin());
    }
    checklist.held = checklist.held || in_tune;
    if (checklist.run.size() < kFewestReadings) {
        return;
    }
    std::vector<double> sorted = checklist.run;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (CheckedString& string : checklist.strings) {
        if (string.name == name) {
            string.heard = true;
            string.cents = median;
            string.in_tune = checklist.held && std::fabs(median) <= tolerance;
        }
    }
}

void BreakRun(Checklist& checklist) {
    checklist.running.clear();
    checklist.run.clear();
    checklist.held = false;
}

std::string ChecklistLine(const Checklist& checklist, bool utf8, size_t columns) {
    std::string line;
    for (const CheckedString& string : checklist.strings) {
        const std::string entry = (line.empty() ? "" : "  ") + Entry(string, utf8);
        if (Columns(line + entry) > columns) {
            break;
        }
        line += entry;
    }
    return line;
}
