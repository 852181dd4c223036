#include "app.h"
#include "listen_out.h"

#include "common/printable.h"

#include "device/device.h"
#include "input/input.h"
#include "listen/listen.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
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

// Where the readings go: lines for a pipe or a file, flushed as they come; at a terminal, one
// line drawn over again in place, and the strings' checklist under it.
struct Display {
    const ToneSettings& settings;
    bool terminal = false;
    bool utf8 = false;
    bool erases = true;     // the terminal takes ESC[K (and ESC[1A, for the checklist's line)
    bool drawn = false;     // the terminal's lines hold a drawing not yet finished
    size_t shown = 0;       // columns of the drawing on the needle's line
    size_t shown_below = 0; // and on the checklist's
    NoteGatherer notes{};   // with --summary, lines in place of the needle, at a terminal too
    // At a terminal: the newest reading's view, how long it has been in tune, the strobe and
    // the strings' checklist, all kept reading by reading.
    NeedleView view{};
    InTuneHold hold{};
    Strobe strobe{};
    Checklist checklist{};
    double frame_seconds = 0; // between drawings: a period of the device

    void Reading(const PitchReading& reading, double time_offset) {
        if (!terminal || settings.summary) {
            PrintReading(notes, settings,
                         {reading.time + time_offset, reading.hz, reading.between_hops}, stdout);
            std::fflush(stdout);
            return;
        }
        const double time = reading.time + time_offset;
        view = NeedleViewOf(settings, reading.hz);
        view.in_tune =
            HoldInTune(hold, view.note + view.string, time, view.cents, settings.tolerance);
        TurnStrobe(strobe, time, view.cents);
        CheckString(checklist, view.string, view.cents, view.in_tune, settings.tolerance);
    }

    // The tuner's line, and under it the checklist, each drawn over its last drawing within
    // the terminal's width, short of its last column, so that neither ever wraps. A terminal
    // that cannot move the cursor up (a dumb one) gets the tuner's line alone.
    void Draw(const NeedleView& shown_view) {
        const size_t columns = TerminalColumns(STDOUT_FILENO, std::getenv("COLUMNS")) - 1;
        const std::string line =
            FitToColumns(settings.strobe && shown_view.sounding
                             ? StrobeLine(shown_view, strobe, frame_seconds, utf8)
                             : NeedleLine(shown_view, utf8),
                         columns);
        if (checklist.strings.empty() || !erases) {
            std::fputs(Redraw(line, erases, shown).c_str(), stdout);
            return;
        }
        const std::string below = FitToColumns(ChecklistLine(checklist, utf8, columns), columns);
        std::fputs((std::string(drawn ? "\x1b[1A" : "") + Redraw(line, erases, shown) + "\n" +
                    Redraw(below, erases, shown_below))
                       .c_str(),
                   stdout);
    }

    void Period(const std::optional<PitchReading>& newest, double dbfs, double time) {
        if (settings.summary) {
            std::vector<HeldNote> ended;
            GatherSilence(notes, settings, time, ended);
            for (const HeldNote& note : ended) {
                std::fputs(HeldNoteLine(note).c_str(), stdout);
            }
            std::fflush(stdout);
            return;
        }
        if (!terminal) {
            return;
        }
        if (!newest) { // silence: in tune and the strobe's count begin again
            hold = {};
            StopStrobe(strobe);
            BreakRun(checklist);
        }
        NeedleView shown_view = newest ? view : NeedleView{};
        shown_view.level_dbfs = dbfs;
        Draw(shown_view);
        std::fflush(stdout);
        drawn = true;
    }

    // The drawing is finished: what comes next starts a line of its own.
    void EndLine() {
        if (drawn) {
            std::fputs("\n", stdout);
            std::fflush(stdout);
            drawn = false;
        }
    }

    // The notes still open are summed up, and the shell's prompt comes on a line of its own.
    void Finish() {
        FinishReadings(notes, settings, stdout);
        std::fflush(stdout);
        EndLine();
    }

    // Messages held back while the line was drawn follow it on lines of their own.
    void Say(HeldMessages& held) {
        if (const std::string text = held.Take(); !text.empty()) {
            EndLine();
            std::fputs(text.c_str(), stderr);
        }
    }
};

// The display of standard output as it is: a terminal of its type and locale, or not.
Display NewDisplay(const ToneSettings& settings, size_t hop, uint32_t rate) {
    Display display{settings};
    display.checklist = NewChecklist(settings);
    display.frame_seconds = static_cast<double>(kHopsPerPeriod * hop) / rate;
    display.terminal = isatty(STDOUT_FILENO) == 1;
    display.erases = ErasesLine(std::getenv("TERM"));
    display.utf8 = Utf8Locale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    return display;
}

} // namespace

int ListenLive(const ToneSettings& settings, const char* device, double seconds) {
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
    Display display = NewDisplay(settings, ListenerHop(listener), rate);
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
        display.Say(held);
        if (got == kCaptureStopped || got == kCaptureFailed) {
            display.Finish();
            return got == kCaptureStopped ? kStoppedBySignal + capture.stopped_by : 1;
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
            display.Reading(reading, static_cast<double>(listener_start) / rate);
        }
        display.Period(readings.empty() ? std::nullopt : std::optional(readings.back()),
                       Dbfs(input), static_cast<double>(read) / rate);
        if (!ReadingsDelivered(stdout)) {
            capture.exit_status = 1;
            return 1;
        }
    }
    display.Finish();
    return 0;
}
