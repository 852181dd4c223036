#include "view.h"

#include "listen/listener.h"

#include <vector>

namespace {

void PrintNotes(const std::vector<HeldNote>& ended, FILE* out) {
    for (const HeldNote& note : ended) {
        std::fputs(HeldNoteLine(note).c_str(), out);
    }
}

} // namespace

ViewKind ChooseView(const ToneSettings& settings, bool device, bool terminal) {
    if (settings.piano.measure) {
        return ViewKind::Measure;
    }
    if (settings.summary) {
        return ViewKind::Summary;
    }
    return device && terminal ? ViewKind::Tuner : ViewKind::Lines;
}

void SayIfNoTuner(const ToneSettings& settings, ViewKind kind) {
    if (kind != ViewKind::Tuner && settings.tuner_option != nullptr) {
        std::fprintf(stderr,
                     "%s shapes the tuner, which is drawn for a capture device at a terminal; "
                     "these readings are %s\n",
                     settings.tuner_option,
                     kind == ViewKind::Summary   ? "summed up note by note"
                     : kind == ViewKind::Measure ? "keys measured"
                                                 : "lines");
    }
}

View NewView(const ToneSettings& settings, ViewKind kind, FILE* out, double frame_seconds) {
    View view;
    view.kind = kind;
    view.naming = NewNaming(settings);
    view.out = out;
    if (kind == ViewKind::Tuner) {
        view.tuner = NewTunerView(settings, view.naming, frame_seconds);
    }
    if (kind == ViewKind::Measure) {
        view.measure = NewPianoMeasure(settings);
    }
    return view;
}

void ShowReading(View& view, const PitchReading& reading, double offset) {
    const Reading named = NameReading(view.naming, reading, offset);
    ++view.readings;
    switch (view.kind) {
    case ViewKind::Lines:
        std::fputs(ReadingLine(named).c_str(), view.out);
        return;
    case ViewKind::Summary: {
        std::vector<HeldNote> ended;
        GatherReading(view.notes, view.naming, named, ended);
        PrintNotes(ended, view.out);
        return;
    }
    case ViewKind::Tuner:
        TuneTo(view.tuner, named);
        return;
    case ViewKind::Measure:
        MeasureReading(view.measure, reading, view.out);
        return;
    }
}

void ShowPeriod(View& view, double time, double dbfs, bool heard, bool sounding) {
    if (view.kind == ViewKind::Summary) {
        std::vector<HeldNote> ended;
        GatherSilence(view.notes, view.naming, time, sounding, ended);
        PrintNotes(ended, view.out);
    } else if (view.kind == ViewKind::Tuner) {
        DrawTuner(view.tuner, dbfs, heard);
    }
}

std::string EndView(View& view) {
    if (view.kind == ViewKind::Summary) {
        std::vector<HeldNote> ended;
        FinishGathering(view.notes, view.naming, ended);
        PrintNotes(ended, view.out);
        return WhyNoNote(view.notes);
    }
    if (view.kind == ViewKind::Tuner) {
        EndTunerLine(view.tuner);
    }
    return "";
}

std::string ReadingLine(const Reading& reading) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%.3f\t%.3f\t", reading.time, reading.hz);
    std::string line = numbers + reading.name.note + "\t" + CentsShown(reading.name.cents);
    if (!reading.name.string.empty()) {
        line += "\t" + reading.name.string;
    }
    return line + "\n";
}
