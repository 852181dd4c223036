#include "synth.h"

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

// The first word of a line, as the reason of a refusal shows it.
std::string FirstWord(std::string_view text) {
    text = TrimStart(text);
    size_t end = 0;
    while (end < text.size() && end < 40 && !IsBlank(text[end])) {
        ++end;
    }
    return std::string(text.substr(0, end));
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

// Cents: an optional sign, digits with a '.' among them (at least one digit in all).
bool TakeCents(std::string_view text, double& ratio) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return false;
    }
    double cents = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), cents, std::chars_format::fixed);
    if (error != std::errc() || end - text.data() > static_cast<long>(kMostDigits)) {
        return false;
    }
    ratio = std::pow(2.0, (negative ? -cents : cents) / 1200);
    return true;
}

// A ratio a/b, or a whole number a for a/1.
bool TakeRatio(std::string_view text, double& ratio) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) {
        text.remove_prefix(1);
    }
    double numerator = 0;
    double denominator = 1;
    if (!TakeWhole(text, numerator)) {
        return false;
    }
    if (!text.empty() && text.front() == '/') {
        text.remove_prefix(1);
        if (!TakeWhole(text, denominator) || denominator == 0) {
            return false;
        }
    }
    ratio = (negative ? -numerator : numerator) / denominator;
    return true;
}

// The pitch a line starts with; text after it is a comment.
bool TakePitch(std::string_view line, double& ratio) {
    line = TrimStart(line);
    size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    const std::string_view word = line.substr(0, end);
    return word.find('.') != std::string_view::npos ? TakeCents(word, ratio)
                                                    : TakeRatio(word, ratio);
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
            return Refuse(lines.number, "not a pitch (a ratio such as 3/2, a whole number, or "
                                        "cents with a '.' such as 701.96): '" +
                                            FirstWord(line) + "'");
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
    Lines lines{text};
    std::string_view line;
    if (!NextLine(lines, line)) {
        return Refuse(lines.number, "no description line: not a scale file");
    }
    if (!NextLine(lines, line)) {
        return Refuse(lines.number, "the number of notes is missing");
    }
    double notes = 0;
    std::string_view count = TrimStart(line);
    if (!TakeWhole(count, notes)) {
        return Refuse(lines.number, "not a number of notes: '" + FirstWord(line) + "'");
    }
    if (notes != kNotes) {
        return Refuse(lines.number, "a scale of " + FirstWord(line) +
                                        " notes: only a scale of 12 has a note for each name");
    }
    return ReadPitches(lines);
}
