// Playback faults made on demand: the real binary runs with alsa_fault preloaded, plays into
// the ALSA file device, and the tests check what it says, how it ends and what reached the
// device.
#include "app/needle.h"
#include "support.h"
#include "synth/piano.h"
#include "synth/synth.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kDevice = "file:FILE=o.raw";
constexpr int kTimeoutSeconds = 20;

const std::string kSummary = "Ondelis Direct Mode\n\tSoundcard:\tfile:FILE=o.raw\n"
                             "\tFrequency:\t440.00 Hz\n\tDuration:\t0.30 sec\n"
                             "\tLevel:\t25.00 percent\n";

// The 0.3 s tone of the direct-mode runs below.
const std::vector<unsigned char>& Tone() {
    static const std::vector<unsigned char> tone = PackedTone(440, 44100, 13230, 25);
    return tone;
}

struct FaultRun {
    RunResult run;
    double seconds = 0;
    std::string log; // the calls alsa_fault saw: "writen 2048 -32", "prepare 0", ...
};

// Runs the binary with the fault library preloaded and `faults` ("FAULT_WRITE=EIO:3 ...") in
// its environment.
FaultRun RunWithFaults(const std::string& faults, const std::vector<std::string>& args,
                       const std::string& input) {
    // The library is built with the sanitizers too in such builds; ASan then finds itself
    // after it in the load order, which is harmless here.
    const std::string environment = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}"
                                    "verify_asan_link_order=0 FAULT_LOG=fault.log "
                                    "LD_PRELOAD=" ALSA_FAULT_LIBRARY " " +
                                    faults;
    const auto start = std::chrono::steady_clock::now();
    FaultRun result;
    result.run = RunOndelis(args, input, kTimeoutSeconds, environment);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.log = ReadBytes("fault.log");
    return result;
}

// Direct mode with the 0.3 s tone.
FaultRun Direct(const std::string& faults) {
    return RunWithFaults(faults, {"440", "0.3", kDevice}, "");
}

FaultRun Menu(const std::string& faults, const std::string& input) {
    return RunWithFaults(faults, {}, input);
}

long Recorded() {
    return FirstStereoMismatch(ReadBytes("o.raw"), Tone());
}

TEST(FaultLibrary, WithoutFaultsEveryCallReachesAlsa) {
    // Also proves the library is loaded: every other test relies on its log.
    ScratchDir dir;
    const FaultRun f = Direct("");
    EXPECT_EQ(f.run.status, 0);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "");
    EXPECT_EQ(Recorded(), -1);
    EXPECT_GT(Count(f.log, "writen "), 0u) << f.log;
    EXPECT_EQ(Count(f.log, "drain 0\n"), 1u) << f.log;
    EXPECT_EQ(Count(f.log, "prepare"), 0u) << f.log;
}

TEST(Recovery, UnderrunIsReportedAndTheFailedFramesAreSentAgain) {
    // On the first write, on a later one, and seen by avail instead of a write.
    for (const char* fault :
         {"FAULT_WRITE=EPIPE:1:1", "FAULT_WRITE=EPIPE:3:1", "FAULT_AVAIL=EPIPE:2:1"}) {
        ScratchDir dir;
        const FaultRun f = Direct(fault);
        EXPECT_EQ(f.run.status, 0) << fault;
        EXPECT_EQ(f.run.out, kSummary + "RX\n") << fault;
        EXPECT_EQ(f.run.err, "") << fault;
        EXPECT_EQ(Recorded(), -1) << fault;
        EXPECT_EQ(Count(f.log, "prepare 0\n"), 1u) << fault << "\n" << f.log;
    }
}

TEST(Recovery, UnderrunsSpreadOverALongToneAreEachRecovered) {
    // Twelve underruns, each after some frames went through: more than the run of recoveries
    // without progress that ends playback, which therefore must count only such a run.
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_WRITE_MAX=256 FAULT_WRITE=EPIPE:2:12:3");
    EXPECT_EQ(f.run.status, 0) << f.run.err;
    EXPECT_EQ(Count(f.run.out, "RX\n"), 12u);
    EXPECT_EQ(f.run.err, "");
    EXPECT_EQ(Recorded(), -1);
}

TEST(Recovery, UnderrunAsTheToneEndsIsNoFailure) {
    // The device ran dry after the last frame, so it played everything it held.
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_DRAIN=EPIPE");
    EXPECT_EQ(f.run.status, 0);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "");
    EXPECT_EQ(Recorded(), -1);
    EXPECT_EQ(Count(f.log, "drain -32\n"), 1u) << f.log;
}

TEST(Recovery, SuspendResumesOrStartsAgainFromPrepare) {
    {
        ScratchDir dir;
        const FaultRun f = Direct("FAULT_WRITE=ESTRPIPE:2:1 FAULT_RESUME=EAGAIN:1:3");
        EXPECT_EQ(f.run.status, 0);
        EXPECT_EQ(f.run.out, kSummary);
        EXPECT_EQ(f.run.err, "");
        EXPECT_EQ(Recorded(), -1);
        EXPECT_EQ(Count(f.log, "resume -11\n"), 3u) << f.log;
        EXPECT_EQ(Count(f.log, "resume 0\n"), 1u) << f.log;
        EXPECT_EQ(Count(f.log, "prepare"), 0u) << f.log;
    }
    {
        // A device that cannot resume in place.
        ScratchDir dir;
        const FaultRun f = Direct("FAULT_WRITE=ESTRPIPE:2:1 FAULT_RESUME=ENOSYS");
        EXPECT_EQ(f.run.status, 0);
        EXPECT_EQ(f.run.out, kSummary);
        EXPECT_EQ(f.run.err, "");
        EXPECT_EQ(Recorded(), -1);
        EXPECT_TRUE(Has(f.log, "resume -38\nprepare 0\n")) << f.log;
    }
}

// The frame counts of the logged writes of one kind ("writen" or "writei").
std::vector<long> WriteSizes(const std::string& log, const std::string& call) {
    std::vector<long> sizes;
    for (size_t at = log.find(call + " "); at != std::string::npos;
         at = log.find(call + " ", at + 1)) {
        sizes.push_back(std::stol(log.substr(at + call.size() + 1)));
    }
    return sizes;
}

TEST(Recovery, ShortWritesStillDeliverEveryFrame) {
    struct Case {
        const char* faults;
        const char* call;
        long most;
    };
    for (const Case& c :
         {Case{"FAULT_WRITE_MAX=1", "writen", 1}, Case{"FAULT_WRITE_MAX=300", "writen", 300},
          Case{"FAULT_WRITE_MAX=300 FAULT_INTERLEAVED_ONLY=1", "writei", 300}}) {
        ScratchDir dir;
        const FaultRun f = Direct(c.faults);
        EXPECT_EQ(f.run.status, 0) << c.faults;
        EXPECT_EQ(f.run.out, kSummary) << c.faults;
        EXPECT_EQ(Recorded(), -1) << c.faults;
        const std::vector<long> sizes = WriteSizes(f.log, c.call);
        EXPECT_GE(sizes.size(), static_cast<size_t>(13230 / c.most)) << c.faults;
        for (long size : sizes) {
            ASSERT_LE(size, c.most) << c.faults;
        }
    }
}

TEST(DeviceSettings, AnotherRateIsAnnouncedAndPlaybackGoesOn) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_RATE=48000");
    EXPECT_EQ(f.run.status, 0);
    EXPECT_EQ(f.run.out, kSummary +
                             "Warning Soundcard Did Not Return Requested Samplerate...this will "
                             "affect tuning\nSamplerate = 48000\n");
    EXPECT_EQ(f.run.err, "");
    EXPECT_EQ(Recorded(), -1);
}

TEST(DeviceSettings, MenuKeepsTheGrantedRateForTheNextTone) {
    ScratchDir dir;
    const FaultRun f = Menu("FAULT_RATE=48000", "s file:FILE=o.raw\nl 0.1\np\nx\n");
    EXPECT_EQ(f.run.status, 0);
    EXPECT_EQ(f.run.err, "");
    const std::string& out = f.run.out;
    const size_t warning = out.find("Warning Soundcard Did Not Return Requested Samplerate...this "
                                    "will affect tuning\nSamplerate = 48000\n");
    ASSERT_NE(warning, std::string::npos) << out;
    EXPECT_EQ(out.find("Enter 'r' to change the samplerate from 48000\n"),
              out.find("Enter 'r'", warning))
        << out;
    EXPECT_FALSE(Has(out.substr(warning), "from 44100")) << out;
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("o.raw"), PackedTone(440, 44100, 4410, 25)), -1);

    // The next tone is made for the granted rate, which the device then grants silently.
    ScratchDir again;
    const FaultRun twice = Menu("FAULT_RATE=48000", "s file:FILE=o.raw\nl 0.1\np\np\nx\n");
    EXPECT_EQ(twice.run.status, 0);
    EXPECT_EQ(Count(twice.run.out, "Samplerate = 48000\n"), 1u) << twice.run.out;
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("o.raw"), PackedTone(440, 48000, 4800, 25)), -1);
}

TEST(DeviceSettings, RefusedFormatAsksForAnotherDevice) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_FORMAT=EINVAL");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.err, "Unable to set playback format: Invalid argument\n");
    EXPECT_EQ(f.run.out, kSummary + "Try a different soundcard device name.\n");
    EXPECT_EQ(ReadBytes("o.raw"), "");
    EXPECT_EQ(Count(f.log, "write"), 0u) << f.log;
}

TEST(DeviceSettings, InterleavedOnlyDeviceGetsTheToneInBothChannels) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_INTERLEAVED_ONLY=1");
    EXPECT_EQ(f.run.status, 0);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "");
    EXPECT_EQ(Recorded(), -1);
    EXPECT_GT(Count(f.log, "writei "), 0u) << f.log;
    EXPECT_EQ(Count(f.log, "writen "), 0u) << f.log;
}

TEST(DeviceSettings, RefusedHardwareParametersEndTheProgram) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_HW_PARAMS=EINVAL");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "unable to set hw parameters: Invalid argument\n");
    EXPECT_EQ(ReadBytes("o.raw"), "");
}

TEST(Failures, DeviceFailingMidToneEndsPromptly) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_WRITE=EIO:3");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "Playback failed: Input/output error\n");
    EXPECT_EQ(Count(f.log, " -5\n"), 1u) << f.log; // not written again
}

TEST(Failures, LostSoundServerEndsAfterOneUnderrun) {
    // Through the pulse plugin a dead server looks like an underrun whose prepare fails.
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_WRITE=EPIPE:3 FAULT_PREPARE=EIO");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.out, kSummary + "RX\n");
    EXPECT_EQ(f.run.err, "Playback failed: Input/output error\n");
    EXPECT_EQ(Count(f.log, "prepare -5\n"), 1u) << f.log;
}

TEST(Failures, UnderrunsThatNeverClearEndInsteadOfSpinning) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_WRITE=EPIPE:3");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.err, "Playback failed: Broken pipe\n");
    const size_t underruns = Count(f.run.out, "RX\n");
    EXPECT_GE(underruns, 1u);
    EXPECT_LE(underruns, 10u);
}

TEST(Failures, PersistentAvailErrorIsReported) {
    const std::pair<const char*, const char*> cases[] = {
        {"FAULT_AVAIL=EBADFD", "Playback failed: File descriptor in bad state\n"},
        {"FAULT_AVAIL=ENODEV:2", "Playback failed: No such device\n"}};
    for (const auto& [fault, message] : cases) {
        ScratchDir dir;
        const FaultRun f = Direct(fault);
        EXPECT_EQ(f.run.status, 1) << fault;
        EXPECT_EQ(f.run.out, kSummary) << fault;
        EXPECT_EQ(f.run.err, message) << fault;
    }
}

constexpr char kStalled[] = "Playback failed: the device took no audio for 5 seconds\n";

TEST(Failures, DeviceThatTakesNoAudioIsGivenUpAfterFiveSeconds) {
    // Never room in the buffer: the program sleeps on the device half a second at a time, and
    // gives up once ten such waits found no room. Its clock skips each wait.
    {
        ScratchDir dir;
        const FaultRun f = Direct("FAULT_NO_ROOM=1 FAULT_FAST_WAITS=1");
        EXPECT_EQ(f.run.status, 1);
        EXPECT_EQ(f.run.out, kSummary);
        EXPECT_EQ(f.run.err, kStalled);
        EXPECT_EQ(Count(f.log, "wait 0\n"), 10u) << f.log;
        EXPECT_EQ(Count(f.log, "wait "), 10u) << f.log;
    }
    // Room that every write leaves untouched, on the real clock: not given up sooner.
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_WRITE_MAX=0");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, kStalled);
    EXPECT_GT(f.seconds, 4.5);
}

TEST(Failures, DrainFailureIsReported) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_DRAIN=EIO");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "Playback failed: Input/output error\n");
    EXPECT_EQ(Count(f.log, "drain -5\n"), 1u) << f.log;
}

TEST(Failures, MenuEndsWhenTheDeviceFailsMidTone) {
    ScratchDir dir;
    const FaultRun f = Menu("FAULT_WRITE=EIO:2", "s file:FILE=o.raw\nl 0.3\np\nx\n");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.err, "Playback failed: Input/output error\n");
    // The failure ends the program: no menu after the tone.
    const std::string tail = "Frequency = 440.00 Hz\n";
    ASSERT_GE(f.run.out.size(), tail.size());
    EXPECT_EQ(f.run.out.substr(f.run.out.size() - tail.size()), tail);
}

// The 0.3 s tone's samples, for finding its zero crossings.
std::vector<int32_t> ToneSamples() {
    std::vector<int32_t> samples(13230);
    MakeTone(samples.data(), 440, 44100, 13230, 25);
    return samples;
}

// The frames the device received end the tone at its first frame `n` or after, where a
// cycle closes: the rising zero crossing lies between the last frame and the next.
void ExpectEndsWhereACycleCloses(long n, long cycle_frames) {
    static const std::vector<int32_t> samples = ToneSamples();
    const std::string played = ReadBytes("o.raw");
    const long end = static_cast<long>(played.size() / 6);
    EXPECT_GE(end, n);
    EXPECT_LE(end - n, cycle_frames);
    EXPECT_LE(samples[static_cast<size_t>(end)], 0) << end;
    EXPECT_GT(samples[static_cast<size_t>(end) + 1], 0) << end;
    EXPECT_EQ(FirstStereoMismatch(
                  played, std::vector<unsigned char>(Tone().begin(), Tone().begin() + 3 * end)),
              -1);
}

TEST(Stop, SignalEndsTheToneWhereTheCycleInProgressCloses) {
    // 440 Hz at 44100 Hz: a cycle is 100.2 frames. Mid-cycle, on the first frame, and just
    // as a cycle closes (frame 5011 begins the 51st).
    for (long n : {5000L, 1L, 5011L}) {
        ScratchDir dir;
        const FaultRun f = Direct("FAULT_SIGNAL_AT=" + std::to_string(n));
        EXPECT_EQ(f.run.status, 128 + SIGINT) << n; // ended by the signal, as a shell sees it
        EXPECT_EQ(f.run.out, kSummary) << n;
        EXPECT_EQ(f.run.err, "") << n;
        ExpectEndsWhereACycleCloses(n, 100);
        EXPECT_EQ(Count(f.log, "drain 0\n"), 1u) << f.log; // what the device holds is played
    }
    {
        ScratchDir dir;
        EXPECT_EQ(Direct("FAULT_SIGNAL_AT=5000:TERM").run.status, 128 + SIGTERM);
        ExpectEndsWhereACycleCloses(5000, 100);
    }
    {
        // A tone that plays until stopped stops the same way.
        ScratchDir dir;
        const FaultRun f = RunWithFaults("FAULT_SIGNAL_AT=5000", {"440", "inf", kDevice}, "");
        EXPECT_EQ(f.run.status, 128 + SIGINT);
        EXPECT_TRUE(Has(f.run.out, "\tDuration:\tinf sec\n")) << f.run.out;
        ExpectEndsWhereACycleCloses(5000, 100);
    }
    {
        // In the silence after the last whole cycle there is nothing to wait for.
        ScratchDir dir;
        EXPECT_EQ(Direct("FAULT_SIGNAL_AT=13200").run.status, 128 + SIGINT);
        EXPECT_EQ(ReadBytes("o.raw").size(), 13200u * 6);
    }
}

// Stops a tone of direct mode with a signal at frame 5001; returns the frames the device got.
size_t FramesUntilStopped(const char* hz) {
    ScratchDir dir;
    EXPECT_EQ(RunWithFaults("FAULT_SIGNAL_AT=5001", {hz, "0.3", kDevice}, "").run.status,
              128 + SIGINT)
        << hz;
    return ReadBytes("o.raw").size() / 6;
}

TEST(Stop, ToneStopsAtTheCloseOfTheCycleItSoundsWith) {
    // -440 Hz sounds as 440 Hz, and anything above half the rate as half the rate, whose
    // cycle is two frames.
    const std::pair<const char*, const char*> cases[] = {{"-440", "440"}, {"44000", "22050"}};
    for (const auto& [given, sounding] : cases) {
        const size_t heard = FramesUntilStopped(sounding);
        EXPECT_GT(heard, 5001u) << sounding; // on to the end of the cycle
        EXPECT_EQ(FramesUntilStopped(given), heard) << given;
    }
}

// The left channel of what the device received (stereo S24_3LE), as signed samples.
std::vector<long> PlayedSamples() {
    const std::string played = ReadBytes("o.raw");
    std::vector<long> samples;
    for (size_t i = 0; i + 6 <= played.size(); i += 6) {
        const auto byte = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<unsigned char>(played[i + at]));
        };
        samples.push_back(static_cast<int32_t>((byte(0) | byte(1) << 8 | byte(2) << 16) << 8) >> 8);
    }
    return samples;
}

// The largest step from one sample to the next over samples[from .. to), and from the last to
// the silence after it when `to` is the end.
long LargestStep(const std::vector<long>& samples, size_t from, size_t to) {
    long largest = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to; ++i) {
        largest = std::max(largest, std::labs(samples[i] - samples[i - 1]));
    }
    return to == samples.size() && to > 0 ? std::max(largest, std::labs(samples[to - 1])) : largest;
}

TEST(Stop, EveryPartialEndsWithoutAStepHoweverTheToneIsStopped) {
    // A pure sine, whole multiples and a piano string's stretched partials: every partial must
    // reach a zero crossing of its own after the stop, so that from the stop on no step is
    // larger than the tone's own largest, but for the last frame, which may lie up to two
    // frames' phase before the crossing (a partial cut mid-phase steps by its height).
    const std::vector<MeasuredKey> piano = {
        {1, 27.5, 2.5e-4, 20}, {40, 261.6, 4e-4, 12}, {64, 1046, 3.4e-3, 4}, {88, 4186, 2e-2, 2}};
    const struct {
        std::vector<std::string> args;
        long cycle; // frames of the first partial's cycle, at most
    } rows[] = {
        {{"55", "inf", kDevice}, 802},
        {{"--harmonics", "8", "55", "inf", kDevice}, 802},
        {{"--piano", "piano.txt", "--harmonics", "8", "a0", "inf", kDevice}, 1604},
        {{"--piano", "piano.txt", "--harmonics", "16", "a1", "inf", kDevice}, 802},
        {{"--piano", "piano.txt", "--harmonics", "8", "a0", "2", kDevice}, 1604},
    };
    for (const auto& row : rows) {
        for (long at : {20000L, 30011L}) {
            ScratchDir dir;
            std::ofstream("piano.txt") << FormatPianoFile(piano);
            const FaultRun f = RunWithFaults("FAULT_SIGNAL_AT=" + std::to_string(at), row.args, "");
            std::string name = "at " + std::to_string(at) + ":";
            for (const std::string& arg : row.args) {
                name += " " + arg;
            }
            EXPECT_EQ(f.run.status, 128 + SIGINT) << name << "\n" << f.run.err;
            const std::vector<long> samples = PlayedSamples();
            const auto stop = static_cast<size_t>(at);
            ASSERT_GE(samples.size(), stop) << name;
            EXPECT_LE(samples.size() - stop, static_cast<size_t>(row.cycle)) << name;
            const long own = LargestStep(samples, 0, stop);
            EXPECT_GT(own, 0) << name;
            EXPECT_LE(LargestStep(samples, stop, samples.size()), 2 * own) << name;
        }
    }
}

// The menu at a terminal, with a signal due at frame 5000 of the first tone.
Terminal MenuOnTerminal(const std::string& signal_at) {
    return StartOnTerminal({ONDELIS_BINARY},
                           {"LD_PRELOAD=" ALSA_FAULT_LIBRARY, "FAULT_SIGNAL_AT=" + signal_at,
                            "ASAN_OPTIONS=verify_asan_link_order=0"});
}

TEST(Stop, PipedMenuEndsAsInterruptedAndTheTerminalMenuComesBack) {
    const std::string session = "s file:FILE=o.raw\nl 0.3\np\n";
    {
        ScratchDir dir;
        const FaultRun f = Menu("FAULT_SIGNAL_AT=5000", session + "x\n");
        EXPECT_EQ(f.run.status, 128 + SIGINT);
        EXPECT_TRUE(EndsWith(f.run.out, "Frequency = 440.00 Hz\n")) << f.run.out;
        ExpectEndsWhereACycleCloses(5000, 100);
    }
    ScratchDir dir;
    Terminal terminal = MenuOnTerminal("5000");
    ASSERT_TRUE(WaitFor(terminal, "Enter 'x' to exit", 10)) << terminal.screen;
    Type(terminal, session);
    const bool stopped = WaitFor(terminal, "Tone stopped.\r\n", 10);
    const bool menu_again =
        WaitFor(terminal, "Enter 'x' to exit", 10, terminal.screen.rfind("Tone"));
    ExpectEndsWhereACycleCloses(5000, 100);
    // The stop was for that tone alone: the next one plays whole.
    Type(terminal, "p\nx\n");
    EXPECT_EQ(Finish(terminal, 10), 0) << terminal.screen;
    EXPECT_TRUE(stopped) << terminal.screen;
    EXPECT_TRUE(menu_again) << terminal.screen;
    EXPECT_EQ(Count(terminal.screen, "Tone stopped."), 1u) << terminal.screen;
    EXPECT_EQ(Recorded(), -1);
}

TEST(Stop, TerminateEndsEvenTheTerminalMenu) {
    // Only Ctrl-C is the player's; SIGTERM comes from the system, and the typed "x" is never read.
    ScratchDir dir;
    Terminal terminal = MenuOnTerminal("5000:TERM");
    ASSERT_TRUE(WaitFor(terminal, "Enter 'x' to exit", 10)) << terminal.screen;
    Type(terminal, "s file:FILE=o.raw\nl 0.3\np\nx\n");
    EXPECT_EQ(Finish(terminal, 10), 128 + SIGTERM) << terminal.screen;
    EXPECT_FALSE(Has(terminal.screen, "Tone stopped.")) << terminal.screen;
    ExpectEndsWhereACycleCloses(5000, 100);
}

TEST(Stop, ToneStartedWithCtrlCIgnoredPlaysToItsEnd) {
    // A background job of a shell without job control: Ctrl-C is meant for the shell.
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_SIGINT_IGNORED=1 FAULT_SIGNAL_AT=5000");
    EXPECT_EQ(f.run.status, 0);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(Recorded(), -1);
}

TEST(Stop, SecondSignalWhileTheToneEndsQuitsAtOnce) {
    // A device that never plays out what it holds must not keep the program waiting.
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_SIGNAL_AT=5000 FAULT_SIGNAL_IN_DRAIN=1");
    EXPECT_EQ(f.run.status, 128 + SIGINT);
    EXPECT_EQ(Count(f.log, "drain"), 0u) << f.log; // ended inside the drain, not after it
}

TEST(Stop, SignalCutsTheWaitForRoomShort) {
    // The wait the signal lands in ends there, not when its time is up; nothing was played.
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_NO_ROOM=1 FAULT_SIGNAL_IN_WAIT=2");
    EXPECT_EQ(f.run.status, 128 + SIGINT);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "");
    EXPECT_TRUE(EndsWith(f.log, "wait 0\nwait -1\ndrain 0\n")) << f.log;
    EXPECT_EQ(ReadBytes("o.raw"), "");
}

TEST(Stop, InterruptedCallsAreNoErrors) {
    ScratchDir dir;
    const FaultRun f = Direct("FAULT_WRITE=EINTR:2:1 FAULT_DRAIN=EINTR:1:1");
    EXPECT_EQ(f.run.status, 0);
    EXPECT_EQ(f.run.out, kSummary);
    EXPECT_EQ(f.run.err, "");
    EXPECT_EQ(Recorded(), -1);
    EXPECT_TRUE(Has(f.log, "drain -4\ndrain 0\n")) << f.log;
}

enum class Format { Float, S32, S16 };

// 3 s of A (440 Hz) at a quarter of full scale, mono, in `format`.
void WriteCapturedTone(Format format) {
    std::ofstream tone("tone.raw", std::ios::binary);
    for (int i = 0; i < 3 * 44100; ++i) {
        const double x = 0.25 * std::sin(2 * M_PI * 440 * i / 44100);
        const auto f = static_cast<float>(x);
        const auto s32 = static_cast<int32_t>(std::lround(x * 2147483647.0));
        const auto s16 = static_cast<int16_t>(std::lround(x * 32767.0));
        if (format == Format::Float) {
            tone.write(reinterpret_cast<const char*>(&f), sizeof f);
        } else if (format == Format::S32) {
            tone.write(reinterpret_cast<const char*>(&s32), sizeof s32);
        } else {
            tone.write(reinterpret_cast<const char*>(&s16), sizeof s16);
        }
    }
}

// Listening to a capture device that gives that tone from a file, as fast as it is read:
// ALSA's file plugin before its null device, in a private configuration. The device takes
// every format; the program asks for floats first, then S32_LE, then S16_LE.
FaultRun Listen(const std::string& faults, Format format = Format::Float) {
    WriteCapturedTone(format);
    // The system's configuration, its hooks (conf.d, which may name plugins that a cross
    // build's architecture lacks) replaced by the one device.
    const std::string devices = (std::filesystem::current_path() / "devices.conf").string();
    std::ofstream("alsa.conf") << "</usr/share/alsa/alsa.conf>\n@hooks [ { func load files [ \""
                               << devices << "\" ] } ]\n";
    std::ofstream(devices) << "pcm.tonein { type file slave.pcm null file \"/dev/null\" infile "
                              "\"tone.raw\" format raw }\n";
    return RunWithFaults("ALSA_CONFIG_PATH=alsa.conf " + faults, {"--listen", "tonein", "2"}, "");
}

// The times of the reading lines, each checked to name A in tune.
std::vector<double> ReadingTimes(const std::string& out) {
    std::vector<double> times;
    std::istringstream lines(out);
    double time = 0, hz = 0;
    std::string note, cents;
    while (lines >> time >> hz >> note >> cents) {
        EXPECT_EQ(note + " " + cents, "A4 +0.00") << time;
        times.push_back(time);
    }
    return times;
}

// A device that never answers, whatever signal comes (a sound server frozen by SIGSTOP, whose
// plugin waits for it in the open, the drain or the close), cannot keep the program: it ends
// with a line that says so, or by a stop signal that came, within the bounds of each wait.
TEST(Failures, ADeviceThatNeverAnswersCannotKeepTheProgram) {
    const struct {
        const char* faults;
        int status;
        const char* err;
        double most_seconds; // a hang limit
    } rows[] = {
        {"FAULT_DEAF=hw_params", 1,
         "Cannot play to 'file:FILE=o.raw': the device did not answer within 3 s (a sound "
         "server that is stopped or hung?)\n",
         10},
        {"FAULT_DEAF=drain", 1,
         "Playback failed: the device did not play out the end of the tone within 3 s\n", 10},
        {"FAULT_DEAF=close", 1, "Playback failed: the device did not answer when it was closed\n",
         10},
        {"FAULT_DEAF=drain FAULT_SIGNAL_AT=5000", 128 + SIGINT, "", 3},
        {"FAULT_DEAF=close FAULT_SIGNAL_AT=5000", 128 + SIGINT, "", 3},
        {"FAULT_DEAF=close FAULT_WRITE=EIO:1", 1, "Playback failed: Input/output error\n", 10},
    };
    for (const auto& row : rows) {
        ScratchDir dir;
        const FaultRun f = Direct(row.faults);
        EXPECT_EQ(f.run.status, row.status) << row.faults;
        EXPECT_EQ(f.run.out, kSummary) << row.faults;
        EXPECT_EQ(f.run.err, row.err) << row.faults;
        EXPECT_LT(f.seconds, row.most_seconds) << row.faults;
        std::printf("%s: exit %d after %.2f s\n", row.faults, f.run.status, f.seconds);
    }
    // Listening opens its device under the same watch.
    ScratchDir dir;
    const FaultRun f = Listen("FAULT_DEAF=hw_params");
    EXPECT_EQ(f.run.status, 1);
    EXPECT_EQ(f.run.err, "Cannot listen to 'tonein': the device did not answer within 3 s (a sound "
                         "server that is stopped or hung?)\n");
    EXPECT_LT(f.seconds, 10);
    std::printf("listening, FAULT_DEAF=hw_params: exit %d after %.2f s\n", f.run.status, f.seconds);
}

TEST(ListenRecovery, EachFormatADeviceOffersIsHeardInTune) {
    const std::pair<Format, const char*> rows[] = {
        {Format::Float, ""},
        {Format::S32, "FAULT_FORMAT=EINVAL:1:1"}, // no floats
        {Format::S16, "FAULT_FORMAT=EINVAL:1:2"}, // neither floats nor S32_LE
    };
    for (const auto& [format, faults] : rows) {
        ScratchDir dir;
        const FaultRun f = Listen(faults, format);
        EXPECT_EQ(f.run.status, 0) << faults << f.run.err;
        EXPECT_GT(ReadingTimes(f.run.out).size(), 60u) << faults;
    }
    ScratchDir dir;
    const FaultRun none = Listen("FAULT_FORMAT=EINVAL");
    EXPECT_EQ(none.run.status, 1);
    EXPECT_TRUE(Has(none.run.err, "Unable to set capture format: the device offers none of "
                                  "S16_LE, S32_LE and FLOAT_LE\n"))
        << none.run.err;
    // Standard output carries readings only, the hint included in standard error.
    EXPECT_EQ(none.run.out, "");
    EXPECT_TRUE(Has(none.run.err, "Try a different soundcard device name.\n")) << none.run.err;
}

TEST(ListenRecovery, AnotherRateIsNamedOnStandardErrorAmongNoReadings) {
    ScratchDir dir;
    const FaultRun f = Listen("FAULT_RATE=48000");
    EXPECT_EQ(f.run.status, 0) << f.run.err;
    EXPECT_TRUE(Has(f.run.err, "Listening at 48000 Hz, the rate the device takes\n")) << f.run.err;
    EXPECT_FALSE(Has(f.run.out, "Listening")) << f.run.out;
    std::istringstream lines(f.run.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(Count(line, "\t"), 3u) << line; // a reading, nothing else
    }
}

TEST(ListenRecovery, AnOverrunIsNotedAndNoReadingSpansTheGap) {
    ScratchDir dir;
    const std::vector<double> clean = ReadingTimes(Listen("").run.out);
    const FaultRun f = Listen("FAULT_READ=EPIPE:5:1");
    EXPECT_EQ(f.run.status, 0) << f.run.err;
    EXPECT_TRUE(Has(f.run.err, "Overrun: input was lost; listening goes on after the gap\n"))
        << f.run.err;
    EXPECT_EQ(Count(f.log, "prepare 0\n"), 1u) << f.log;
    const std::vector<double> times = ReadingTimes(f.run.out);
    // The readings go on after the gap, in the same count of time, but the listener begins
    // anew there: a pause of at least a hop and a third of one where the gap was (a new note's
    // first reading), then its readings, three a hop while it is young.
    ASSERT_GT(clean.size(), 60u);
    EXPECT_GT(times.size(), clean.size() / 2);
    double widest = 0;
    size_t after_gap = 0;
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GT(times[i], times[i - 1]);
        if (times[i] - times[i - 1] > widest) {
            widest = times[i] - times[i - 1];
            after_gap = i;
        }
    }
    EXPECT_GE(widest, 0.0329); // a hop and a third, as printed to the millisecond
    ASSERT_LT(after_gap + 1, times.size());
    EXPECT_LT(times[after_gap + 1] - times[after_gap], 0.01);
}

// Capture comes back from a suspend as playback does: resumed in place, tried again while the
// card is not ready, and prepared afresh only when it cannot resume at all.
TEST(ListenRecovery, SuspendResumesOrStartsAgainFromPrepare) {
    const struct {
        const char* faults;
        const char* log; // the calls, in order
        size_t prepares;
    } rows[] = {
        {"FAULT_READ=ESTRPIPE:5:1 FAULT_RESUME=EAGAIN:1:3",
         "resume -11\nresume -11\nresume -11\nresume 0\n", 0},
        {"FAULT_READ=ESTRPIPE:5:1 FAULT_RESUME=ENOSYS", "resume -38\nprepare 0\n", 1},
    };
    for (const auto& row : rows) {
        ScratchDir dir;
        const FaultRun f = Listen(row.faults);
        EXPECT_EQ(f.run.status, 0) << row.faults << f.run.err;
        EXPECT_TRUE(Has(f.log, row.log)) << row.faults << ": " << f.log;
        EXPECT_EQ(Count(f.log, "prepare"), row.prepares) << row.faults << ": " << f.log;
        EXPECT_GT(ReadingTimes(f.run.out).size(), 30u) << row.faults;
    }
}

TEST(ListenRecovery, AFailingDeviceEndsListeningWithStatusOne) {
    const struct {
        const char* faults;
        const char* why;
    } rows[] = {
        {"FAULT_READ=EIO:5:1", "Capture failed: Input/output error\n"},
        {"FAULT_READ=EPIPE:5 FAULT_PREPARE=ENODEV", "Capture failed: No such device\n"},
        // A device that overruns again and again without a frame between, as a sound server
        // that went away does.
        {"FAULT_READ=EPIPE:5", "Capture failed: input lost 3 times without a frame between\n"},
    };
    for (const auto& row : rows) {
        ScratchDir dir;
        const FaultRun f = Listen(row.faults);
        EXPECT_EQ(f.run.status, 1) << row.faults;
        EXPECT_TRUE(EndsWith(f.run.err, row.why)) << row.faults << ": " << f.run.err;
    }
}

// The device of Listen, for a script of RunShell's.
void WriteListenDevice() {
    WriteCapturedTone(Format::Float);
    const std::string devices = (std::filesystem::current_path() / "devices.conf").string();
    std::ofstream("alsa.conf") << "</usr/share/alsa/alsa.conf>\n@hooks [ { func load files [ \""
                               << devices << "\" ] } ]\n";
    std::ofstream(devices) << "pcm.tonein { type file slave.pcm null file \"/dev/null\" infile "
                              "\"tone.raw\" format raw }\n";
}

// Readings that standard output cannot take end listening at once, with a line on standard
// error that names why: a full device, a closed descriptor, a pipe whose reader has gone
// while SIGPIPE is ignored (as systemd starts services). Without SECONDS the device gives
// input until stopped.
TEST(ListenOutput, AFailingStandardOutputEndsListeningAtOnce) {
    ScratchDir dir;
    WriteListenDevice();
    const struct {
        const char* script;
        const char* why;
    } rows[] = {
        {"\"$ONDELIS\" --listen tonein >/dev/full", "No space left on device"},
        {"\"$ONDELIS\" --listen tonein 2 >/dev/full", "No space left on device"},
        // A summary's one line comes at the end, when the note ends.
        {"\"$ONDELIS\" --summary --listen tonein 2 >/dev/full", "No space left on device"},
        {"\"$ONDELIS\" --listen tonein >&-", "Bad file descriptor"},
        {"trap '' PIPE; { \"$ONDELIS\" --listen tonein; echo $? >status; } | head -1 "
         ">/dev/null; exit $(cat status)",
         "Broken pipe"},
    };
    for (const auto& row : rows) {
        const auto start = std::chrono::steady_clock::now();
        const RunResult run =
            RunShell("export ALSA_CONFIG_PATH=alsa.conf; " + std::string(row.script), 20);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE(Has(run.err, std::string("Cannot write the readings to standard output: ") +
                                     row.why + "\n"))
            << row.script << ": " << run.err;
        EXPECT_LT(seconds, 5.0) << row.script;
        EXPECT_EQ(run.status, 1) << row.script << run.err;
    }
}

// Listening to tonein (WriteListenDevice) at a terminal `columns` wide, with `environment`
// added and `args` after --listen; what the terminal showed once it ended by itself.
std::string ListenOnTerminal(const std::vector<std::string>& args,
                             std::vector<std::string> environment, unsigned short columns = 80) {
    environment.push_back("ALSA_CONFIG_PATH=alsa.conf");
    std::vector<std::string> command{ONDELIS_BINARY, "--listen"};
    command.insert(command.end(), args.begin(), args.end());
    Terminal terminal = StartOnTerminal(command, environment, columns);
    WaitFor(terminal, "never shown", 4);
    EXPECT_NE(Finish(terminal, 10), -1) << terminal.screen;
    return terminal.screen;
}

// The drawings of the needle's line, each from its "\r" on, after the line that says what
// is heard.
std::vector<std::string> Drawings(const std::string& screen) {
    std::vector<std::string> drawings;
    size_t at = screen.find("Hz\r\n");
    if (at == std::string::npos) {
        return drawings;
    }
    for (at += 4; at < screen.size();) {
        size_t next = screen.find('\r', at + 1);
        if (next == std::string::npos) {
            next = screen.size();
        }
        drawings.push_back(screen.substr(at, next - at));
        at = next;
    }
    return drawings;
}

TEST(ListenTerminal, TheNeedleIsDrawnWithinTheTerminalsWidth) {
    ScratchDir dir;
    WriteListenDevice();
    for (const unsigned short columns : {40, 100}) {
        const std::string screen = ListenOnTerminal({"tonein", "3"}, {"LANG=C.UTF-8"}, columns);
        EXPECT_TRUE(EndsWith(screen, "\r\n")) << screen;
        const std::vector<std::string> drawings = Drawings(screen);
        ASSERT_GT(drawings.size(), 10u) << screen;
        for (const std::string& drawing : drawings) {
            std::string text = drawing;
            for (const char* control : {"\r", "\n", "\x1b[K"}) {
                for (size_t at; (at = text.find(control)) != std::string::npos;) {
                    text.erase(at, std::string(control).size());
                }
            }
            EXPECT_LT(Columns(text), columns) << columns << ": " << drawing;
        }
        // Everything on the line in a wide terminal.
        EXPECT_TRUE(Has(screen, "A4 ")) << screen;
        EXPECT_EQ(Has(screen, "440.00 Hz ✓"), columns == 100) << screen;
    }
}

TEST(ListenTerminal, ADumbTerminalGetsNoEscapeSequence) {
    ScratchDir dir;
    WriteListenDevice();
    const std::string dumb = ListenOnTerminal({"tonein", "3"}, {"TERM=dumb"});
    EXPECT_FALSE(Has(dumb, "\x1b")) << dumb;
    EXPECT_GT(Drawings(dumb).size(), 10u) << dumb;
    EXPECT_TRUE(Has(ListenOnTerminal({"tonein", "1"}, {"TERM=xterm"}), "\x1b[K"));
}

TEST(ListenTerminal, DigitalSilenceShowsMinusInfinityDecibels) {
    ScratchDir dir;
    WriteListenDevice();
    std::ofstream("tone.raw", std::ios::binary) << std::string(4 * 44100, '\0');
    const std::string screen = ListenOnTerminal({"tonein", "1"}, {});
    EXPECT_TRUE(Has(screen, "input   -inf dBFS")) << screen;
    EXPECT_FALSE(Has(screen, "-999")) << screen;
}

TEST(ListenTerminal, AnErrorComesOnALineOfItsOwnAfterTheNeedle) {
    ScratchDir dir;
    WriteListenDevice();
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string screen =
        ListenOnTerminal({"tonein"}, {"LD_PRELOAD=" ALSA_FAULT_LIBRARY, "FAULT_READ=EIO:20:1",
                                      std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                                          ":verify_asan_link_order=0"});
    ASSERT_TRUE(Has(screen, "Capture failed: Input/output error")) << screen;
    // The needle's line was finished first.
    EXPECT_TRUE(Has(screen, "\r\nCapture failed: Input/output error")) << screen;
    EXPECT_FALSE(Has(screen, "Hz\r\n\r\nCapture failed")) << screen; // no empty line
}

TEST(ListenTerminal, ControlBytesInADeviceNameAreShownEscaped) {
    const RunResult run = RunOndelis({"--listen", "\x1b]0;owned\x07\x1b[2J"}, "", 20);
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(Has(run.err, "\x1b")) << run.err;
    EXPECT_FALSE(Has(run.err, "\x07")) << run.err;
    EXPECT_TRUE(Has(run.err, "Cannot listen to '\\x1B]0;owned\\x07\\x1B[2J'")) << run.err;
}

TEST(ListenTerminal, TheNullDeviceIsHeardAtTheRateNotFlatOut) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = RunOndelis({"--listen", "null", "2"}, "", 20);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    // 2 s of input, of which at most a fifth of a second may be taken ahead.
    EXPECT_GE(seconds, 1.7);
}

// Each setter of the capture's parameters that the device refuses is named, with ALSA's
// reason, and listening ends with status 1 before a reading; with a channel chosen too.
TEST(ListenRecovery, EachSettingTheDeviceRefusesIsNamed) {
    const struct {
        const char* faults;
        const char* channel; // empty: none chosen
        const char* says;
    } rows[] = {
        {"FAULT_ANY=EIO", "", "Unable to set capture parameters: Input/output error\n"},
        {"FAULT_ACCESS=EINVAL", "", "Unable to set capture access: Invalid argument\n"},
        {"FAULT_CHANNELS=EINVAL", "",
         "Unable to set capture channels: the device offers neither mono nor stereo\n"},
        {"FAULT_CHANNELS=EINVAL", "1", "Unable to set capture channels: Invalid argument\n"},
        {"FAULT_SET_RATE=EINVAL", "", "Unable to set capture rate: Invalid argument\n"},
        {"FAULT_PERIOD=EINVAL", "", "Unable to set capture period size: Invalid argument\n"},
        {"FAULT_BUFFER=EINVAL", "", "Unable to set capture buffer size: Invalid argument\n"},
        {"FAULT_HW_PARAMS=EIO", "1", "unable to set hw parameters: Input/output error\n"},
        {"FAULT_SW_CURRENT=EBADFD", "",
         "Unable to set capture software parameters: File descriptor in bad state\n"},
        {"FAULT_AVAIL_MIN=EINVAL", "",
         "Unable to set capture wake-up threshold: Invalid argument\n"},
        {"FAULT_SW_PARAMS=EINVAL", "1",
         "Unable to set capture software parameters: Invalid argument\n"},
    };
    for (const auto& row : rows) {
        ScratchDir dir;
        WriteListenDevice();
        std::vector<std::string> args{"--listen", "tonein", "1"};
        if (*row.channel != '\0') {
            args.insert(args.end(), {"--channel", row.channel});
        }
        const FaultRun f =
            RunWithFaults("ALSA_CONFIG_PATH=alsa.conf " + std::string(row.faults), args, "");
        EXPECT_EQ(f.run.status, 1) << row.faults << " " << row.channel;
        EXPECT_EQ(f.run.err, row.says) << row.faults << " " << row.channel;
        EXPECT_EQ(f.run.out, "") << row.faults << " " << row.channel;
    }
}

// Notes of equal temperament, semitones from A4, and their frequencies.
double NoteHz(int semitones_from_a4) {
    return 440 * std::pow(2.0, semitones_from_a4 / 12.0);
}

// `seconds` of frames of `hz.size()` channels (FLOAT_LE), channel c a sine of hz[c] at a
// quarter of full scale, upside down where hz[c] is negative, silent where it is 0.
void WriteChannels(const std::string& path, const std::vector<double>& hz, int seconds) {
    std::ofstream file(path, std::ios::binary);
    for (int i = 0; i < seconds * 44100; ++i) {
        for (const double f : hz) {
            const auto x = static_cast<float>(0.25 * std::sin(2 * M_PI * f * i / 44100));
            file.write(reinterpret_cast<const char*>(&x), sizeof x);
        }
    }
}

// Capture devices of several channels, each a file whose frames have that many: "two" and
// "four" as ALSA's plug devices lay out their slave (one that mixes what it is not asked
// for), "any" as the file device itself, which takes any count it is asked for.
void WriteChannelDevices() {
    const std::string devices = (std::filesystem::current_path() / "devices.conf").string();
    std::ofstream("alsa.conf") << "</usr/share/alsa/alsa.conf>\n@hooks [ { func load files [ \""
                               << devices << "\" ] } ]\n";
    std::ofstream conf(devices);
    for (const auto& [name, channels] : {std::pair{"two", 2}, {"four", 4}}) {
        conf << "pcm." << name << "in { type file slave.pcm null file \"/dev/null\" infile \""
             << name << ".raw\" format raw }\n";
        conf << "pcm." << name << " { type plug slave { pcm " << name << "in channels " << channels
             << " format FLOAT_LE rate 44100 } }\n";
    }
    conf << "pcm.any { type file slave.pcm null file \"/dev/null\" infile \"any.raw\" format "
            "raw }\n";
}

// --channel with a device hears that channel alone, never a mix of the device's channels:
// the plug devices would fold all of them into as few as are asked for (and PulseAudio and
// PipeWire do too, in the end-to-end tests). A channel upside down from the other cancels
// it in the mix; each of four carries a note of its own (E2, A2, D3, G3).
TEST(ListenRecovery, ChannelHearsThatChannelOfTheDeviceAlone) {
    ScratchDir dir;
    WriteChannelDevices();
    const double e2 = NoteHz(-29);
    WriteChannels("two.raw", {e2, -e2}, 3);
    WriteChannels("four.raw", {e2, NoteHz(-24), NoteHz(-19), NoteHz(-14)}, 3);
    WriteChannels("any.raw", {0, NoteHz(0)}, 3);
    const struct {
        const char* device;
        const char* channel; // empty: none chosen, the channels mixed
        const char* note;    // what every reading names; empty: no reading at all
    } rows[] = {
        {"two", "", ""},     {"two", "1", "E2"},  {"two", "2", "E2"},
        {"four", "1", "E2"}, {"four", "2", "A2"}, {"four", "3", "D3"},
        {"four", "4", "G3"}, {"any", "1", ""},    {"any", "2", "A4"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{"--listen", row.device, "1"};
        if (*row.channel != '\0') {
            args.insert(args.end(), {"--channel", row.channel});
        }
        const FaultRun f = RunWithFaults("ALSA_CONFIG_PATH=alsa.conf", args, "");
        const std::string what = std::string(row.device) + " --channel " + row.channel;
        EXPECT_EQ(f.run.status, 0) << what << ": " << f.run.err;
        std::istringstream lines(f.run.out);
        size_t readings = 0;
        double time = 0, hz = 0, cents = 0;
        for (std::string note; lines >> time >> hz >> note >> cents; ++readings) {
            EXPECT_EQ(note, row.note) << what << " at " << time << " s";
            EXPECT_LE(std::abs(cents), 1.0) << what << " at " << time << " s";
        }
        if (*row.note == '\0') {
            EXPECT_EQ(readings, 0u) << what << ": " << f.run.out;
        } else {
            EXPECT_GT(readings, 20u) << what << ": " << f.run.out << f.run.err;
        }
    }
    // A channel the device does not have is named, with those it has.
    const FaultRun fifth = RunWithFaults("ALSA_CONFIG_PATH=alsa.conf",
                                         {"--listen", "four", "1", "--channel", "5"}, "");
    EXPECT_EQ(fifth.run.status, 1);
    EXPECT_EQ(fifth.run.err,
              "Unable to set capture channels: the device has no channel 5, only 4\n");
}

} // namespace
