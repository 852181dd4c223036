#include "app.h"

#include "common/units.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

std::string NameOf(const ToneSettings& settings, double hz) {
    const HeardName heard = NameHeard(settings, hz);
    return heard.note + "\t" + heard.string;
}

// The value below which `fraction` of the sorted `values` fall, between neighbours.
double Percentile(const std::vector<double>& values, double fraction) {
    const double at = fraction * static_cast<double>(values.size() - 1);
    const auto below = static_cast<size_t>(std::floor(at));
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (at - static_cast<double>(below)) * (values[above] - values[below]);
}

// A string's attack and its last moments bend its pitch: the steady part is the middle 80%
// of the readings.
HeldNote Summarize(const ToneSettings& settings, const std::vector<TimedPitch>& held) {
    const size_t cut = held.size() / 10;
    std::vector<double> hz;
    for (size_t i = cut; i < held.size() - cut; ++i) {
        hz.push_back(held[i].hz);
    }
    std::sort(hz.begin(), hz.end());
    HeldNote note;
    note.start = held.front().time;
    note.end = held.back().time;
    note.hz = Percentile(hz, 0.5);
    const HeardName heard = NameHeard(settings, note.hz);
    note.note = heard.note;
    note.cents = heard.cents;
    note.string = heard.string;
    note.spread = Cents(Percentile(hz, 0.95), Percentile(hz, 0.05));
    return note;
}

void EndNote(NoteGatherer& notes, const ToneSettings& settings, std::vector<HeldNote>& ended) {
    if (notes.held.size() >= kShortestNote) {
        ended.push_back(Summarize(settings, notes.held));
    }
    notes.held.clear();
    notes.another.clear();
    notes.name.clear();
}

void PrintNotes(const std::vector<HeldNote>& ended, FILE* out) {
    for (const HeldNote& note : ended) {
        std::fputs(HeldNoteLine(note).c_str(), out);
    }
}

} // namespace

void GatherReading(NoteGatherer& notes, const ToneSettings& settings, TimedPitch reading,
                   std::vector<HeldNote>& ended) {
    if (reading.between_hops) {
        return;
    }
    GatherSilence(notes, settings, reading.time, ended);
    const std::string name = NameOf(settings, reading.hz);
    if (notes.held.empty() || name == notes.name) {
        notes.name = name;
        notes.held.push_back(reading);
        notes.another.clear();
        return;
    }
    if (name != notes.another_name) {
        notes.another.clear();
        notes.another_name = name;
    }
    notes.another.push_back(reading);
    if (notes.another.size() >= kChangeReadings) {
        const std::vector<TimedPitch> next = notes.another;
        EndNote(notes, settings, ended);
        notes.name = name;
        notes.held = next;
    }
}

void GatherSilence(NoteGatherer& notes, const ToneSettings& settings, double time,
                   std::vector<HeldNote>& ended) {
    const double last = notes.another.empty() ? (notes.held.empty() ? time : notes.held.back().time)
                                              : notes.another.back().time;
    if (time - last > kSilenceSeconds) {
        EndNote(notes, settings, ended);
    }
}

void FinishGathering(NoteGatherer& notes, const ToneSettings& settings,
                     std::vector<HeldNote>& ended) {
    EndNote(notes, settings, ended);
}

std::string HeldNoteLine(const HeldNote& note) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%.3f\t%.3f\t%.3f\t", note.start, note.end, note.hz);
    char spread[32];
    std::snprintf(spread, sizeof spread, "\t%.2f", note.spread);
    std::string line = numbers + note.note + "\t" + CentsShown(note.cents) + spread;
    if (!note.string.empty()) {
        line += "\t" + note.string;
    }
    return line + "\n";
}

void PrintReading(NoteGatherer& notes, const ToneSettings& settings, TimedPitch reading,
                  FILE* out) {
    if (!settings.summary) {
        std::fputs(ReadingLine(settings, reading.time, reading.hz).c_str(), out);
        return;
    }
    std::vector<HeldNote> ended;
    GatherReading(notes, settings, reading, ended);
    PrintNotes(ended, out);
}

void FinishReadings(NoteGatherer& notes, const ToneSettings& settings, FILE* out) {
    std::vector<HeldNote> ended;
    if (settings.summary) {
        FinishGathering(notes, settings, ended);
    }
    PrintNotes(ended, out);
}
