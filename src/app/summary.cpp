#include "summary.h"

#include "common/units.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// A note's name and string, as one key.
std::string Key(const HeardName& name) {
    return name.note + "\t" + name.string;
}

// The value below which `fraction` of the sorted `values` fall, between neighbours.
double Percentile(const std::vector<double>& values, double fraction) {
    const double at = fraction * static_cast<double>(values.size() - 1);
    const auto below = static_cast<size_t>(std::floor(at));
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (at - static_cast<double>(below)) * (values[above] - values[below]);
}

// The centre of a vibrato: the mean of the cents from `median` over whole cycles, from the
// first rise of the pitch through the band of kCycleCents about the median to the last; the
// median itself where the pitch does not swing through the band kCycles times. A bow's or a
// breath's vibrato swings unevenly (longer above the note than below, or the reverse), and the
// median of its readings lies off the centre the ear hears; a steady note's few cents of noise
// stay within the band.
constexpr double kCycleCents = 2;
constexpr size_t kCycles = 2;

double VibratoCentre(const std::vector<double>& in_order, double median) {
    std::vector<size_t> rises; // where the pitch rose through the band
    bool below = false;
    for (size_t i = 0; i < in_order.size(); ++i) {
        const double cents = Cents(in_order[i], median);
        if (cents < -kCycleCents) {
            below = true;
        } else if (cents > kCycleCents && below) {
            below = false;
            rises.push_back(i);
        }
    }
    if (rises.size() < kCycles + 1) {
        return median;
    }
    double sum = 0;
    for (size_t i = rises.front(); i < rises.back(); ++i) {
        sum += Cents(in_order[i], median);
    }
    return median * std::exp2(sum / static_cast<double>(rises.back() - rises.front()) / 1200);
}

// A string's attack and its last moments bend its pitch: the steady part is the middle 80%
// of the readings.
HeldNote Summarize(const Naming& naming, const std::vector<Reading>& held) {
    const size_t cut = held.size() / 10;
    std::vector<double> hz;
    std::vector<double> b; // a piano's key is read on the partial its curve gives, laid by B
    for (size_t i = cut; i < held.size() - cut; ++i) {
        hz.push_back(held[i].hz);
        b.push_back(held[i].b);
    }
    const std::vector<double> in_order = hz;
    std::sort(hz.begin(), hz.end());
    std::sort(b.begin(), b.end());
    HeldNote note;
    note.start = held.front().time;
    note.end = held.back().time;
    note.hz = VibratoCentre(in_order, Percentile(hz, 0.5));
    const HeardName heard = NameHeard(naming, note.hz, b[b.size() / 2]);
    note.note = heard.note;
    note.cents = heard.cents;
    note.string = heard.string;
    note.spread = Cents(Percentile(hz, 0.95), Percentile(hz, 0.05));
    return note;
}

void EndNote(NoteGatherer& notes, const Naming& naming, std::vector<HeldNote>& ended) {
    if (notes.held.size() >= kShortestNote) {
        ended.push_back(Summarize(naming, notes.held));
        ++notes.lines;
    }
    notes.held.clear();
    notes.held_log2 = 0;
    notes.another.clear();
    notes.name.clear();
}

// The same note struck again: the listener saw a new attack, kShortestNote readings or more
// after the last one. A swell's rises, a hop apart, are one note.
bool StruckAgain(NoteGatherer& notes, const Reading& reading) {
    if (reading.onset <= notes.attack) {
        ++notes.since_attack;
        return false;
    }
    const bool again = notes.since_attack >= kShortestNote;
    notes.attack = reading.onset;
    notes.since_attack = 1;
    return again;
}

// A vibrato swings a held note's readings across the line between two names: a note 41 cents
// under C#5 with a vibrato of +-26 cents names C5 on each low swing. A reading of another name
// this near the mean of the held note's readings is still that note; a step to the next
// semitone lands about 100 cents away. Wider would join a slide of a semitone to its note.
constexpr double kSwingCents = 60;

void Hold(NoteGatherer& notes, const Reading& reading) {
    notes.held.push_back(reading);
    notes.held_log2 += std::log2(reading.hz);
}

bool WithinTheSwing(const NoteGatherer& notes, const Reading& reading) {
    if (notes.held.empty()) {
        return false;
    }
    const double mean = notes.held_log2 / static_cast<double>(notes.held.size());
    return std::abs(1200 * (std::log2(reading.hz) - mean)) < kSwingCents;
}

} // namespace

void GatherReading(NoteGatherer& notes, const Naming& naming, const Reading& reading,
                   std::vector<HeldNote>& ended) {
    if (reading.between_hops) {
        return;
    }
    ++notes.readings;
    // A reading on the attack the note's last reading was on: the listener heard no silence
    // and no new attack since, only readings missing (noise hid the note, or a damper's bend).
    GatherSilence(notes, naming, reading.time, reading.onset == notes.attack, ended);
    const std::string name = Key(reading.name);
    // A string's sharp attack may name it apart from where it settles: the same note is the
    // same name or a reading within the swing.
    const bool same = name == notes.name || WithinTheSwing(notes, reading);
    if (StruckAgain(notes, reading) && same) {
        EndNote(notes, naming, ended);
    }
    if (notes.held.empty() || same) {
        notes.name = name;
        Hold(notes, reading);
        notes.another.clear();
        return;
    }
    if (name != notes.another_name) {
        notes.another.clear();
        notes.another_name = name;
    }
    notes.another.push_back(reading);
    if (notes.another.size() >= kChangeReadings) {
        const std::vector<Reading> next = notes.another;
        EndNote(notes, naming, ended);
        notes.name = name;
        for (const Reading& each : next) {
            Hold(notes, each);
        }
    }
}

void GatherSilence(NoteGatherer& notes, const Naming& naming, double time, bool sounding,
                   std::vector<HeldNote>& ended) {
    const double last = notes.another.empty() ? (notes.held.empty() ? time : notes.held.back().time)
                                              : notes.another.back().time;
    if (time - last > (sounding ? kLostSeconds : kSilenceSeconds)) {
        EndNote(notes, naming, ended);
    }
}

void FinishGathering(NoteGatherer& notes, const Naming& naming, std::vector<HeldNote>& ended) {
    EndNote(notes, naming, ended);
}

std::string WhyNoNote(const NoteGatherer& notes) {
    if (notes.lines > 0 || notes.readings == 0) {
        return "";
    }
    return std::to_string(notes.readings) + (notes.readings == 1 ? " reading" : " readings") +
           ", but none held one note for " + std::to_string(kShortestNote) +
           " readings (notes too short, or two at once)";
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
