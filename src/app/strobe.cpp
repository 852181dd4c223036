#include "app.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Readings further apart than this are across a gap: the band does not turn through it.
constexpr double kLongestStep = 0.25;

// Where the pattern is dark: the first half of each period, shifted by the phase.
bool Dark(double cell_position, double phase) {
    const double u = cell_position / kStrobePeriodCells - phase;
    return u - std::floor(u) < 0.5;
}

std::string Cell(bool left_dark, bool right_dark, bool utf8) {
    if (!utf8) { // a whole cell: dark when its middle is, seen as both halves agree or not
        return left_dark ? "#" : ".";
    }
    if (left_dark == right_dark) {
        return left_dark ? "█" : " ";
    }
    return left_dark ? "▌" : "▐";
}

std::string Arrows(double cents, bool utf8) {
    std::string band;
    for (int i = 0; i < kStrobeCells; ++i) {
        band += cents > 0 ? (utf8 ? "»" : ">") : (utf8 ? "«" : "<");
    }
    return band;
}

} // namespace

bool HoldInTune(InTuneHold& hold, const std::string& name, double time, double cents,
                double tolerance) {
    if (name != hold.name || !(std::fabs(cents) <= tolerance)) {
        hold.name = name;
        hold.since = -1;
    }
    if (std::fabs(cents) <= tolerance && hold.since < 0) {
        hold.since = time;
    }
    return hold.since >= 0 && time - hold.since >= kInTuneHoldSeconds - 1e-9;
}

void TurnStrobe(Strobe& strobe, double time, double cents) {
    if (strobe.last_time >= 0 && time > strobe.last_time &&
        time - strobe.last_time <= kLongestStep) {
        // A cent sharp is a period a second; the readings' own cents, not their rounding.
        strobe.phase += cents * (time - strobe.last_time);
        strobe.phase -= std::floor(strobe.phase);
    }
    strobe.cents = cents;
    strobe.last_time = time;
}

void StopStrobe(Strobe& strobe) {
    strobe.last_time = -1;
}

std::string StrobeBand(const Strobe& strobe, double frame_seconds, bool utf8) {
    const double cells_a_frame = kStrobePeriodCells * std::fabs(strobe.cents) * frame_seconds;
    if (!(cells_a_frame <= kStrobePeriodCells / 4.0)) {
        std::string arrows = "[";
        arrows += Arrows(strobe.cents, utf8);
        return arrows + "]";
    }
    std::string band = "[";
    for (int i = 0; i < kStrobeCells; ++i) {
        const bool middle = Dark(i + 0.5, strobe.phase);
        band += utf8 ? Cell(Dark(i + 0.25, strobe.phase), Dark(i + 0.75, strobe.phase), true)
                     : Cell(middle, middle, false);
    }
    return band + "]";
}

std::string StrobeLine(const NeedleView& view, const Strobe& strobe, double frame_seconds,
                       bool utf8) {
    char text[64];
    std::snprintf(text, sizeof text, "%-4s %+6.1fc ", view.note.c_str(), view.cents);
    std::string line = text + StrobeBand(strobe, frame_seconds, utf8);
    std::snprintf(text, sizeof text, " %s%.2f Hz", utf8 ? "→" : "->", view.target_hz);
    line += text;
    if (!view.string.empty()) {
        line += " " + view.string;
    }
    if (view.in_tune) {
        line += utf8 ? " ✓" : " OK";
    }
    return line;
}
