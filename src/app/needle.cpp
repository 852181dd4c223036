#include "needle.h"

#include "naming.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

bool NamesUtf8(const char* name) {
    std::string lower;
    for (const char* c = name; *c != '\0'; ++c) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

// The needle spans -50 to +50 cents in this many cells, the middle one the target; narrow
// enough that the line with everything on it fits 80 columns.
constexpr int kNeedleCells = 21;
constexpr int kHalfNeedle = (kNeedleCells - 1) / 2;
constexpr double kNeedleCents = 50;
// The level meter spans -60 dBFS (empty) to full scale.
constexpr double kQuietestDbfs = -60;

struct Glyphs {
    const char* rule;   // an empty cell
    const char* centre; // the target's cell
    const char* needle;
    const char* on_target; // the needle on the target's cell
    const char* arrow;     // before the target's frequency
    const char* in_tune;
    const char* level; // a lit cell of the level meter
    const char* unlit;
    const char* band; // an empty cell within the in-tune band
};
constexpr Glyphs kUtf8{"─", "┼", "●", "◉", "→", "✓", "█", "·", "═"};
constexpr Glyphs kAscii{"-", "|", "o", "O", "->", "OK", "#", ".", "="};

std::string Format(const char* format, auto... values) {
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// The in-tune band ends at the outer edge of the cells next to the middle one, so that it
// spans three cells, or, for a tolerance that the even scale gives more, at the edge of the
// cell the tolerance falls on.
constexpr double kBandEdgeCells = 1.5;

// Cells from the middle for `cents`: kHalfNeedle * log(1 + c / knee) / log(1 + 50 / knee),
// fine near the target, where a player tunes, and 50 cents at the last cell. The knee puts
// the tolerance at the band's edge; an infinite knee is the even scale.
double CellsFromMiddle(double cents, double knee) {
    const double cells = std::isinf(knee) ? kHalfNeedle * std::fabs(cents) / kNeedleCents
                                          : kHalfNeedle * std::log1p(std::fabs(cents) / knee) /
                                                std::log1p(kNeedleCents / knee);
    return std::copysign(cells, cents);
}

// The knee for a tolerance, found by halving: the scale's cells from the middle for the
// tolerance fall as the knee grows, down to the even scale's.
double Knee(double tolerance) {
    const double even = CellsFromMiddle(tolerance, HUGE_VAL);
    const double edge = std::max(kBandEdgeCells, std::ceil(even - 0.5 - 1e-9) + 0.5);
    if (even >= edge - 1e-9) {
        return HUGE_VAL;
    }
    double low = 1e-6, high = 1e6;
    for (int i = 0; i < 80; ++i) {
        const double middle = std::sqrt(low * high);
        (CellsFromMiddle(tolerance, middle) > edge ? low : high) = middle;
    }
    return std::sqrt(low * high);
}

// Which of the needle's cells `cents` falls on: the middle one for the target, the first or
// the last for anything beyond 50 cents. Halves round toward the middle, so that the
// tolerance itself is in the band.
int NeedleCell(double cents, double knee) {
    const double from_middle = CellsFromMiddle(cents, knee);
    const double cell =
        std::copysign(std::ceil(std::fabs(from_middle) - 0.5 - 1e-9), from_middle) + kHalfNeedle;
    return static_cast<int>(std::clamp(cell, 0.0, static_cast<double>(kNeedleCells - 1)));
}

// Whether every pitch that falls on the cell `from_middle` away is within the band.
bool InBand(int from_middle, double tolerance, double knee) {
    return std::abs(from_middle) + 0.5 <= CellsFromMiddle(tolerance, knee) + 1e-6;
}

std::string Needle(double cents, double tolerance, const Glyphs& g) {
    const double knee = Knee(tolerance);
    const int needle = NeedleCell(cents, knee);
    std::string cells = "[";
    for (int i = 0; i < kNeedleCells; ++i) {
        const bool centre = i == kHalfNeedle;
        const char* rule = InBand(i - kHalfNeedle, tolerance, knee) ? g.band : g.rule;
        cells += i == needle ? (centre ? g.on_target : g.needle) : (centre ? g.centre : rule);
    }
    return cells + "]";
}

std::string LevelMeter(double dbfs, const Glyphs& g) {
    const double lit = std::isfinite(dbfs) ? (dbfs - kQuietestDbfs) / -kQuietestDbfs : 0;
    const int cells = static_cast<int>(std::clamp(lit, 0.0, 1.0) * kNeedleCells);
    std::string meter = "[";
    for (int i = 0; i < kNeedleCells; ++i) {
        meter += i < cells ? g.level : g.unlit;
    }
    return meter + "]";
}

} // namespace

std::string NeedleLine(const NeedleView& view, bool utf8, size_t columns) {
    const Glyphs& g = utf8 ? kUtf8 : kAscii;
    if (!view.sounding) {
        const std::string level = std::isfinite(view.level_dbfs) && view.level_dbfs > -1000
                                      ? Format("%6.1f dBFS", view.level_dbfs)
                                      : std::string("  -inf dBFS");
        return Format("%-4s", "-") + Format("%16s", "") + " input " + level + " " +
               LevelMeter(view.level_dbfs, g);
    }
    // The parts a narrow terminal can do without, in the order they give way.
    enum Part { kTarget, kHz, kString, kNeedle, kMark, kParts };
    bool kept[kParts] = {true, true, !view.string.empty(), true, view.in_tune};
    std::string line;
    for (int dropped = 0;; kept[dropped++] = false) {
        line =
            Format("%-4s", view.note.c_str()) + (kept[kHz] ? Format("%9.2f Hz", view.hz) : "") +
            Format(" %+6.1fc", view.cents) +
            (kept[kNeedle] ? std::string(" ") + Needle(view.cents, view.tolerance, g) : "") +
            (kept[kTarget] ? std::string(" ") + g.arrow + Format("%.2f Hz", view.target_hz) : "") +
            (kept[kString] ? " " + view.string : "") +
            (kept[kMark] ? std::string(" ") + g.in_tune : "");
        if (Columns(line) <= columns || dropped == kParts) {
            return line;
        }
    }
}

size_t Columns(const std::string& text) {
    // Every character the line uses takes one column; a UTF-8 character is one lead byte and
    // its continuation bytes.
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool Utf8Locale(const char* lc_all, const char* lc_ctype, const char* lang) {
    for (const char* name : {lc_all, lc_ctype, lang}) {
        if (name != nullptr && *name != '\0') {
            return NamesUtf8(name);
        }
    }
    return false;
}

NeedleView NeedleViewOf(const Reading& reading, double tolerance) {
    NeedleView view;
    view.sounding = true;
    view.hz = reading.hz;
    view.note = reading.name.note;
    view.cents = reading.name.cents;
    view.string = reading.name.string;
    view.tolerance = tolerance;
    view.target_hz = reading.hz / std::exp2(view.cents / 1200);
    return view;
}
