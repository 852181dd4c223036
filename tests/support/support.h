// Helpers shared by the tests: running the program as a user would, scratch directories
// and the bytes of files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ToneSettings;
struct RunResult;

// Feeds the file `take` to `ondelis ARGS` (shell words) through a pipe held open after it,
// then, once the shell test `ready` holds ("[ -e fed ]": the whole take is in the pipe),
// interrupts the whole pipeline as Ctrl-C at a terminal does: the status and output of the
// program.
RunResult RunOndelisStoppedOnAPipe(const std::string& take, const std::string& args,
                                   const std::string& ready, int timeout_seconds);

// The line --listen prints for a reading of `hz` at `time` under the settings.
std::string ReadingLineOf(const ToneSettings& settings, double time, double hz);

struct RunResult {
    int status = -1; // exit status; 128 + signal when killed (a timeout kills)
    std::string out;
    std::string err;
};

// Runs the ondelis binary with `args`, feeding `input` on standard input (empty: no input at
// all), under a time limit so that a hang fails the test instead of the whole run.
// `environment` ("LD_PRELOAD=... FAULT=...", shell words) is set for the program alone.
RunResult RunOndelis(const std::vector<std::string>& args, const std::string& input = "",
                     int timeout_seconds = 30, const std::string& environment = "");

// Runs `ondelis first... | ondelis second...` through /bin/sh under one time limit: the status,
// output and errors of the second, the errors of both.
RunResult RunOndelisPipe(const std::vector<std::string>& first,
                         const std::vector<std::string>& second, int timeout_seconds = 30);

// Runs the shell script `script` under one time limit, "$ONDELIS" naming the binary in it:
// its status, output and errors, so that a test can redirect or pipe the program's own
// standard output ("\"$ONDELIS\" --listen x.wav >/dev/full").
RunResult RunShell(const std::string& script, int timeout_seconds = 30);

// How often `part` occurs in `text`, overlaps included.
size_t Count(const std::string& text, const std::string& part);
bool Has(const std::string& text, const std::string& part);
bool EndsWith(const std::string& text, const std::string& tail);

// The summary direct mode prints before it plays; with -o, `output` names where it writes,
// and `device`, which it does not open, is left out.
std::string Summary(const std::string& device, const std::string& hz, const std::string& seconds,
                    const std::string& level, const std::string& output = "");

// In a forked child: becomes args[0] (searched in PATH), or exits 127 when it cannot.
[[noreturn]] void Exec(const std::vector<std::string>& args);

// A program on a pseudo-terminal, as somebody at a keyboard runs it.
struct Terminal {
    int pid = -1;
    int master = -1;
    std::string screen; // everything it showed so far, the echo of typed keys included
};

// Starts `args` (args[0] is the program) on a new pseudo-terminal, with `environment`
// ("NAME=value" each) added to its own; `columns` wide when given (0: the system's default).
Terminal StartOnTerminal(const std::vector<std::string>& args,
                         const std::vector<std::string>& environment = {},
                         unsigned short columns = 0);

// Reads what the program shows until `text` has appeared after `from` bytes of the screen,
// or `seconds` have passed. True when it appeared.
bool WaitFor(Terminal& terminal, const std::string& text, double seconds, size_t from = 0);

// Types `keys`; "\x03" is Ctrl-C, which the terminal turns into SIGINT.
void Type(const Terminal& terminal, const std::string& keys);

// Waits at most `seconds` for the program to end: its exit status, 128 + the signal that
// ended it, or -1 when it had to be killed.
int Finish(Terminal& terminal, double seconds);

// Quotes a word for /bin/sh.
std::string ShellQuote(const std::string& word);

std::string ReadBytes(const std::filesystem::path& path);

// A fresh directory that is also the working directory while it lives, so that relative
// paths such as the ALSA file device's "FILE=o.raw" land in it.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

// The S24_3LE mono samples the program renders for a tone (frequency, rate, frames, level,
// partials).
std::vector<unsigned char> PackedTone(float hz, uint32_t rate, int32_t frames, float level,
                                      int harmonics = 1);

// Both channels of an interleaved stereo S24_3LE recording carry `mono`, frame by frame.
// Returns the index of the first frame that differs, or -1 when all agree and the sizes match.
long FirstStereoMismatch(const std::string& stereo, const std::vector<unsigned char>& mono);

// A 24-bit mono WAV file at 44100 Hz of `samples`, S24_3LE bytes.
std::string Wav24(const std::string& samples);

// `seconds` of a struck stiff string at 44100 Hz as S24_3LE bytes: its first partial at `f1`
// Hz, the k-th at k f0 sqrt(1 + b k^2) and 1 / k of the level (`partials` of them, those below
// 0.45 times the rate), each from phase k; with `weak_first` the first 26 dB under the second,
// as a long bass string's; from the second on, `off` cents off their line by turns (+ on even
// partials).
std::string StiffStringSamples(double f1, double b, double seconds, bool weak_first,
                               int partials = 16, double off = 0);
