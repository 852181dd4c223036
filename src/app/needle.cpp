#include "app.h"

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

// The needle spans -50 to +50 cents in this many cells, 5 cents each, the middle one the
// target; narrow enough that the line with everything on it fits 80 columns.
constexpr int kNeedleCells = 21;
constexpr double kCentsPerCell = 100.0 / (kNeedleCells - 1);
// Within this many cents of the target the string is in tune: the mark shows.
constexpr double kInTuneCents = 1.0;
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
};
constexpr Glyphs kUtf8{"─", "┼", "●", "◉", "→", "✓", "█", "·"};
constexpr Glyphs kAscii{"-", "|", "o", "O", "->", "OK", "#", "."};

std::string Format(const char* format, auto... values) {
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// Which of the needle's cells `cents` falls on: the middle one for the target, the first or
// the last for anything beyond 50 cents.
int NeedleCell(double cents) {
    const double cell = std::round(cents / kCentsPerCell) + (kNeedleCells - 1) / 2;
    return static_cast<int>(std::clamp(cell, 0.0, static_cast<double>(kNeedleCells - 1)));
}

std::string Needle(double cents, const Glyphs& g) {
    const int needle = NeedleCell(cents);
    std::string cells = "[";
    for (int i = 0; i < kNeedleCells; ++i) {
        const bool centre = i == (kNeedleCells - 1) / 2;
        cells += i == needle ? (centre ? g.on_target : g.needle) : (centre ? g.centre : g.rule);
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

std::string NeedleLine(const NeedleView& view, bool utf8) {
    const Glyphs& g = utf8 ? kUtf8 : kAscii;
    if (!view.sounding) {
        const std::string level = std::isfinite(view.level_dbfs) && view.level_dbfs > -1000
                                      ? Format("%6.1f dBFS", view.level_dbfs)
                                      : std::string("  -inf dBFS");
        return Format("%-4s", "-") + Format("%16s", "") + " input " + level + " " +
               LevelMeter(view.level_dbfs, g);
    }
    const bool in_tune = std::fabs(view.cents) <= kInTuneCents;
    std::string line = Format("%-4s", view.note.c_str()) + Format("%9.2f Hz", view.hz) +
                       Format(" %+6.1fc ", view.cents) + Needle(view.cents, g) + " " + g.arrow +
                       Format("%.2f Hz", view.target_hz);
    if (!view.string.empty()) {
        line += " " + view.string;
    }
    if (in_tune) {
        line += std::string(" ") + g.in_tune;
    }
    return line;
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

NeedleView NeedleViewOf(const ToneSettings& settings, double hz) {
    const HeardName heard = NameHeard(settings, hz);
    NeedleView view;
    view.sounding = true;
    view.hz = hz;
    view.note = heard.note;
    view.cents = heard.cents;
    view.string = heard.string;
    view.target_hz = hz / std::exp2(view.cents / 1200);
    return view;
}
