#include "tuner_view.h"

#include "terminal.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

// The tuner's line, and under it the checklist, each drawn over its last drawing within the
// terminal's width, short of its last column, so that none ever wraps. A terminal that cannot
// move the cursor up (a dumb one) gets the tuner's line alone.
void Draw(TunerView& tuner, const NeedleView& shown_view) {
    const size_t columns = TerminalColumns(STDOUT_FILENO, std::getenv("COLUMNS")) - 1;
    const std::string line =
        tuner.settings->strobe && shown_view.sounding
            ? FitToColumns(StrobeLine(shown_view, tuner.strobe, tuner.frame_seconds, tuner.utf8),
                           columns)
            : FitToColumns(NeedleLine(shown_view, tuner.utf8, columns), columns);
    if (tuner.checklist.strings.empty() || !tuner.erases) {
        std::fputs(Redraw(line, tuner.erases, tuner.shown).c_str(), stdout);
        return;
    }
    std::string bytes;
    if (tuner.drawn && tuner.lines_below > 0) {
        bytes = "\x1b[" + std::to_string(tuner.lines_below) + "A";
    }
    bytes += Redraw(line, tuner.erases, tuner.shown);
    const std::vector<std::string> below =
        ChecklistLines(ShownChecklist(tuner), tuner.utf8, columns);
    tuner.shown_below.resize(std::max(tuner.shown_below.size(), below.size()));
    for (size_t i = 0; i < below.size(); ++i) {
        bytes += '\n';
        bytes += Redraw(below[i], tuner.erases, tuner.shown_below[i]);
    }
    tuner.lines_below = below.size();
    std::fputs(bytes.c_str(), stdout);
}

// The keys of a piano's curve, each named by its note as the STRING column numbers it.
Checklist KeyChecklist(const std::vector<CurveKey>& keys) {
    Checklist checklist;
    for (const CurveKey& key : keys) {
        checklist.strings.push_back({std::to_string(key.key), KeyName(key.key), key.f1});
    }
    return checklist;
}

} // namespace

TunerView NewTunerView(const ToneSettings& settings, const Naming& naming, double frame_seconds) {
    TunerView tuner;
    tuner.settings = &settings;
    tuner.piano = !naming.keys.empty();
    tuner.checklist = tuner.piano ? KeyChecklist(naming.keys) : NewChecklist(naming.strings);
    tuner.frame_seconds = frame_seconds;
    tuner.erases = ErasesLine(std::getenv("TERM"));
    tuner.utf8 = Utf8Locale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    return tuner;
}

void TuneTo(TunerView& tuner, const Reading& reading) {
    const double tolerance = tuner.settings->tolerance;
    tuner.view = NeedleViewOf(reading, tolerance);
    tuner.view.in_tune = HoldInTune(tuner.hold, reading.name.note + reading.name.string,
                                    reading.time, reading.name.cents, tolerance);
    TurnStrobe(tuner.strobe, reading.time, reading.name.cents);
    CheckString(tuner.checklist, reading.name.string, reading.name.cents, tuner.view.in_tune,
                tolerance);
    // A key's octave is shown once its run counts: a stray reading of another key as one
    // stops or the next starts does not throw the checklist to another octave and back.
    if (tuner.piano && tuner.checklist.run.size() >= kFewestReadings) {
        tuner.key = std::atoi(tuner.checklist.running.c_str());
    }
}

void DrawTuner(TunerView& tuner, double dbfs, bool heard) {
    if (!heard) { // silence: in tune and the strobe's count begin again
        tuner.hold = {};
        StopStrobe(tuner.strobe);
        BreakRun(tuner.checklist);
    }
    NeedleView shown_view = heard ? tuner.view : NeedleView{};
    shown_view.level_dbfs = dbfs;
    Draw(tuner, shown_view);
    std::fflush(stdout);
    tuner.drawn = true;
}

void EndTunerLine(TunerView& tuner) {
    if (tuner.drawn) {
        std::fputs("\n", stdout);
        std::fflush(stdout);
        tuner.drawn = false;
    }
}

std::vector<std::string> ChecklistLines(const Checklist& checklist, bool utf8, size_t columns) {
    std::vector<std::string> lines;
    std::string line;
    for (const CheckedString& string : checklist.strings) {
        const std::string entry = ChecklistEntry(string, utf8);
        if (!line.empty() && Columns(line + "  " + entry) > columns) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : "  ") + entry;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

Checklist ShownChecklist(const TunerView& tuner) {
    constexpr int kC1 = 4;
    constexpr int kOctave = 12;
    const auto size = static_cast<int>(tuner.checklist.strings.size());
    if (!tuner.piano || size < kOctave) {
        return tuner.checklist;
    }
    const int c = tuner.key - ((tuner.key - kC1) % kOctave + kOctave) % kOctave;
    const int first = std::clamp(c, 1, size - kOctave + 1);
    Checklist shown;
    const auto begin = tuner.checklist.strings.begin() + (first - 1);
    shown.strings.assign(begin, begin + kOctave);
    return shown;
}
