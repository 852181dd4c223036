#include "option_files.h"

#include "input/input.h"

#include <sys/stat.h>

#include <cerrno>

namespace {

// Far more than a piano file of 88 keys with its comments.
constexpr size_t kLargestPianoFile = 1 << 20;

} // namespace

bool ReadOptionFile(const char* path, size_t limit, const char* what, std::string& text,
                    std::string& why) {
    if (ReadTextFile(path, limit, text, why)) {
        return true;
    }
    why = std::string(path) + ": cannot read the " + what + ": " + why;
    return false;
}

std::string AtLine(const char* path, int line, const std::string& why) {
    return std::string(path) + ":" + std::to_string(line) + ": " + why;
}

bool ReadPianoFile(const char* path, bool missing_is_empty, std::vector<MeasuredKey>& keys,
                   std::string& why) {
    keys.clear();
    struct stat status {};
    if (missing_is_empty && stat(path, &status) != 0 && errno == ENOENT) {
        return true;
    }
    std::string text;
    if (!ReadOptionFile(path, kLargestPianoFile, "piano file", text, why)) {
        return false;
    }
    const PianoFileReading reading = ParsePianoFile(text);
    if (!reading.ok) {
        why = AtLine(path, reading.line, reading.why);
    }
    keys = reading.keys;
    return reading.ok;
}
