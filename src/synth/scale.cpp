#include "synth.h"

#include "common/printable.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>

namespace {

// Only a scale of twelve notes has a degree for each note name.
constexpr int kNotes = 12;
// Pitches further than this from 1/1 make no scale of a tuner; they would only make tones
// of no frequency or of infinite frequency.
constexpr double kWidestPitch = 16;
// Enough digits for any ratio of a real scale; more would only overflow.
constexpr size_t kMostDigits = 30;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string_view TrimStart(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// The first word of a line, as the reason of a refusal shows it: control bytes (a NUL among
// them) are written as \xHH, so that the reason is shown whole, whatever the file holds.
std::string FirstWord(std::string_view text) {
    text = TrimStart(text);
    size_t length = 0;
    while (length < text.size() && length < 40 && !IsBlank(text[length])) {
        ++length;
    }
    return Printable(text.substr(0, length));
}

// The word a line starts with, as the file holds it.
std::string_view WordOf(std::string_view line) {
    line = TrimStart(line);
    size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    return line.substr(0, end);
}

// The whole number the text starts with; false when it starts with no digit or has too many.
bool TakeWhole(std::string_view& text, double& value) {
    size_t digits = 0;
    value = 0;
    while (digits < text.size() && IsDigit(text[digits])) {
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    text.remove_prefix(digits);
    return digits > 0 && digits <= kMostDigits;
}

// Cents: an optional sign, then digits with one '.' among them (at least one digit), and
// nothing else: "1O92.18", "3/2." or "1.5e3" are typos, not pitches.
bool TakeCents(std::string_view word, double& ratio) {
    const bool negative = !word.empty() && word.front() == '-';
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        word.remove_prefix(1);
    }
    const size_t digits = static_cast<size_t>(std::count_if(word.begin(), word.end(), IsDigit));
    if (digits == 0 || digits + 1 != word.size() ||
        std::count(word.begin(), word.end(), '.') != 1 || word.size() > kMostDigits) {
        return false;
    }
    double cents = 0;
    const auto [end, error] =
        std::from_chars(word.data(), word.data() + word.size(), cents, std::chars_format::fixed);
    if (error != std::errc() || end != word.data() + word.size()) {
        return false;
    }
    ratio = std::pow(2.0, (negative ? -cents : cents) / 1200);
    return true;
}

// A ratio a/b, or a whole number a for a/1, and nothing else: "4\3" or "0x2A" are no ratio.
bool TakeRatio(std::string_view word, double& ratio) {
    const bool negative = !word.empty() && word.front() == '-';
    if (negative) {
        word.remove_prefix(1);
    }
    double numerator = 0;
    double denominator = 1;
    if (!TakeWhole(word, numerator)) {
        return false;
    }
    if (!word.empty() && word.front() == '/') {
        word.remove_prefix(1);
        if (!TakeWhole(word, denominator) || denominator == 0) {
            return false;
        }
    }
    if (!word.empty()) {
        return false;
    }
    ratio = (negative ? -numerator : numerator) / denominator;
    return true;
}

// The pitch a line starts with, the whole of its first word; text after it is a comment.
bool TakePitch(std::string_view line, double& ratio) {
    const std::string_view word = WordOf(line);
    return word.find('.') != std::string_view::npos ? TakeCents(word, ratio)
                                                    : TakeRatio(word, ratio);
}

// What a line of a pitch holds, for the reason of a refusal.
std::string NotAPitch(std::string_view line) {
    const std::string hint =
        WordOf(line).find(',') != std::string_view::npos ? "; cents take a '.', not a ','" : "";
    return "not a pitch: '" + FirstWord(line) +
           "' (a ratio such as 3/2, a whole number, or cents with a '.' such as 701.96" + hint +
           ")";
}

// The lines of the text that are no comment, each with its number.
struct Lines {
    std::string_view rest;
    int number = 0;
};

bool NextLine(Lines& lines, std::string_view& line) {
    while (!lines.rest.empty()) {
        const size_t end = lines.rest.find('\n');
        line = lines.rest.substr(0, end);
        lines.rest.remove_prefix(end == std::string_view::npos ? lines.rest.size() : end + 1);
        ++lines.number;
        if (line.empty() || line.front() != '!') {
            return true;
        }
    }
    return false;
}

ScaleReading Refuse(int line, std::string why) {
    ScaleReading reading;
    reading.line = std::max(line, 1);
    reading.why = std::move(why);
    return reading;
}

// Reads the pitches after the count of notes into `reading`.
ScaleReading ReadPitches(Lines& lines) {
    ScaleReading reading;
    reading.ratios[0] = 1;
    for (int degree = 1; degree <= kNotes; ++degree) {
        std::string_view line;
        if (!NextLine(lines, line)) {
            return Refuse(lines.number, "the file ends after " + std::to_string(degree - 1) +
                                            " of its 12 pitches");
        }
        double ratio = 0;
        if (!TakePitch(line, ratio) || !std::isfinite(ratio)) {
            return Refuse(lines.number, NotAPitch(line));
        }
        if (!(ratio > 0)) {
            return Refuse(lines.number, "a pitch of 0 or below: '" + FirstWord(line) + "'");
        }
        if (ratio > kWidestPitch || ratio < 1 / kWidestPitch) {
            return Refuse(lines.number,
                          "a pitch more than 4 octaves from 1/1: '" + FirstWord(line) + "'");
        }
        (degree < kNotes ? reading.ratios[degree] : reading.period) = ratio;
    }
    if (!(reading.period > 1)) {
        return Refuse(lines.number, "the last pitch, the period, is not above 1/1");
    }
    reading.ok = true;
    return reading;
}

} // namespace

ScaleReading ParseScale(std::string_view text) {
    // Some editors start a UTF-8 file with a byte-order mark; it is no part of the text.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    Lines lines{text};
    std::string_view line;
    if (!NextLine(lines, line)) {
        return Refuse(lines.number, "no description line: not a scale file");
    }
    if (!NextLine(lines, line)) {
        return Refuse(lines.number, "the number of notes is missing");
    }
    double notes = 0;
    std::string_view count = WordOf(line);
    if (!TakeWhole(count, notes) || !count.empty()) {
        return Refuse(lines.number,
                      "not a number of notes: '" + FirstWord(line) +
                          "' (a scale file holds a description line, then the number of notes, "
                          "then the pitches: is the description line missing?)");
    }
    if (notes != kNotes) {
        return Refuse(lines.number, "a scale of " + FirstWord(line) +
                                        " notes: only a scale of 12 has a note for each name");
    }
    return ReadPitches(lines);
}
