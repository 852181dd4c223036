#include "support.h"

#include "synth/synth.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Summary(const std::string& device, const std::string& hz, const std::string& seconds,
                    const std::string& level) {
    return "Ondelis Direct Mode\n\tSoundcard:\t" + device + "\n\tFrequency:\t" + hz +
           " Hz\n\tDuration:\t" + seconds + " sec\n\tLevel:\t" + level + " percent\n";
}

std::string ShellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

RunResult RunOndelis(const std::vector<std::string>& args, const std::string& input,
                     int timeout_seconds, const std::string& environment) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("ondelis-run-" + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    const auto in = dir / "in";
    std::ofstream(in, std::ios::binary) << input;

    std::string command = environment + " timeout -s KILL " + std::to_string(timeout_seconds) +
                          " " + ShellQuote(ONDELIS_BINARY);
    for (const std::string& arg : args) {
        command += " " + ShellQuote(arg);
    }
    command +=
        " < " + ShellQuote(in) + " > " + ShellQuote(dir / "out") + " 2> " + ShellQuote(dir / "err");

    RunResult result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = ReadBytes(dir / "out");
    result.err = ReadBytes(dir / "err");
    std::filesystem::remove_all(dir);
    return result;
}

ScratchDir::ScratchDir() : previous_(std::filesystem::current_path()) {
    char pattern[] = "/tmp/ondelis-test-XXXXXX";
    path_ = mkdtemp(pattern);
    std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
}

std::vector<unsigned char> PackedTone(float hz, uint32_t rate, int32_t frames, float level) {
    std::vector<int32_t> samples(static_cast<size_t>(frames));
    std::vector<unsigned char> packed(static_cast<size_t>(frames) * 3);
    MakeTone(samples.data(), hz, rate, frames, level);
    NUM24_TO_CHAR(samples.data(), packed.data(), frames);
    return packed;
}

long FirstStereoMismatch(const std::string& stereo, const std::vector<unsigned char>& mono) {
    const size_t frames = mono.size() / 3;
    for (size_t i = 0; i < frames; ++i) {
        if (6 * i + 6 > stereo.size()) {
            return static_cast<long>(i);
        }
        for (size_t channel = 0; channel < 2; ++channel) {
            for (size_t b = 0; b < 3; ++b) {
                if (static_cast<unsigned char>(stereo[6 * i + 3 * channel + b]) !=
                    mono[3 * i + b]) {
                    return static_cast<long>(i);
                }
            }
        }
    }
    return stereo.size() == 6 * frames ? -1 : static_cast<long>(frames);
}
