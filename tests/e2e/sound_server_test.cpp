// End to end on the sound paths of real desktops: a private PulseAudio or PipeWire server
// with a null sink, started by the tests in a runtime directory of their own. The program
// plays through ALSA's "default" device as a private ALSA configuration maps it, so neither
// the machine's own mapping nor a server the user runs matters, and a recorder takes what
// reached the sink. Every check is made on that recording, the same checks on both servers.
#include "support.h"
#include "synth/synth.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kFullScale = 8388608.0;
constexpr uint32_t kRate = 44100;

enum class Server { PulseAudio, PipeWire };

std::string NameOf(Server server) {
    return server == Server::PulseAudio ? "PulseAudio" : "PipeWire";
}

// Names the server in a failed test's message.
void PrintTo(Server server, std::ostream* out) {
    *out << NameOf(server);
}

struct Child {
    pid_t pid = -1;
};

// Process groups a child may be put in: the test's own, a new one led by the child, or
// (any other value) the group of that id.
constexpr pid_t kTestsGroup = -1;
constexpr pid_t kNewGroup = 0;

// Starts args[0] with the given files as standard input, output and error.
Child Start(const std::vector<std::string>& args, const fs::path& in, const fs::path& out,
            const fs::path& err, pid_t group = kTestsGroup) {
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        if (group != kTestsGroup) {
            setpgid(0, group);
        }
        const int fds[] = {open(in.c_str(), O_RDONLY),
                           open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                           open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int fd = 0; fd < 3; ++fd) {
            dup2(fds[fd], fd);
        }
        Exec(args);
    }
    return child;
}

struct Finished {
    int status = -1; // exit status, or 128 + signal, or -1 when it had to be killed
    double cpu_seconds = 0;
    long wakeups = 0; // voluntary context switches: how often it slept
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
            finished.wakeups = usage.ru_nvcsw;
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

bool WaitUntilExists(const fs::path& path, std::chrono::duration<double> limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(path) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    return fs::exists(path);
}

// Waits until the file holds `text`: a program that says what it has begun has begun it.
bool WaitUntilFileHas(const fs::path& path, const std::string& text,
                      std::chrono::duration<double> limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!Has(ReadBytes(path), text) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    return Has(ReadBytes(path), text);
}

// The threads of a running process, 0 once it is gone.
int ThreadsOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stoi(line.substr(8));
        }
    }
    return 0;
}

// Waits until the program has begun to open its device: a sound server's ALSA plugin runs a
// thread of its own from the open on, and the program none before it.
bool Opening(Child child) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (ThreadsOf(child.pid) < 2 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    return ThreadsOf(child.pid) >= 2;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool OnPath(const std::string& program) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(path, dir, ':')) {
        if (access((fs::path(dir) / program).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// PipeWire's ALSA plugin: the installed one where pipewire-alsa is installed, else the copy
// scripts/install-deps.sh takes out of that package without installing it. Empty if neither.
fs::path PipeWirePlugin() {
    const std::string name = "libasound_module_pcm_pipewire.so";
    if (fs::exists(fs::path(ONDELIS_ALSA_PLUGIN_DIR) / name)) {
        return fs::path(ONDELIS_ALSA_PLUGIN_DIR) / name;
    }
    std::error_code error;
    for (fs::recursive_directory_iterator it(ONDELIS_EXTRACTED_PIPEWIRE_ALSA, error), end;
         !error && it != end; it.increment(error)) {
        if (it->path().filename() == name) {
            return it->path();
        }
    }
    return {};
}

// What this machine lacks for the tests on `server`; empty when nothing.
std::string Missing(Server server) {
    const std::vector<std::string> programs =
        server == Server::PulseAudio
            ? std::vector<std::string>{"pulseaudio", "parec"}
            : std::vector<std::string>{"pipewire", "wireplumber", "dbus-run-session", "pw-record"};
    for (const std::string& program : programs) {
        if (!OnPath(program)) {
            return program + " is not installed (scripts/install-deps.sh test installs it where "
                             "that replaces nothing the machine has)";
        }
    }
    if (server == Server::PulseAudio &&
        !fs::exists(fs::path(ONDELIS_ALSA_PLUGIN_DIR) / "libasound_module_pcm_pulse.so")) {
        return "ALSA's pulse plugin is not installed (package libasound2-plugins)";
    }
    if (server == Server::PipeWire && PipeWirePlugin().empty()) {
        return "PipeWire's ALSA plugin is neither installed nor taken out of pipewire-alsa into " +
               std::string(ONDELIS_EXTRACTED_PIPEWIRE_ALSA) + " (scripts/install-deps.sh test)";
    }
    return "";
}

// The private ALSA configuration: the system's, then `default` mapped to the server. The
// system's file ends by loading the machine's conf.d and ~/.asoundrc, whose `default`
// (99-pulse.conf, 99-pipewire-default.conf) would win over ours; the hook here takes the place
// of that load, so only our devices are added.
void WriteAlsaConfig(Server server, const fs::path& dir) {
    std::ofstream(dir / "alsa.conf")
        << "</usr/share/alsa/alsa.conf>\n@hooks [ { func load files [ \""
        << (dir / "devices.conf").string() << "\" ] } ]\n";
    std::ofstream devices(dir / "devices.conf");
    if (server == Server::PulseAudio) {
        devices << "pcm.!default { type pulse server \"unix:" << (dir / "pulse" / "native").string()
                << "\" }\n";
    } else {
        devices << "pcm_type.pipewire { lib \"" << PipeWirePlugin().string() << "\" }\n"
                << "pcm.!default { type pipewire }\n";
    }
}

// A private server in a runtime directory of its own. All its processes (the session manager
// and its bus for PipeWire) share one process group, killed whatever happens.
class SoundServer {
  public:
    explicit SoundServer(Server server) : server_(server) {
        const fs::path dir = scratch_.path();
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        setenv("ALSA_CONFIG_PATH", (dir / "alsa.conf").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + (dir / "pulse" / "native").string()).c_str(), 1);
        unsetenv("PIPEWIRE_REMOTE");
        unsetenv("PIPEWIRE_RUNTIME_DIR");
        WriteAlsaConfig(server, dir);
        started_ = server == Server::PulseAudio ? StartPulseAudio() : StartPipeWire();
    }
    ~SoundServer() { Stop(); }
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool started() const { return started_; }
    const fs::path& dir() const { return scratch_.path(); }
    std::string log() const { return ReadBytes(dir() / "server.err"); }

    // The recorder of what reaches the sink, writing to `file`.
    Child Record(const fs::path& file) const {
        if (server_ == Server::PulseAudio) {
            return Start({"parec", "-d", "tap.monitor", "--latency-msec=20", "--format=s24le",
                          "--rate=44100", "--channels=2", "--raw"},
                         "/dev/null", file, dir() / "recorder.err");
        }
        return Start({"pw-record", "--target", "tap", "-P", "{ stream.capture.sink=true }",
                      "--format", "s24", "--rate", "44100", "--channels", "2", file.string()},
                     "/dev/null", dir() / "recorder.out", dir() / "recorder.err");
    }

    // SIGSTOP freezes every process of the server, SIGCONT wakes them.
    void Signal(int signal) const {
        if (group_ > 0) {
            kill(-group_, signal);
        }
    }

    void Stop() {
        if (group_ <= 0) {
            return;
        }
        kill(-group_, SIGKILL);
        while (waitpid(-group_, nullptr, 0) > 0) {
        }
        group_ = -1;
    }

  private:
    bool StartPulseAudio() {
        const fs::path dir = scratch_.path();
        group_ = Start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "-L",
                        "module-null-sink sink_name=tap format=s24le rate=44100 channels=2 "
                        "norewinds=1",
                        "-L", "module-native-protocol-unix"},
                       "/dev/null", dir / "server.out", dir / "server.err", kNewGroup)
                     .pid;
        return WaitUntilExists(dir / "pulse" / "native", 20s);
    }

    // The session manager links the streams; it needs a bus of its own.
    bool StartPipeWire() {
        const fs::path dir = scratch_.path();
        fs::copy_file(ONDELIS_PIPEWIRE_CONFIG, dir / "pipewire.conf");
        group_ = Start({"pipewire", "-c", (dir / "pipewire.conf").string()}, "/dev/null",
                       dir / "server.out", dir / "server.err", kNewGroup)
                     .pid;
        if (!WaitUntilExists(dir / "pipewire-0", 20s)) {
            return false;
        }
        Start({"dbus-run-session", "--", "wireplumber"}, "/dev/null", dir / "session.out",
              dir / "session.err", group_);
        return true;
    }

    Server server_;
    ScratchDir scratch_;
    pid_t group_ = -1;
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

// Interleaved stereo S24_3LE, raw (parec) or after a WAV header (pw-record). The header's
// sizes are not read: a recorder stopped by a signal may not have written them.
Recording Decode(const std::string& bytes) {
    size_t at = 0;
    if (bytes.rfind("RIFF", 0) == 0) {
        const size_t data = bytes.find("data", 12);
        at = data == std::string::npos ? bytes.size() : data + 8;
    }
    auto sample = [&](size_t i) {
        const uint32_t v = static_cast<unsigned char>(bytes[i]) |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]) << 16;
        return static_cast<int32_t>(v << 8) >> 8;
    };
    Recording r;
    for (; at + 6 <= bytes.size(); at += 6) {
        r.left.push_back(sample(at));
        r.right.push_back(sample(at + 3));
    }
    return r;
}

// Frequency from the rising zero crossings, each placed between its two samples by linear
// interpolation.
double MeasuredFrequency(const std::vector<int32_t>& s) {
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
    return crossings < 2 ? 0 : static_cast<double>(crossings - 1) * kRate / (last - first);
}

// The tone as it sounded: from the zero sample just before the first non-zero one to the
// last non-zero one.
std::vector<int32_t> Sounding(const std::vector<int32_t>& s) {
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
    return {s.begin() + static_cast<long>(first - 1), s.begin() + static_cast<long>(last)};
}

std::vector<int32_t> Rendered(float hz, int32_t frames) {
    std::vector<int32_t> samples(static_cast<size_t>(frames));
    MakeTone(samples.data(), hz, kRate, frames, 25);
    return samples;
}

// Index of the first sample where the two differ within the shorter; -1 when none does.
long FirstDifference(const std::vector<int32_t>& heard, const std::vector<int32_t>& rendered) {
    for (size_t i = 0; i < std::min(heard.size(), rendered.size()); ++i) {
        if (heard[i] != rendered[i]) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

int32_t Peak(const std::vector<int32_t>& s) {
    int32_t peak = 0;
    for (int32_t v : s) {
        peak = std::max(peak, std::abs(v));
    }
    return peak;
}

// Each test gets its own server, already recording the sink: the recorder's first bytes show
// that the server runs and (PipeWire) that the session manager links streams.
class SoundServerPath : public testing::TestWithParam<Server> {
  protected:
    void SetUp() override {
        const std::string missing = Missing(GetParam());
        if (!missing.empty()) {
            const char* ci = std::getenv("CI");
            ASSERT_FALSE(ci && std::string(ci) == "true") << missing;
            GTEST_SKIP() << missing;
        }
        server_ = std::make_unique<SoundServer>(GetParam());
        ASSERT_TRUE(server_->started()) << server_->log();
        StartRecording();
    }

    // A recorder of the sink, once its first bytes show that it records.
    void StartRecording() {
        // The last recording goes first: the new recorder empties the file only once it runs,
        // and until then the old bytes would pass for the new ones.
        fs::remove(Dir() / "rec.raw");
        recorder_ = server_->Record(Dir() / "rec.raw");
        const size_t header = GetParam() == Server::PipeWire ? 44 : 0;
        for (int i = 0; i < 1000 && FileSize(Dir() / "rec.raw") <= header; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_GT(FileSize(Dir() / "rec.raw"), header)
            << ReadBytes(Dir() / "recorder.err") << ReadBytes(Dir() / "session.err");
        std::this_thread::sleep_for(200ms);
    }

    void TearDown() override {
        if (recorder_.pid > 0) {
            kill(recorder_.pid, SIGKILL);
            waitpid(recorder_.pid, nullptr, 0);
        }
        server_.reset();
    }

    const fs::path& Dir() const { return server_->dir(); }

    // Plays `args` with `input` on standard input at most 30 s and collects the recording.
    Finished Play(const std::vector<std::string>& args, const std::string& input = "") {
        std::ofstream(Dir() / "input") << input;
        std::vector<std::string> command{ONDELIS_BINARY};
        command.insert(command.end(), args.begin(), args.end());
        const Finished played =
            Wait(Start(command, Dir() / "input", Dir() / "out", Dir() / "err"), 30s);
        StopRecording();
        return played;
    }

    // The recorder is stopped a little after the program, so that what the device still held
    // is in the recording.
    void StopRecording() {
        std::this_thread::sleep_for(300ms);
        kill(recorder_.pid, SIGTERM);
        Wait(recorder_, 5s);
        recorder_.pid = -1;
        recording_ = Decode(ReadBytes(Dir() / "rec.raw"));
        sounding_ = Sounding(recording_.left);
    }

    // Waits until a listener started with standard error in listen.err has opened its device:
    // a server stopped or frozen before then would test the opening instead.
    bool Listening() {
        const bool opened = WaitUntilFileHas(Dir() / "listen.err", "Listening to", 20s);
        std::this_thread::sleep_for(200ms); // and has read a little
        return opened;
    }

    // Waits until the sink has carried a tone for `seconds`: its first sound, then that long.
    // Stops, kills and freezes act on a tone that plays, however late a loaded machine
    // started it.
    void WaitUntilHeard(std::chrono::duration<double> seconds) {
        const size_t header = GetParam() == Server::PipeWire ? 44 : 0;
        const auto end = std::chrono::steady_clock::now() + 20s;
        auto heard = [&] {
            const std::string bytes = ReadBytes(Dir() / "rec.raw");
            return bytes.size() > header &&
                   bytes.find_first_not_of('\0', header) != std::string::npos;
        };
        while (!heard() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(heard()) << "no sound reached the sink: " << Err();
        std::this_thread::sleep_for(seconds);
    }

    std::string Err() const { return ReadBytes(Dir() / "err"); }
    std::string Out() const { return ReadBytes(Dir() / "out"); }

    std::unique_ptr<SoundServer> server_;
    Child recorder_;
    Recording recording_;
    std::vector<int32_t> sounding_;
};

TEST_P(SoundServerPath, ToneArrivesBitExactAtPitchAndLevel) {
    // Long enough that the start-up's wake-ups (the server connection) count little below.
    constexpr int kSeconds = 4;
    const Finished played = Play({"440", std::to_string(kSeconds), "default"});
    ASSERT_EQ(played.status, 0) << Err();
    EXPECT_EQ(recording_.left, recording_.right);

    // Every frame of the whole cycles, as the generator made them, then silence.
    const std::vector<int32_t> rendered = Sounding(Rendered(440, kSeconds * kRate));
    EXPECT_EQ(sounding_.size(), rendered.size());
    EXPECT_EQ(FirstDifference(sounding_, rendered), -1);

    const double hz = MeasuredFrequency(sounding_);
    EXPECT_NEAR(hz, 440.0, 0.05);
    EXPECT_NEAR(Peak(sounding_), 0.25 * kFullScale, 0.01 * 0.25 * kFullScale);

    // The write loop sleeps until the device has room for a period (about 22 times a second,
    // 8 with PipeWire's long buffer), and the server's plugin wakes a few times more for each;
    // polling would wake hundreds of times. Unlike CPU time, the count does not depend on the
    // machine's speed or a sanitizer. The short buffer woke 74 times a second on PipeWire.
    const double wakeups_per_second = static_cast<double>(played.wakeups) / kSeconds;
    EXPECT_LE(wakeups_per_second, GetParam() == Server::PipeWire ? 60.0 : 150.0);
    std::printf("%s: 440 Hz measured %.5f Hz, peak %d, %zu of %zu samples sounding, "
                "%.0f wake-ups a second, CPU %.3f s\n",
                NameOf(GetParam()).c_str(), hz, Peak(sounding_), sounding_.size(), rendered.size(),
                wakeups_per_second, played.cpu_seconds);
}

TEST_P(SoundServerPath, LowEPresetFromTheMenuIsInTune) {
    const Finished played = Play({}, "l 2\nG6\nx\n");
    ASSERT_EQ(played.status, 0) << Err();
    EXPECT_NE(Out().find("Frequency = 82.41 Hz\n"), std::string::npos);
    const std::vector<int32_t> rendered = Sounding(Rendered(82.406891f, 2 * kRate));
    EXPECT_EQ(sounding_.size(), rendered.size());
    EXPECT_EQ(FirstDifference(sounding_, rendered), -1);
    const double hz = MeasuredFrequency(sounding_);
    EXPECT_NEAR(hz, 82.406891, 0.02);
    std::printf("%s: G6 measured %.5f Hz\n", NameOf(GetParam()).c_str(), hz);
}

TEST_P(SoundServerPath, ServerKilledMidToneEndsThePlaybackWithAnError) {
    const Child player =
        Start({ONDELIS_BINARY, "440", "6", "default"}, "/dev/null", Dir() / "out", Dir() / "err");
    WaitUntilHeard(1s);
    const auto killed = std::chrono::steady_clock::now();
    server_->Stop();
    const Finished finished = Wait(player, 5s);
    const double seconds = SecondsSince(killed);
    EXPECT_EQ(finished.status, 1);
    EXPECT_NE(Err().find("Playback failed: "), std::string::npos) << Err();
    std::printf("%s: ended within %.2f s of the server's death: %s", NameOf(GetParam()).c_str(),
                seconds, Err().c_str());
}

// The tone as the sink heard it: the frames of `rendered`, in order, with runs of silence
// between them where a loaded machine's server ran short of frames (the pulse plugin does not
// report such an underrun, and the server plays silence until the next frames come).
struct HeardTone {
    long mismatch = -1; // the first sample of `heard` that is neither the tone nor a gap
    int32_t frames = 0; // frames of the tone heard
    size_t gap_samples = 0;
};
HeardTone ToneWithGaps(const std::vector<int32_t>& heard, const std::vector<int32_t>& rendered) {
    HeardTone tone;
    size_t next = 0;
    for (size_t i = 0; i < heard.size(); ++i) {
        if (next < rendered.size() && heard[i] == rendered[next]) {
            ++next;
        } else if (heard[i] == 0) {
            ++tone.gap_samples;
        } else {
            tone.mismatch = static_cast<long>(i);
            break;
        }
    }
    tone.frames = static_cast<int32_t>(next);
    return tone;
}

// Where an interrupted tone stopped: what was heard is the generator's tone up to the end of
// a whole cycle, then silence (gaps of a loaded machine aside). `frames` is any length longer
// than what was heard.
void ExpectEndsAtAWholeCycle(const std::vector<int32_t>& sounding, float hz, int32_t frames) {
    const HeardTone tone = ToneWithGaps(sounding, Rendered(hz, frames));
    EXPECT_EQ(tone.mismatch, -1);
    const int32_t heard = tone.frames;
    EXPECT_EQ(CycleEnd(ShapeTone(hz, kRate, frames, 25), heard), heard);
    // It sounded (a loaded machine may take a while to start it) and was cut short.
    EXPECT_GT(heard, static_cast<int32_t>(kRate / 10));
    EXPECT_LT(heard, frames);
    std::printf("ended after %d frames (%.4f s), %.3f cycles, %zu samples of gaps\n", heard,
                static_cast<double>(heard) / kRate, heard * static_cast<double>(hz) / kRate,
                tone.gap_samples);
}

// The program stops a tone within a quarter of a second of Ctrl-C (the cycle in progress and
// what the device holds), and listening within a few milliseconds; a loaded machine may take
// a while longer to run it, or to reap it. The frames heard show how soon the tone stopped;
// the clock only bounds a hang.
constexpr double kStopSeconds = 3.0;

TEST_P(SoundServerPath, CtrlCEndsTheToneAtTheCloseOfACycle) {
    // A tone that plays until it is stopped; at 2 Hz the rest of the cycle outlasts what a
    // stop gives the device to play out what it holds, and is not cut short for it.
    for (const float hz : {440.0f, 2.0f}) {
        const Child player = Start({ONDELIS_BINARY, std::to_string(hz), "inf", "default"},
                                   "/dev/null", Dir() / "out", Dir() / "err");
        WaitUntilHeard(500ms);
        EXPECT_EQ(waitpid(player.pid, nullptr, WNOHANG), 0) << "not playing: " << Err();
        const auto pressed = std::chrono::steady_clock::now();
        kill(player.pid, SIGINT);
        const Finished finished = Wait(player, 5s);
        const double seconds = SecondsSince(pressed);
        StopRecording();
        EXPECT_EQ(finished.status, 128 + SIGINT) << hz << Err();
        EXPECT_LT(seconds, kStopSeconds) << hz;
        EXPECT_EQ(recording_.left, recording_.right) << hz;
        std::printf("%s, %g Hz: died by SIGINT %.3f s after it, ", NameOf(GetParam()).c_str(), hz,
                    seconds);
        ExpectEndsAtAWholeCycle(sounding_, hz, 10 * kRate);
        StartRecording();
    }
}

TEST_P(SoundServerPath, CtrlCNearTheEndOfAToneStillEndsItSoon) {
    // A 1.5 s tone: at 1.25 s a long buffer could hold all the rest, so the stop must still
    // cut it short; at 1.45 s the last frame may be written, and what plays out is short.
    for (const auto& [after, heard_before] :
         {std::pair{1250ms, 14 * kRate / 10}, std::pair{1450ms, 3 * kRate / 2 + 1}}) {
        const Child player = Start({ONDELIS_BINARY, "440", "1.5", "default"}, "/dev/null",
                                   Dir() / "out", Dir() / "err");
        std::this_thread::sleep_for(after);
        const auto pressed = std::chrono::steady_clock::now();
        kill(player.pid, SIGINT);
        const Finished finished = Wait(player, 5s);
        const double seconds = SecondsSince(pressed);
        StopRecording();
        EXPECT_TRUE(finished.status == 128 + SIGINT || finished.status == 0) << Err();
        EXPECT_LT(seconds, kStopSeconds);
        std::printf("%s: Ctrl-C at %.2f s, over %.3f s after it, ", NameOf(GetParam()).c_str(),
                    std::chrono::duration<double>(after).count(), seconds);
        ExpectEndsAtAWholeCycle(sounding_, 440, heard_before);
        StartRecording();
    }
}

TEST_P(SoundServerPath, StopWhoseRewindFailsStillEndsAtTheCloseOfACycle) {
    // Only PipeWire's plugin is asked to rewind: the pulse plugin's server would still play
    // what it gave back. A rewind that fails or gives back less ends the tone as one without.
    for (const char* fault : {"FAULT_REWIND=EIO", "FAULT_REWIND_MAX=1000"}) {
        const fs::path log = Dir() / "fault.log";
        // The sanitizers' check of the load order would refuse the preloaded library.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string sanitizers = asan == nullptr ? "" : asan;
        const std::string variable = std::string(fault).substr(0, std::string(fault).find('='));
        const std::string value = std::string(fault).substr(variable.size() + 1);
        const std::pair<std::string, std::string> environment[] = {
            {"LD_PRELOAD", ALSA_FAULT_LIBRARY},
            {variable, value},
            {"FAULT_LOG", log.string()},
            {"ASAN_OPTIONS", sanitizers + ":verify_asan_link_order=0"}};
        for (const auto& [name, text] : environment) {
            setenv(name.c_str(), text.c_str(), 1);
        }
        const Child player = Start({ONDELIS_BINARY, "440", "600", "default"}, "/dev/null",
                                   Dir() / "out", Dir() / "err");
        for (const auto& [name, text] : environment) {
            unsetenv(name.c_str());
        }
        if (asan != nullptr) {
            setenv("ASAN_OPTIONS", sanitizers.c_str(), 1);
        }
        WaitUntilHeard(500ms);
        const auto pressed = std::chrono::steady_clock::now();
        kill(player.pid, SIGINT);
        const Finished finished = Wait(player, 5s);
        const double seconds = SecondsSince(pressed);
        StopRecording();
        EXPECT_EQ(finished.status, 128 + SIGINT) << fault << Err();
        // Without the rewind the half-second buffer plays out: a hang limit only.
        EXPECT_LT(seconds, kStopSeconds) << fault;
        const std::string asked = ReadBytes(log);
        EXPECT_EQ(Count(asked, "rewind "), GetParam() == Server::PipeWire ? 1u : 0u) << asked;
        std::printf("%s, %s: died by SIGINT %.3f s after it, ", NameOf(GetParam()).c_str(), fault,
                    seconds);
        ExpectEndsAtAWholeCycle(sounding_, 440, 10 * kRate);
        fs::remove(log);
        StartRecording();
    }
}

TEST_P(SoundServerPath, CtrlCAtTheKeyboardBringsTheMenuBack) {
    Terminal terminal = StartOnTerminal({ONDELIS_BINARY});
    ASSERT_TRUE(WaitFor(terminal, "Enter 'x' to exit", 10)) << terminal.screen;
    Type(terminal, "l inf\na\n");
    ASSERT_TRUE(WaitFor(terminal, "Frequency = 440.00 Hz", 10)) << terminal.screen;
    WaitUntilHeard(500ms);
    const auto pressed = std::chrono::steady_clock::now();
    Type(terminal, "\x03");
    const bool stopped = WaitFor(terminal, "Tone stopped.\r\n", 5);
    const double seconds = SecondsSince(pressed);
    const bool menu_again =
        WaitFor(terminal, "Enter 'x' to exit", 5, terminal.screen.rfind("Tone stopped."));
    Type(terminal, "x\n");
    EXPECT_EQ(Finish(terminal, 10), 0) << terminal.screen;
    EXPECT_TRUE(stopped) << terminal.screen;
    EXPECT_TRUE(menu_again) << terminal.screen;
    EXPECT_LT(seconds, kStopSeconds);
    StopRecording();
    std::printf("%s: menu said \"Tone stopped.\" %.3f s after Ctrl-C, ", NameOf(GetParam()).c_str(),
                seconds);
    ExpectEndsAtAWholeCycle(sounding_, 440, 10 * kRate);
}

// A server frozen by SIGSTOP answers nothing, and the plugins wait for it for good (or half a
// minute) in an open, a drain or a close, deaf to signals. A tone still ends within half a
// second of Ctrl-C or SIGTERM, whether the server froze before the tone began or while it
// played, and a frozen server alone ends it with an error within a few seconds: 3 s for an
// open, 5 s without audio taken. Each limit here only bounds a hang.
TEST_P(SoundServerPath, AFrozenServerCannotKeepAToneAlive) {
    const struct {
        bool before; // frozen before the tone began, else while it played
        int signal;  // sent once it froze; 0 for none
    } rows[] = {
        {true, SIGINT}, {true, SIGTERM}, {false, SIGINT}, {false, SIGTERM}, {true, 0}, {false, 0},
    };
    for (const auto& row : rows) {
        if (row.before) {
            server_->Signal(SIGSTOP);
        }
        const Child player = Start({ONDELIS_BINARY, "440", "inf", "default"}, "/dev/null",
                                   Dir() / "out", Dir() / "err");
        if (row.before) {
            ASSERT_TRUE(Opening(player)) << Err();
        } else {
            WaitUntilHeard(500ms);
            server_->Signal(SIGSTOP);
        }
        const auto start = std::chrono::steady_clock::now();
        if (row.signal != 0) {
            kill(player.pid, row.signal);
        }
        const Finished finished = Wait(player, 20s);
        const double seconds = SecondsSince(start);
        server_->Signal(SIGCONT);
        const std::string err = Err();
        const std::string when = row.before ? "frozen before the tone" : "frozen during the tone";
        if (row.signal != 0) {
            EXPECT_EQ(finished.status, 128 + row.signal) << when << ": " << err;
            EXPECT_LT(seconds, kStopSeconds) << when << ", signal " << row.signal;
        } else {
            EXPECT_EQ(finished.status, 1) << when << ": " << err;
            EXPECT_TRUE(Has(err, "Playback failed: ") || Has(err, "Cannot play to 'default': "))
                << when << ": " << err;
            EXPECT_LT(seconds, 10.0) << when;
        }
        std::printf("%s, %s: signal %d, exit %d %.3f s after it: %s\n", NameOf(GetParam()).c_str(),
                    when.c_str(), row.signal, finished.status, seconds, err.c_str());
        // A recording of its own for each tone, so that the next is heard as it starts.
        StopRecording();
        StartRecording();
    }
}

// How a capture through ALSA's "default" reaches the monitor of `sink` on each server.
std::vector<std::string> SinkMonitorEnvironment(Server server, const std::string& sink = "tap") {
    if (server == Server::PulseAudio) {
        return {"PULSE_SOURCE=" + sink + ".monitor"};
    }
    return {"PIPEWIRE_NODE=" + sink, "PIPEWIRE_PROPS={ stream.capture.sink=true }"};
}

// The program listening to `sink`, with `args` after --listen.
std::vector<std::string> ListenCommand(Server server, const std::vector<std::string>& args,
                                       const std::string& sink = "tap") {
    std::vector<std::string> command{"env"};
    for (const std::string& word : SinkMonitorEnvironment(server, sink)) {
        command.push_back(word);
    }
    command.push_back(ONDELIS_BINARY);
    command.push_back("--listen");
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

struct HeardReading {
    double time = 0;
    double hz = 0;
    std::string note;
    double cents = 0;
};

// The reading lines TIME, HZ, NOTE, CENTS.
std::vector<HeardReading> Readings(const std::string& text) {
    std::vector<HeardReading> readings;
    std::istringstream lines(text);
    HeardReading r;
    while (lines >> r.time >> r.hz >> r.note >> r.cents) {
        readings.push_back(r);
    }
    return readings;
}

// What one instance plays into the sink, another hears through the monitor: the note, in
// tune, at least 20 times a second.
TEST_P(SoundServerPath, ListeningToTheSinkNamesTheNotePlayedIntoIt) {
    const Child player =
        Start({ONDELIS_BINARY, "G6", "8", "default"}, "/dev/null", Dir() / "out", Dir() / "err");
    std::this_thread::sleep_for(500ms);
    const Finished listened = Wait(Start(ListenCommand(GetParam(), {"default", "3"}), "/dev/null",
                                         Dir() / "heard", Dir() / "listen.err"),
                                   20s);
    kill(player.pid, SIGINT);
    Wait(player, 5s);
    StopRecording();
    const std::string err = ReadBytes(Dir() / "listen.err");
    ASSERT_EQ(listened.status, 0) << err;
    EXPECT_TRUE(Has(err, "Listening to 'default' at 44100 Hz\n")) << err;
    const std::vector<HeardReading> readings = Readings(ReadBytes(Dir() / "heard"));
    EXPECT_GE(readings.size(), 60u) << ReadBytes(Dir() / "heard");
    // Every reading of the steady tone is in tune, but one that spans a break in the sound
    // itself: a gap the sink's recording shows, where a loaded machine's server ran short of
    // the player's frames, or input the listener lost (which it says).
    const bool sound_broke =
        ToneWithGaps(sounding_, Rendered(82.406891f, 8 * kRate)).gap_samples > 0 ||
        Has(err, "Overrun");
    size_t off = 0;
    double worst = 0;
    for (const HeardReading& r : readings) {
        // The first readings rest on frames of a few periods: within 1 cent, then 0.1.
        const bool in_tune = r.note == "E2" && std::abs(r.cents) <= (r.time < 0.2 ? 1 : 0.1);
        off += in_tune ? 0 : 1;
        EXPECT_TRUE(in_tune || sound_broke) << r.time << " s: " << r.hz << " Hz " << r.note;
        worst = std::max(worst, std::abs(r.cents));
    }
    // A break spoils only the readings whose window spans it: most are in tune whatever.
    EXPECT_LT(off * 2, readings.size()) << off << " of " << readings.size() << " off";
    std::printf("%s: %zu readings in 3 s, the furthest %.3f cents from E2, %.0f wake-ups a "
                "second, CPU %.3f s\n",
                NameOf(GetParam()).c_str(), readings.size(), worst,
                static_cast<double>(listened.wakeups) / 3, listened.cpu_seconds);
}

// A WAV file of 32-bit floats, channel c a sine of hz[c] at a quarter of full scale.
void WriteChannelsWav(const fs::path& path, const std::vector<double>& hz, int seconds) {
    auto le = [](uint32_t value, int bytes) {
        std::string text;
        for (int i = 0; i < bytes; ++i) {
            text += static_cast<char>(value >> (8 * i) & 0xff);
        }
        return text;
    };
    const auto channels = static_cast<uint32_t>(hz.size());
    const uint32_t data = seconds * kRate * channels * 4;
    std::ofstream file(path, std::ios::binary);
    file << "RIFF" << le(36 + data, 4) << "WAVEfmt " << le(16, 4) << le(3, 2) << le(channels, 2)
         << le(kRate, 4) << le(kRate * channels * 4, 4) << le(channels * 4, 2) << le(32, 2)
         << "data" << le(data, 4);
    for (uint32_t i = 0; i < seconds * kRate; ++i) {
        for (const double f : hz) {
            const auto x = static_cast<float>(0.25 * std::sin(2 * M_PI * f * i / kRate));
            file.write(reinterpret_cast<const char*>(&x), sizeof x);
        }
    }
}

// --channel on a server's device hears that channel of the source alone: a sink of four
// channels carries E2, A2, D3 and G3, one on each, and a listener to its monitor hears the
// note of the channel it chose. The server folds whatever channels a stream lacks into those
// it has: the first alone was the mix of all four, and the third a mix too.
TEST_P(SoundServerPath, ChannelHearsThatChannelOfTheSinkAlone) {
    const bool pulse = GetParam() == Server::PulseAudio;
    for (const char* program : {pulse ? "pactl" : "pw-cli", pulse ? "paplay" : "pw-play"}) {
        if (!OnPath(program)) {
            GTEST_SKIP() << program << " is not installed";
        }
    }
    const std::vector<std::string> sink =
        pulse ? std::vector<std::string>{"pactl",
                                         "load-module",
                                         "module-null-sink",
                                         "sink_name=quad",
                                         "format=float32le",
                                         "rate=44100",
                                         "channels=4",
                                         "channel_map=front-left,front-right,rear-left,rear-right"}
              : std::vector<std::string>{
                    "pw-cli", "create-node", "adapter",
                    "{ factory.name = support.null-audio-sink node.name = quad media.class = "
                    "Audio/Sink audio.format = F32LE audio.rate = 44100 audio.channels = 4 "
                    "audio.position = [ FL FR RL RR ] object.linger = true }"};
    ASSERT_EQ(Wait(Start(sink, "/dev/null", Dir() / "sink.out", Dir() / "sink.err"), 20s).status, 0)
        << ReadBytes(Dir() / "sink.err");
    const char* notes[] = {"E2", "A2", "D3", "G3"};
    WriteChannelsWav(Dir() / "four.wav", {82.406889, 110, 146.832384, 195.997718}, 60);
    const Child player =
        Start(pulse ? std::vector<std::string>{"paplay", "-d", "quad",
                                               "--channel-map=front-left,front-right,rear-left,"
                                               "rear-right",
                                               (Dir() / "four.wav").string()}
                    : std::vector<std::string>{"pw-play", "--target", "quad", "--channel-map",
                                               "FL,FR,RL,RR", (Dir() / "four.wav").string()},
              "/dev/null", "/dev/null", Dir() / "player.err");
    for (int channel = 1; channel <= 4; ++channel) {
        const std::string heard = "heard" + std::to_string(channel);
        const Finished listened = Wait(
            Start(ListenCommand(GetParam(), {"default", "3", "--channel", std::to_string(channel)},
                                "quad"),
                  "/dev/null", Dir() / heard, Dir() / "listen.err"),
            20s);
        const std::string err = ReadBytes(Dir() / "listen.err");
        EXPECT_EQ(listened.status, 0) << channel << ": " << err;
        const std::vector<HeardReading> readings = Readings(ReadBytes(Dir() / heard));
        // The player may start late on a loaded machine, but a second of the note is heard.
        EXPECT_GE(readings.size(), 20u) << channel << ": " << err << ReadBytes(Dir() / heard)
                                        << ReadBytes(Dir() / "player.err");
        for (const HeardReading& r : readings) {
            EXPECT_EQ(r.note, notes[channel - 1])
                << "channel " << channel << " at " << r.time << " s: " << r.hz << " Hz";
        }
    }
    kill(player.pid, SIGKILL);
    Wait(player, 5s);
}

// Wake-ups of listening, threads included (voluntary context switches), at most one a
// reading more than arecord's own on the same device for as long, start-ups and all. Without
// the sink's recorder, whose short latency would set the pace of every capture of the
// monitor; and one after the other, as a second capture of the monitor would set it too.
// Periods of one reading woke 110 to 136 times a second on PulseAudio, against arecord's 50 to
// 77 and 39 readings.
struct WakeUps {
    double readings = 0, listening = 0, arecord = 0; // a second
};

WakeUps MeasureWakeUps(Server kind, const std::filesystem::path& dir) {
    const Finished listened = Wait(Start(ListenCommand(kind, {"default", "6"}), "/dev/null",
                                         dir / "heard", dir / "listen.err"),
                                   20s);
    std::vector<std::string> arecord{"env"};
    for (const std::string& word : SinkMonitorEnvironment(kind)) {
        arecord.push_back(word);
    }
    arecord.insert(arecord.end(), {"arecord", "-q", "-D", "default", "-f", "S16_LE", "-r", "44100",
                                   "-c", "1", "-d", "6", "/dev/null"});
    const Finished recorded =
        Wait(Start(arecord, "/dev/null", dir / "arecord.out", dir / "arecord.err"), 20s);
    EXPECT_EQ(listened.status, 0) << ReadBytes(dir / "listen.err");
    EXPECT_EQ(recorded.status, 0) << ReadBytes(dir / "arecord.err");
    return {static_cast<double>(Readings(ReadBytes(dir / "heard")).size()) / 6,
            static_cast<double>(listened.wakeups) / 6, static_cast<double>(recorded.wakeups) / 6};
}

TEST_P(SoundServerPath, ListeningWakesAtMostOnceAReadingMoreThanArecord) {
    if (!OnPath("arecord")) {
        GTEST_SKIP() << "arecord is not installed (alsa-utils)";
    }
    StopRecording();
    const Child player =
        Start({ONDELIS_BINARY, "G6", "30", "default"}, "/dev/null", Dir() / "out", Dir() / "err");
    std::this_thread::sleep_for(500ms);
    // A tenth more for the scatter of a loaded machine from one run to the next; and a second
    // pair of runs where the first pair was taken apart by the load, as a fault wakes as often
    // in both.
    WakeUps measured;
    for (int run = 0; run < 2; ++run) {
        measured = MeasureWakeUps(GetParam(), Dir());
        std::printf("%s: %.1f wake-ups a second of listening for %.1f readings; arecord %.1f\n",
                    NameOf(GetParam()).c_str(), measured.listening, measured.readings,
                    measured.arecord);
        if (measured.listening <= 1.1 * (measured.readings + measured.arecord)) {
            break;
        }
    }
    kill(player.pid, SIGINT);
    Wait(player, 5s);
    EXPECT_GE(measured.readings, 35.0);
    EXPECT_LE(measured.listening, 1.1 * (measured.readings + measured.arecord));
}

TEST_P(SoundServerPath, ListeningEndsPromptlyAtCtrlCAndWithAnErrorWhenTheServerDies) {
    const Child stopped =
        Start(ListenCommand(GetParam(), {}), "/dev/null", Dir() / "heard", Dir() / "listen.err");
    ASSERT_TRUE(Listening());
    const auto pressed = std::chrono::steady_clock::now();
    kill(stopped.pid, SIGINT);
    EXPECT_EQ(Wait(stopped, 5s).status, 128 + SIGINT) << ReadBytes(Dir() / "listen.err");
    const double after_ctrl_c = SecondsSince(pressed);
    EXPECT_LT(after_ctrl_c, kStopSeconds);

    fs::remove(Dir() / "listen.err"); // so that the last listener's words do not count
    const Child orphaned = Start(ListenCommand(GetParam(), {"default", "30"}), "/dev/null",
                                 Dir() / "heard", Dir() / "listen.err");
    ASSERT_TRUE(Listening());
    const auto killed = std::chrono::steady_clock::now();
    server_->Stop();
    const Finished finished = Wait(orphaned, 10s);
    const double after_death = SecondsSince(killed);
    const std::string err = ReadBytes(Dir() / "listen.err");
    EXPECT_EQ(finished.status, 1) << err;
    EXPECT_TRUE(Has(err, "Capture failed: ")) << err;
    std::printf("%s: listening ended %.3f s after Ctrl-C, %.2f s after the server's death: %s",
                NameOf(GetParam()).c_str(), after_ctrl_c, after_death, err.c_str());
}

// A server frozen by SIGSTOP answers nothing, the opening and the close of its device
// included: listening still ends with an error within 5 s, and a signal ends it within half a
// second.
TEST_P(SoundServerPath, AFrozenServerCannotKeepListeningAlive) {
    // Frozen before the device is opened: PulseAudio's plugin waited half a minute for it.
    server_->Signal(SIGSTOP);
    for (const int signal : {0, SIGINT, SIGTERM}) {
        const Child opening = Start(ListenCommand(GetParam(), {"default", "30"}), "/dev/null",
                                    Dir() / "heard", Dir() / "listen.err");
        ASSERT_TRUE(Opening(opening));
        const auto start = std::chrono::steady_clock::now();
        if (signal != 0) {
            kill(opening.pid, signal);
        }
        const Finished opened = Wait(opening, 20s);
        const double seconds = SecondsSince(start);
        const std::string err = ReadBytes(Dir() / "listen.err");
        if (signal != 0) {
            EXPECT_EQ(opened.status, 128 + signal) << err;
            EXPECT_LT(seconds, kStopSeconds) << signal << err;
        } else {
            EXPECT_EQ(opened.status, 1) << err;
            EXPECT_TRUE(Has(err, "Cannot listen to 'default': ") || Has(err, "Capture failed: "))
                << err;
            EXPECT_LT(seconds, 10.0) << err;
        }
        std::printf("%s: opening on a frozen server: signal %d, exit %d %.3f s after it: %s\n",
                    NameOf(GetParam()).c_str(), signal, opened.status, seconds, err.c_str());
    }
    server_->Signal(SIGCONT);

    const Child frozen = Start(ListenCommand(GetParam(), {"default", "30"}), "/dev/null",
                               Dir() / "heard", Dir() / "listen.err");
    ASSERT_TRUE(Listening());
    server_->Signal(SIGSTOP);
    const auto stopped = std::chrono::steady_clock::now();
    const Finished finished = Wait(frozen, 15s);
    const double after_freeze = SecondsSince(stopped);
    std::string err = ReadBytes(Dir() / "listen.err");
    EXPECT_EQ(finished.status, 1) << err;
    EXPECT_TRUE(Has(err, "Capture failed: ")) << err;

    server_->Signal(SIGCONT);
    for (const int signal : {SIGINT, SIGTERM}) {
        fs::remove(Dir() / "listen.err");
        const Child stopped_by = Start(ListenCommand(GetParam(), {}), "/dev/null", Dir() / "heard",
                                       Dir() / "listen.err");
        ASSERT_TRUE(Listening());
        server_->Signal(SIGSTOP);
        std::this_thread::sleep_for(500ms);
        const auto sent = std::chrono::steady_clock::now();
        kill(stopped_by.pid, signal);
        const Finished ended = Wait(stopped_by, 10s);
        const double after_signal = SecondsSince(sent);
        server_->Signal(SIGCONT);
        err = ReadBytes(Dir() / "listen.err");
        EXPECT_EQ(ended.status, 128 + signal) << err;
        EXPECT_LT(after_signal, kStopSeconds) << signal << err;
        std::printf("%s: frozen server: exit %d %.2f s after the freeze; by signal %d %.3f s "
                    "after it\n",
                    NameOf(GetParam()).c_str(), finished.status, after_freeze, signal,
                    after_signal);
    }
}

// At a terminal: one line drawn over and over in place, finished at the end so that the
// shell's prompt comes on a line of its own; UTF-8 glyphs only where the locale says UTF-8.
TEST_P(SoundServerPath, AtATerminalTheNeedleIsRedrawnInPlace) {
    const Child player =
        Start({ONDELIS_BINARY, "G6", "8", "default"}, "/dev/null", Dir() / "out", Dir() / "err");
    for (const char* locale : {"LANG=C.UTF-8", "LANG=C"}) {
        std::vector<std::string> environment = SinkMonitorEnvironment(GetParam());
        environment.insert(environment.end(), {locale, "LC_ALL=", "LC_CTYPE="});
        Terminal terminal = StartOnTerminal({ONDELIS_BINARY, "--listen"}, environment);
        ASSERT_TRUE(WaitFor(terminal, "E2 ", 10)) << terminal.screen;
        std::this_thread::sleep_for(1s);
        Type(terminal, "\x03");
        EXPECT_EQ(Finish(terminal, 5), 128 + SIGINT) << terminal.screen;
        const std::string& screen = terminal.screen;
        const size_t drawing = screen.find("Hz\r\n") + 4; // after "Listening to ... Hz"
        const std::string line = screen.substr(drawing);
        EXPECT_GE(Count(line, "\r"), 10u) << locale;           // redrawn
        EXPECT_EQ(Count(line, "\n"), 1u) << locale;            // never scrolled
        EXPECT_TRUE(EndsWith(line, "\r\n")) << locale << line; // finished at the end
        EXPECT_TRUE(Has(line, "82.41 Hz")) << line;
        const bool utf8 = std::string(locale) == "LANG=C.UTF-8";
        EXPECT_EQ(Has(line, "\xe2\x94\x80"), utf8) << locale << line; // the needle's rule
        EXPECT_EQ(Has(line, "[----"), !utf8) << locale << line;
    }
    kill(player.pid, SIGINT);
    Wait(player, 5s);
}

// Another instance plays `hz` into the sink while one listens at a terminal with `options`
// for `seconds`: what that terminal showed, in the C locale.
std::string ListenedAtATerminal(Server server, const std::string& hz,
                                const std::vector<std::string>& options, const char* seconds) {
    const Child player =
        Start({ONDELIS_BINARY, hz, "8", "default"}, "/dev/null", "/dev/null", "/dev/null");
    std::this_thread::sleep_for(300ms);
    std::vector<std::string> environment = SinkMonitorEnvironment(server);
    environment.insert(environment.end(), {"LANG=C", "LC_ALL=", "LC_CTYPE="});
    std::vector<std::string> command{ONDELIS_BINARY};
    command.insert(command.end(), options.begin(), options.end());
    command.insert(command.end(), {"--listen", "default", seconds});
    Terminal terminal = StartOnTerminal(command, environment);
    EXPECT_EQ(Finish(terminal, 20), 0) << terminal.screen;
    kill(player.pid, SIGINT);
    Wait(player, 5s);
    return terminal.screen;
}

// The strobe bands drawn, in order.
std::vector<std::string> StrobeBands(const std::string& screen) {
    std::vector<std::string> bands;
    for (size_t at = screen.find("c ["); at != std::string::npos; at = screen.find("c [", at + 1)) {
        const std::string band = screen.substr(at + 3, 32);
        if (band.size() == 32 && band.find_first_not_of("#.") == std::string::npos) {
            bands.push_back(band);
        }
    }
    return bands;
}

// Cells the pattern moved to the right (left when negative) from band to band, added up:
// each step the round shift, of at most 3 cells, that lays one band on the next.
int StrobeDrift(const std::vector<std::string>& bands) {
    int drift = 0;
    for (size_t i = 1; i < bands.size(); ++i) {
        for (int shift = -3; shift <= 3; ++shift) {
            const size_t cut = static_cast<size_t>((32 - shift) % 32);
            if (bands[i - 1].substr(cut) + bands[i - 1].substr(0, cut) == bands[i]) {
                drift += shift;
                break;
            }
        }
    }
    return drift;
}

// A strobe stands still for a tone in tune, and drifts 8 cells a second right for a tone a
// cent sharp, left for one a cent flat.
TEST_P(SoundServerPath, TheStrobeStandsStillInTuneAndDriftsTheWayThePitchIsOff) {
    const struct {
        const char* hz;
        int least;
        int most;
    } rows[] = {
        {"82.4069", -2, 2},   // E2
        {"82.4545", 6, 30},   // a cent sharp: about 13 cells in 1.7 s
        {"82.3593", -30, -6}, // a cent flat
    };
    for (const auto& row : rows) {
        const std::string screen = ListenedAtATerminal(GetParam(), row.hz, {"--strobe"}, "2");
        const std::vector<std::string> bands = StrobeBands(screen);
        EXPECT_GE(bands.size(), 20u) << row.hz << screen;
        const int drift = StrobeDrift(bands);
        EXPECT_GE(drift, row.least) << row.hz;
        EXPECT_LE(drift, row.most) << row.hz;
        std::printf("%s: %s Hz, the strobe moved %d cells in %zu drawings\n",
                    NameOf(GetParam()).c_str(), row.hz, drift, bands.size());
    }
}

// A tone 2 cents sharp is in tune within --tolerance 3, and not within the default cent.
TEST_P(SoundServerPath, TheInTuneMarkFollowsTheTolerance) {
    const std::string sharp = "82.5021"; // E2 and 2 cents
    const std::string loose = ListenedAtATerminal(GetParam(), sharp, {"--tolerance", "3"}, "1.5");
    EXPECT_TRUE(Has(loose, "+2.0c [")) << loose;
    EXPECT_TRUE(Has(loose, "->82.41 Hz OK")) << loose;
    const std::string strict = ListenedAtATerminal(GetParam(), sharp, {}, "1.5");
    EXPECT_TRUE(Has(strict, "+2.0c [")) << strict;
    EXPECT_FALSE(Has(strict, "OK")) << strict;
}

// Two strings played in turn: the checklist under the needle keeps both, each in tune.
TEST_P(SoundServerPath, TheChecklistKeepsEveryStringPlayed) {
    std::vector<std::string> environment = SinkMonitorEnvironment(GetParam());
    environment.insert(environment.end(), {"LANG=C", "LC_ALL=", "LC_CTYPE="});
    Terminal terminal = StartOnTerminal(
        {ONDELIS_BINARY, "--instrument", "guitar", "--listen", "default", "5"}, environment);
    // Each string is played whole to a listener that listens already: on a loaded machine
    // the listener may take a while to start.
    ASSERT_TRUE(WaitFor(terminal, "Listening to", 20)) << terminal.screen;
    for (const char* string : {"G6", "G5"}) {
        Wait(Start({ONDELIS_BINARY, string, "1.5", "default"}, "/dev/null", "/dev/null",
                   "/dev/null"),
             10s);
    }
    EXPECT_EQ(Finish(terminal, 20), 0) << terminal.screen;
    const std::string& screen = terminal.screen;
    const std::string last = screen.substr(screen.rfind("\x1b[1A"));
    // Each with the cents it was last heard at, within the cent of the default tolerance.
    std::smatch strings;
    ASSERT_TRUE(std::regex_search(
        last, strings,
        std::regex("^G6 +([+-][0-9]+\\.[0-9])OK  G5 +([+-][0-9]+\\.[0-9])OK  G4   --",
                   std::regex::multiline)))
        << last;
    EXPECT_LE(std::abs(std::stod(strings[1])), 1.0) << last;
    EXPECT_LE(std::abs(std::stod(strings[2])), 1.0) << last;
    EXPECT_TRUE(EndsWith(screen, "\r\n")) << last;
}

// --summary of a device: two notes with silence between them are two lines, each as it ends.
TEST_P(SoundServerPath, ASummaryOfTheDeviceIsALineForEachNote) {
    // Long enough for both notes and their silences, however slowly a loaded machine starts
    // the players.
    std::vector<std::string> command = ListenCommand(GetParam(), {"default", "6"});
    command.insert(std::find(command.begin(), command.end(), "--listen"), "--summary");
    const Child listener = Start(command, "/dev/null", Dir() / "heard", Dir() / "listen.err");
    ASSERT_TRUE(WaitUntilFileHas(Dir() / "listen.err", "Listening to", 20s))
        << ReadBytes(Dir() / "listen.err");
    for (const char* note : {"E2", "A2"}) {
        Wait(Start({ONDELIS_BINARY, note, "1", "default"}, "/dev/null", "/dev/null", "/dev/null"),
             10s);
        std::this_thread::sleep_for(500ms);
    }
    ASSERT_EQ(Wait(listener, 20s).status, 0) << ReadBytes(Dir() / "listen.err");
    std::istringstream lines(ReadBytes(Dir() / "heard"));
    std::vector<std::string> notes;
    for (std::string line; std::getline(lines, line);) {
        double start = 0, end = 0, hz = 0, cents = 0, spread = 0;
        char note[8] = "";
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf\t%lf\t%lf\t%7s\t%lf\t%lf", &start, &end, &hz, note,
                              &cents, &spread),
                  6)
            << line;
        EXPECT_NEAR(end - start, 1, 0.2) << line;
        EXPECT_LT(std::abs(cents), 0.1) << line;
        EXPECT_LT(spread, 0.5) << line;
        notes.push_back(note);
    }
    EXPECT_EQ(notes, (std::vector<std::string>{"E2", "A2"})) << ReadBytes(Dir() / "heard");
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, SoundServerPath,
                         testing::Values(Server::PulseAudio, Server::PipeWire),
                         [](const testing::TestParamInfo<Server>& info) {
                             return NameOf(info.param);
                         });

} // namespace
