// End to end on a real desktop sound path: a private PulseAudio server with a null sink.
// The program plays through ALSA's "default" device, which the pulse plugin routes to the
// server, and parec records what reached the sink. Everything is measured from that
// recording.
#include "support.h"
#include "synth/synth.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kFullScale = 8388608.0;

struct Child {
    pid_t pid = -1;
};

// Starts argv[0] with the given files as standard input, output and error.
Child Start(const std::vector<std::string>& args, const fs::path& in, const fs::path& out,
            const fs::path& err) {
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        const int fds[] = {open(in.c_str(), O_RDONLY),
                           open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                           open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int fd = 0; fd < 3; ++fd) {
            dup2(fds[fd], fd);
        }
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

struct Finished {
    int status = -1; // exit status, or 128 + signal, or -1 when it had to be killed
    double cpu_seconds = 0;
};

// Waits for the child at most `limit`; a child still running then is killed and reported
// with status -1, so a hang fails the test instead of blocking it.
Finished Wait(Child child, std::chrono::duration<double> limit) {
    const auto start = std::chrono::steady_clock::now();
    Finished finished;
    for (;;) {
        int raw = 0;
        rusage usage{};
        if (wait4(child.pid, &raw, WNOHANG, &usage) == child.pid) {
            finished.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            finished.cpu_seconds =
                static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
            break;
        }
        if (std::chrono::steady_clock::now() - start > limit) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    return finished;
}

// A private PulseAudio server with a null sink "tap", started as root in a runtime directory
// of its own and stopped by its pid whatever happens.
class PulseServer {
  public:
    PulseServer() {
        const fs::path dir = scratch_.path();
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + (dir / "pulse" / "native").string()).c_str(), 1);
        const Finished started =
            Wait(Start({"pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                        "--log-target=file:" + (dir / "server.log").string(), "-L",
                        "module-null-sink sink_name=tap format=s24le rate=44100 channels=2 "
                        "norewinds=1",
                        "-L", "module-native-protocol-unix"},
                       "/dev/null", dir / "start.out", dir / "start.err"),
                 20s);
        const std::string pid_text = ReadBytes(dir / "pulse" / "pid");
        pid_ = pid_text.empty() ? -1 : std::atoi(pid_text.c_str());
        started_ = started.status == 0 && pid_ > 0;
    }
    ~PulseServer() { Stop(); }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool started() const { return started_; }
    const fs::path& dir() const { return scratch_.path(); }

    void Stop() {
        if (pid_ <= 0) {
            return;
        }
        kill(pid_, SIGKILL);
        for (int i = 0; i < 200 && kill(pid_, 0) == 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
    }

  private:
    ScratchDir scratch_;
    pid_t pid_ = -1;
    bool started_ = false;
};

uintmax_t FileSize(const fs::path& path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

struct Recording {
    std::vector<int32_t> left;
    std::vector<int32_t> right;
};

Recording Decode(const std::string& bytes) {
    Recording r;
    auto sample = [&](size_t at) {
        const uint32_t v = static_cast<unsigned char>(bytes[at]) |
                           static_cast<unsigned char>(bytes[at + 1]) << 8 |
                           static_cast<unsigned char>(bytes[at + 2]) << 16;
        return static_cast<int32_t>(v << 8) >> 8;
    };
    for (size_t at = 0; at + 6 <= bytes.size(); at += 6) {
        r.left.push_back(sample(at));
        r.right.push_back(sample(at + 3));
    }
    return r;
}

// Frequency from the rising zero crossings, each placed between its two samples by linear
// interpolation.
double MeasuredFrequency(const std::vector<int32_t>& s, double rate) {
    double first = -1;
    double last = -1;
    long crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double at =
                static_cast<double>(i - 1) + static_cast<double>(-s[i - 1]) / (s[i] - s[i - 1]);
            if (first < 0) {
                first = at;
            }
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0 : static_cast<double>(crossings - 1) * rate / (last - first);
}

struct Sounding {
    size_t start = 0;
    size_t length = 0;
};

// The tone starts on a zero sample just before the first non-zero one.
Sounding FindSounding(const std::vector<int32_t>& s) {
    size_t first = 0;
    while (first < s.size() && s[first] == 0) {
        ++first;
    }
    size_t last = s.size();
    while (last > first && s[last - 1] == 0) {
        --last;
    }
    if (first == s.size()) {
        return {};
    }
    return {first - 1, last - first + 1};
}

// Samples the generator renders before its silent tail.
size_t RenderedSounding(float hz, int32_t frames) {
    std::vector<int32_t> samples(static_cast<size_t>(frames));
    MakeTone(samples.data(), hz, 44100, frames, 25);
    Sounding s = FindSounding(samples);
    return s.length;
}

class DesktopSoundPath : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.started()) << ReadBytes(server_.dir() / "start.err");
    }

    // Plays with the sink's monitor recorded; returns the program's result.
    Finished PlayRecorded(const std::vector<std::string>& args, const std::string& input = "") {
        const fs::path dir = server_.dir();
        std::ofstream(dir / "input") << input;
        const Child recorder = Start({"parec", "-d", "tap.monitor", "--latency-msec=20",
                                      "--format=s24le", "--rate=44100", "--channels=2", "--raw"},
                                     "/dev/null", dir / "rec.raw", dir / "parec.err");
        // The monitor streams silence once parec is connected: a tone played before that
        // would lose its start, so wait for the first bytes (and some more for good measure).
        for (int i = 0; i < 1000 && FileSize(dir / "rec.raw") == 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(200ms);
        std::vector<std::string> command{ONDELIS_BINARY};
        command.insert(command.end(), args.begin(), args.end());
        const Finished played = Wait(Start(command, dir / "input", dir / "out", dir / "err"), 30s);
        std::this_thread::sleep_for(300ms);
        kill(recorder.pid, SIGTERM);
        Wait(recorder, 5s);
        recording_ = Decode(ReadBytes(dir / "rec.raw"));
        return played;
    }

    std::string Err() const { return ReadBytes(server_.dir() / "err"); }
    std::string Out() const { return ReadBytes(server_.dir() / "out"); }

    PulseServer server_;
    Recording recording_;
};

TEST_F(DesktopSoundPath, ToneArrivesCompleteAtPitchAndLevel) {
    const Finished played = PlayRecorded({"440", "2", "default"});
    ASSERT_EQ(played.status, 0) << Err();
    EXPECT_EQ(recording_.left, recording_.right);

    const Sounding sounding = FindSounding(recording_.left);
    const size_t expected = RenderedSounding(440, 88200);
    EXPECT_NEAR(static_cast<double>(sounding.length), static_cast<double>(expected), 0.003 * 44100);

    const std::vector<int32_t> tone(recording_.left.begin() + static_cast<long>(sounding.start),
                                    recording_.left.begin() +
                                        static_cast<long>(sounding.start + sounding.length));
    const double hz = MeasuredFrequency(tone, 44100);
    EXPECT_NEAR(hz, 440.0, 0.05);
    int32_t peak = 0;
    for (int32_t v : tone) {
        peak = std::max(peak, std::abs(v));
    }
    EXPECT_NEAR(peak, 0.25 * kFullScale, 0.01 * 0.25 * kFullScale);

    // The write loop waits on the device instead of polling it.
    EXPECT_LT(played.cpu_seconds, 0.08 * 2.0);
    std::printf("440 Hz measured %.5f Hz, peak %d, %zu of %zu samples sounding, CPU %.3f s\n", hz,
                peak, sounding.length, expected, played.cpu_seconds);
}

TEST_F(DesktopSoundPath, LowEPresetFromTheMenuIsInTune) {
    const Finished played = PlayRecorded({}, "l 4\nG6\nx\n");
    ASSERT_EQ(played.status, 0) << Err();
    EXPECT_NE(Out().find("Frequency = 82.41 Hz\n"), std::string::npos);
    const Sounding sounding = FindSounding(recording_.left);
    EXPECT_NEAR(static_cast<double>(sounding.length),
                static_cast<double>(RenderedSounding(82.406891f, 4 * 44100)), 0.003 * 44100);
    const std::vector<int32_t> tone(recording_.left.begin() + static_cast<long>(sounding.start),
                                    recording_.left.begin() +
                                        static_cast<long>(sounding.start + sounding.length));
    const double hz = MeasuredFrequency(tone, 44100);
    EXPECT_NEAR(hz, 82.406891, 0.02);
    std::printf("G6 measured %.5f Hz\n", hz);
}

TEST_F(DesktopSoundPath, ServerKilledMidToneEndsThePlaybackWithAnError) {
    const fs::path dir = server_.dir();
    const Child player =
        Start({ONDELIS_BINARY, "440", "6", "default"}, "/dev/null", dir / "out", dir / "err");
    std::this_thread::sleep_for(1500ms);
    const auto killed = std::chrono::steady_clock::now();
    server_.Stop();
    const Finished finished = Wait(player, 5s);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
    EXPECT_EQ(finished.status, 1);
    EXPECT_NE(Err().find("Playback failed: "), std::string::npos) << Err();
    std::printf("ended within %.2f s of the server's death\n", seconds);
}

} // namespace
