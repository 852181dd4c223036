#include "delivery.h"
#include "listen_sources.h"
#include "view.h"

#include "device/device.h"
#include "input/input.h"
#include "listen/listener.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Reads the open file to its end, or `frames`, or until a stop signal, and shows what
// `listener` reads of it. Returns the exit status.
int ReadAndShow(SoundFile& file, const char* source, uint64_t frames, Listener& listener,
                View& view) {
    float block[4096];
    std::vector<PitchReading> readings;
    std::string why;
    for (uint64_t read = 0; read < frames && StopSignal() == 0;) {
        const auto wanted =
            static_cast<size_t>(std::min<uint64_t>(std::size(block), frames - read));
        const long got = ReadSoundFile(file, std::span(block, wanted), why);
        if (got < 0) {
            std::fflush(view.out);
            return RefuseSource(source, why);
        }
        if (got == 0) {
            break;
        }
        read += static_cast<uint64_t>(got);
        ListenTo(listener, std::span(block, static_cast<size_t>(got)), readings);
        for (const PitchReading& reading : readings) {
            ShowReading(view, reading, 0);
        }
        // Only a write that failed ends a file early: the rest of it is read in moments.
        if (!readings.empty() && !ReadingsWritten(view.out)) {
            return 1;
        }
    }
    return 0;
}

// An empty output, or a summary of no note, says nothing about why: this does.
void SayWhyNothing(const char* source, const SoundFile& file, const Unheard& unheard,
                   size_t readings, const std::string& no_note) {
    if (readings == 0) {
        std::fprintf(stderr, "%s: no pitch heard: %s\n", SourceShown(source),
                     WhyNoPitch(file, unheard).c_str());
    } else if (!no_note.empty()) {
        std::fprintf(stderr, "%s: no note summed up: %s\n", SourceShown(source), no_note.c_str());
    }
}

} // namespace

uint64_t FramesIn(double seconds, uint32_t rate) {
    const double frames = std::ceil(seconds * rate);
    return frames < 1.8e19 ? static_cast<uint64_t>(frames) : UINT64_MAX;
}

const char* SourceShown(const char* source) {
    return std::strcmp(source, "-") == 0 ? "standard input" : source;
}

int RefuseSource(const char* source, const std::string& why) {
    std::fprintf(stderr, "%s: cannot listen to it: %s\n", SourceShown(source), why.c_str());
    return 1;
}

namespace {

// ListenToFile, its stop signals caught.
int OpenReadAndShow(const ToneSettings& settings, const char* source, double seconds, FILE* in) {
    SoundFile file;
    file.channel = settings.channel;
    std::string why;
    if (!OpenSoundFile(source, in, file, why)) {
        return RefuseSource(source, why);
    }
    const uint64_t frames = FramesIn(seconds, file.rate);
    // A file that can be read twice is checked whole first, so that a fault in it prints
    // nothing; a stream is refused where the fault comes.
    if (file.seekable && !CheckSoundFile(file, frames, why)) {
        return RefuseSource(source, why);
    }
    View view = NewView(settings, ChooseView(settings, false, false), stdout, 0);
    SayIfNoTuner(settings, view.kind);
    Listener listener = NewListener(file.rate);
    if (const int status = ReadAndShow(file, source, frames, listener, view); status != 0) {
        return status;
    }
    const std::string no_note = EndView(view);
    // Stopped, not at its end, a take's output says nothing of the whole.
    const int stopped_by = StopSignal();
    if (stopped_by == 0) {
        const Unheard unheard{frames, ListenerFirstReadingFrames(listener),
                              ListenerStrongestHz(listener), kLowestHz, kHighestHz};
        SayWhyNothing(source, file, unheard, view.readings, no_note);
    }
    if (!ReadingsWritten(view.out)) {
        return 1;
    }
    return stopped_by != 0 ? kStoppedBySignal + stopped_by : 0;
}

} // namespace

int ListenToFile(const ToneSettings& settings, const char* source, double seconds, FILE* in) {
    // Ctrl-C on a pipe that a recorder feeds ends the take: the note under way is summed up.
    // Caught from the start: a stream is read already while its kind is found.
    const StopSignals signals = CatchStopSignals();
    const int status = OpenReadAndShow(settings, source, seconds, in);
    RestoreStopSignals(signals);
    return status;
}
