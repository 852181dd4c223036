#include "delivery.h"
#include "listen_sources.h"
#include "terminal.h"
#include "view.h"

#include "common/printable.h"
#include "device/device.h"
#include "input/input.h"
#include "listen/listener.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Fuzzing builds listen briefly: nothing but a signal would end listening to a device.
#ifdef ONDELIS_NO_ENDLESS_TONES
constexpr double kLongestListening = 0.2;
#else
constexpr double kLongestListening = HUGE_VAL;
#endif

// The level of a period of input, in dB of full scale; very low for digital silence.
double Dbfs(std::span<const float> samples) {
    double energy = 0;
    for (const float v : samples) {
        energy += static_cast<double>(v) * v;
    }
    return energy > 0 ? 10 * std::log10(energy / static_cast<double>(samples.size())) : -HUGE_VAL;
}

// Hops of the listener in a period of the device.
constexpr size_t kHopsPerPeriod = 2;

// Input that comes faster than the rate (ALSA's null device gives it without end) is taken
// at the rate: listening never runs flat out. A device's clock may run a little fast, so a
// reading ahead by less than this goes on without a pause.
constexpr double kMostSecondsAhead = 0.2;

void KeepToTheRate(std::chrono::steady_clock::time_point start, uint64_t frames, uint32_t rate) {
    const std::chrono::duration<double> due(static_cast<double>(frames) / rate);
    const auto ahead = start + due - std::chrono::steady_clock::now();
    if (ahead > std::chrono::duration<double>(kMostSecondsAhead)) {
        // A stop signal cuts the sleep short; the next read sees it.
        std::this_thread::sleep_for(ahead);
    }
}

// Messages held back while the tuner's line was drawn follow it on lines of their own.
void SayHeld(View& view, HeldMessages& held) {
    if (const std::string text = held.Take(); !text.empty()) {
        if (view.kind == ViewKind::Tuner) {
            EndTunerLine(view.tuner);
        }
        std::fputs(text.c_str(), stderr);
    }
}

// Listening's end: the note held summed up, the tuner's line ended, and why no note was
// summed up though readings came. Returns `status`, or 1 when the readings could not all be
// written.
int Finish(View& view, int status) {
    if (const std::string no_note = EndView(view); !no_note.empty()) {
        std::fprintf(stderr, "No note summed up: %s\n", no_note.c_str());
    } else if (view.kind == ViewKind::Summary && view.readings == 0) {
        // The summary shows nothing while it listens: its end says why nothing came.
        std::fputs("No pitch heard: no steady pitch sounded (silence, noise, or two notes at "
                   "once)\n",
                   stderr);
    }
    return ReadingsWritten(view.out) ? status : 1;
}

} // namespace

int ListenToDevice(const ToneSettings& settings, const char* device, double seconds) {
    uint32_t rate = settings.sample_rate;
    Listener listener = NewListener(rate);
    // A period of the device is two hops of the listener: one wake-up for two readings.
    // A sound server's plugin wakes its own thread for every fragment of a period as well;
    // periods of one hop (25 ms) woke PulseAudio's client more often than arecord's own.
    const auto period = static_cast<uint32_t>(kHopsPerPeriod * ListenerHop(listener));
    Capture capture;
    capture.channel = static_cast<unsigned>(settings.channel);
    // Standard output carries readings only: what the device says goes to standard error.
    if (OpenCapture(capture, device, rate, period, stderr, stderr) != 0) {
        return 1;
    }
    std::fprintf(stderr, "Listening to '%s' at %u Hz\n", Printable(device).c_str(), rate);
    if (rate != listener.rate) { // the device took another rate
        listener = NewListener(rate);
    }
    const double period_seconds =
        static_cast<double>(kHopsPerPeriod * ListenerHop(listener)) / rate;
    View view = NewView(settings, ChooseView(settings, true, isatty(STDOUT_FILENO) == 1), stdout,
                        period_seconds);
    SayIfNoTuner(settings, view.kind);
    const uint64_t frames = FramesIn(std::min(seconds, kLongestListening), rate);
    // Room for what a device may have gathered by the time the loop wakes.
    std::vector<float> block(4 * kHopsPerPeriod * ListenerHop(listener));
    std::vector<PitchReading> readings;
    uint64_t read = 0;
    uint64_t listener_start = 0; // frames read before the listener last began
    HeldMessages held;
    const auto start = std::chrono::steady_clock::now();
    while (read < frames) {
        const auto wanted = static_cast<size_t>(std::min<uint64_t>(block.size(), frames - read));
        const long got = ReadCapture(capture, std::span(block.data(), wanted), held.stream());
        SayHeld(view, held);
        if (got == kCaptureStopped || got == kCaptureFailed) {
            return Finish(view, got == kCaptureStopped ? kStoppedBySignal + capture.stopped_by : 1);
        }
        if (got == kCaptureGap) {
            // No reading spans the input that was lost: the listener begins again after it.
            listener = NewListener(rate);
            listener_start = read;
            continue;
        }
        const std::span<const float> input(block.data(), static_cast<size_t>(got));
        read += input.size();
        KeepToTheRate(start, read, rate);
        ListenTo(listener, input, readings);
        for (const PitchReading& reading : readings) {
            ShowReading(view, reading, static_cast<double>(listener_start) / rate);
        }
        ShowPeriod(view, static_cast<double>(read) / rate, Dbfs(input), !readings.empty(),
                   ListenerWhyNone(listener) != NoReading::Silent);
        if (!ReadingsDelivered(view.out)) {
            capture.exit_status = 1;
            return 1;
        }
    }
    return Finish(view, 0);
}
