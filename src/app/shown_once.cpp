#include "app.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// Where notes already shown are remembered: $XDG_STATE_HOME/ondelis, or
// ~/.local/state/ondelis when it is unset, empty or relative (as the XDG base directories
// have it). Empty when there is no home either.
std::filesystem::path StateDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::filesystem::path(state) / "ondelis";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        return {};
    }
    return std::filesystem::path(home) / ".local" / "state" / "ondelis";
}

// Leaves the marker in place; false when it cannot.
bool WriteMarker(const std::filesystem::path& directory, const char* marker) {
    if (directory.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    std::ofstream file(directory / marker);
    file << "shown\n";
    file.close();
    return !error && file.good();
}

} // namespace

bool NoteDue(const char* marker, FILE* err) {
    // A note is for somebody reading the screen: a script or a log reads the same words on
    // every run and gains nothing from them.
    if (isatty(fileno(err)) == 0) {
        return false;
    }
    // Where no marker can be written, once a run is as seldom as it can come.
    static std::vector<std::string> shown_this_run;
    for (const std::string& shown : shown_this_run) {
        if (shown == marker) {
            return false;
        }
    }
    shown_this_run.emplace_back(marker);
    const std::filesystem::path directory = StateDirectory();
    std::error_code error;
    if (!directory.empty() && std::filesystem::exists(directory / marker, error)) {
        return false;
    }
    WriteMarker(directory, marker);
    return true;
}
