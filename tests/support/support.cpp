#include "support.h"

#include "app/app.h"
#include "listen/listener.h"
#include "synth/synth.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <numbers>
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
                    const std::string& level, const std::string& output) {
    // A tone written to a file opens no device: its line names the file in place of one.
    const std::string where = output.empty() ? "Soundcard:\t" + device : "Output:\t" + output;
    return "Ondelis Direct Mode\n\t" + where + "\n\tFrequency:\t" + hz + " Hz\n\tDuration:\t" +
           seconds + " sec\n\tLevel:\t" + level + " percent\n";
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

namespace {

// A fresh directory for one run's files.
std::filesystem::path RunDirectory(const char* prefix) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        (prefix + std::to_string(getpid()) + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    return dir;
}

// Runs the shell command with its standard output and error into files of `dir`, collects
// them and the exit status, and removes `dir`.
RunResult RunCaptured(const std::string& command, const std::filesystem::path& dir) {
    const std::string captured =
        command + " > " + ShellQuote(dir / "out") + " 2> " + ShellQuote(dir / "err");
    RunResult result;
    const int raw = std::system(captured.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = ReadBytes(dir / "out");
    result.err = ReadBytes(dir / "err");
    std::filesystem::remove_all(dir);
    return result;
}

std::string OndelisCommand(const std::vector<std::string>& args) {
    std::string command = ShellQuote(ONDELIS_BINARY);
    for (const std::string& arg : args) {
        command += " " + ShellQuote(arg);
    }
    return command;
}

} // namespace

RunResult RunOndelis(const std::vector<std::string>& args, const std::string& input,
                     int timeout_seconds, const std::string& environment) {
    const std::filesystem::path dir = RunDirectory("ondelis-run-");
    const auto in = dir / "in";
    std::ofstream(in, std::ios::binary) << input;
    // env(1) gives the settings to the program alone: a preloaded library is built for the
    // program's architecture, which under emulation (an ARM build under qemu) is not timeout's.
    return RunCaptured("timeout -s KILL " + std::to_string(timeout_seconds) + " env " +
                           environment + " " + OndelisCommand(args) + " < " + ShellQuote(in),
                       dir);
}

RunResult RunOndelisPipe(const std::vector<std::string>& first,
                         const std::vector<std::string>& second, int timeout_seconds) {
    const std::string pipeline = OndelisCommand(first) + " </dev/null | " + OndelisCommand(second);
    return RunCaptured("timeout -s KILL " + std::to_string(timeout_seconds) + " sh -c " +
                           ShellQuote(pipeline),
                       RunDirectory("ondelis-pipe-"));
}

RunResult RunShell(const std::string& script, int timeout_seconds) {
    return RunCaptured("ONDELIS=" + ShellQuote(ONDELIS_BINARY) + " timeout -s KILL " +
                           std::to_string(timeout_seconds) + " sh -c " + ShellQuote(script),
                       RunDirectory("ondelis-shell-"));
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

std::vector<unsigned char> PackedTone(float hz, uint32_t rate, int32_t frames, float level,
                                      int harmonics) {
    std::vector<int32_t> samples(static_cast<size_t>(frames));
    std::vector<unsigned char> packed(static_cast<size_t>(frames) * 3);
    MakeTone(samples.data(), hz, rate, frames, level, harmonics);
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

void Exec(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

Terminal StartOnTerminal(const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, unsigned short columns) {
    Terminal terminal;
    winsize size{24, columns, 0, 0};
    terminal.pid = forkpty(&terminal.master, nullptr, nullptr, columns > 0 ? &size : nullptr);
    if (terminal.pid == 0) {
        for (const std::string& setting : environment) {
            putenv(const_cast<char*>(setting.c_str()));
        }
        Exec(args);
    }
    return terminal;
}

bool WaitFor(Terminal& terminal, const std::string& text, double seconds, size_t from) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (terminal.screen.find(text, from) == std::string::npos) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        pollfd ready{terminal.master, POLLIN, 0};
        if (poll(&ready, 1, 20) == 1) {
            char buffer[4096];
            const ssize_t got = read(terminal.master, buffer, sizeof buffer);
            if (got <= 0) { // the program has gone and closed the terminal
                return terminal.screen.find(text, from) != std::string::npos;
            }
            terminal.screen.append(buffer, static_cast<size_t>(got));
        }
    }
    return true;
}

void Type(const Terminal& terminal, const std::string& keys) {
    const ssize_t written = write(terminal.master, keys.data(), keys.size());
    (void)written;
}

int Finish(Terminal& terminal, double seconds) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = -1;
    for (;;) {
        WaitFor(terminal, std::string(1, '\0'), 0.02); // keeps the terminal drained meanwhile
        int raw = 0;
        if (waitpid(terminal.pid, &raw, WNOHANG) == terminal.pid) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (std::chrono::steady_clock::now() > limit) {
            kill(terminal.pid, SIGKILL);
            waitpid(terminal.pid, nullptr, 0);
            break;
        }
    }
    close(terminal.master);
    return status;
}

std::string ReadingLineOf(const ToneSettings& settings, double time, double hz) {
    PitchReading reading;
    reading.time = time;
    reading.hz = hz;
    return ReadingLine(NameReading(NewNaming(settings), reading, 0));
}

std::string Wav24(const std::string& samples) {
    const auto le = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>((value >> (8 * i)) & 0xff);
        }
        return out;
    };
    const auto size = static_cast<uint32_t>(samples.size());
    return "RIFF" + le(36 + size, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(44100, 4) +
           le(44100 * 3, 4) + le(3, 2) + le(24, 2) + "data" + le(size, 4) + samples;
}

std::string StiffStringSamples(double f1, double b, double seconds, bool weak_first, int partials,
                               double off) {
    constexpr double kRate = 44100;
    const double f0 = f1 / std::sqrt(1 + b);
    std::string bytes;
    const auto frames = static_cast<size_t>(seconds * kRate);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double x = 0;
        for (int k = 1; k <= partials; ++k) {
            const double cents = k == 1 ? 0 : (k % 2 == 0 ? off : -off);
            const double hz = k * f0 * std::sqrt(1 + b * k * k) * std::exp2(cents / 1200);
            if (hz < 0.45 * kRate) {
                const double amplitude = weak_first && k == 1 ? 0.005 : 0.1 / k;
                x += amplitude * std::sin(2 * std::numbers::pi * hz * t + k);
            }
        }
        const auto v = static_cast<int32_t>(std::lround(x * 8388607));
        for (int byte = 0; byte < 3; ++byte) {
            bytes += static_cast<char>((static_cast<uint32_t>(v) >> (8 * byte)) & 0xff);
        }
    }
    return bytes;
}

RunResult RunOndelisStoppedOnAPipe(const std::string& take, const std::string& args,
                                   const std::string& ready, int timeout_seconds) {
    // The pipeline's last program, ondelis, is waited for by its pid: the job may be reported
    // done, and forgotten, before a wait names it.
    return RunShell("exec bash -c '\n"
                    "    set -m\n"
                    "    { cat " +
                        take + "; : >fed; exec sleep 30; } | \"$ONDELIS\" " + args +
                        " &\n"
                        "    for i in $(seq 600); do " +
                        ready +
                        " && break; sleep 0.05; done\n"
                        "    listener=$!\n"
                        "    kill -INT -- -$(jobs -p %1)\n"
                        "    wait $listener'",
                    timeout_seconds);
}
