#include "app.h"
#include "listen_out.h"

#include "common/units.h"
#include "input/input.h"
#include "listen/listen.h"
#include "synth/synth.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// SECONDS: a number above 0, inf for the whole input.
bool ParseSeconds(const char* text, double& seconds) {
    char* end = nullptr;
    seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds > 0)) {
        std::fprintf(stderr,
                     "--listen reads as many seconds as the number after the source says, "
                     "above 0, not '%s'\n",
                     text);
        return false;
    }
    return true;
}

// The source as messages name it.
const char* Shown(const char* source) {
    return std::strcmp(source, "-") == 0 ? "standard input" : source;
}

// Refuses the source, naming it: exit status 1.
int Refuse(const char* source, const std::string& why) {
    std::fprintf(stderr, "%s: cannot listen to it: %s\n", Shown(source), why.c_str());
    return 1;
}

// A source that is "-" or names something in the file system is read as a file (and refused
// as one when it is none); any other names a capture device.
bool IsFileSource(const char* source) {
    struct stat status {};
    return std::strcmp(source, "-") == 0 || stat(source, &status) == 0;
}

// A word that names a file rather than a capture device, whether or not it exists: one with
// a '/', or, without the ':' of ALSA's device arguments ("hw:0,0"), one that ends in an
// extension of a few letters or digits ("take.wav", "take.wva").
bool LooksLikeFile(const char* source) {
    if (std::strchr(source, '/') != nullptr) {
        return true;
    }
    const char* dot = std::strrchr(source, '.');
    if (std::strchr(source, ':') != nullptr || dot == nullptr || dot == source) {
        return false;
    }
    const size_t length = std::strlen(dot + 1);
    return length >= 1 && length <= 5 && std::all_of(dot + 1, dot + 1 + length, [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) != 0;
           });
}

// A source that is a number ("--listen 10") is the seconds of the default device, mistyped.
bool IsNumber(const char* source) {
    char* end = nullptr;
    std::strtod(source, &end);
    return end != source && *end == '\0';
}

// What the options of a tone would do to listening: nothing, so they are refused, as -o is.
bool ToneOptionsRefused(const ToneSettings& settings, bool file) {
    if (settings.output_file[0] != '\0') {
        std::fputs("-o writes a tone; --listen reads one: give one of them\n", stderr);
        return true;
    }
    if (settings.harmonics > 1) {
        std::fputs("--harmonics shapes a tone; --listen reads one: give one of them\n", stderr);
        return true;
    }
    if (file && settings.rate_given) {
        std::fputs("--rate is the rate of a tone or of a capture device; a sound file is read at "
                   "its own: leave --rate out\n",
                   stderr);
        return true;
    }
    return false;
}

constexpr const char* kListenNeeds =
    "--listen needs a sound file, - for standard input, or a capture device\n";

} // namespace

uint64_t FramesIn(double seconds, uint32_t rate) {
    const double frames = std::ceil(seconds * rate);
    return frames < 1.8e19 ? static_cast<uint64_t>(frames) : UINT64_MAX;
}

bool SetListenSource(ToneSettings& settings, const char* source) {
    if (*source == '\0') {
        std::fputs(kListenNeeds, stderr);
        return false;
    }
    settings.listening = true;
    settings.listen_source = source;
    return true;
}

bool SetInstrument(ToneSettings& settings, const char* name) {
    if (!IsInstrument(name)) {
        std::fprintf(stderr,
                     "Unknown instrument: '%s'; the instruments are guitar, bass, violin, viola, "
                     "cello, mandolin, ukulele, banjo\n",
                     name);
        return false;
    }
    settings.instrument = name;
    return true;
}

NearestString NearestOpenString(const ToneSettings& settings, double hz) {
    NearestString nearest;
    if (settings.instrument == nullptr) {
        return nearest;
    }
    for (const StringPreset& preset : StringPresets()) {
        if (std::strcmp(preset.instrument, settings.instrument) != 0) {
            continue;
        }
        const double pitch = TunedFreq(settings.tuning, preset.note, preset.octave, 0, settings.a4);
        const double cents = Cents(hz, pitch);
        if (nearest.preset == nullptr || std::abs(cents) < std::abs(nearest.cents)) {
            nearest = {&preset, cents};
        }
    }
    return nearest;
}

HeardName NameHeard(const ToneSettings& settings, double hz) {
    if (const NearestNumbered string = NearestOfStrings(settings, hz); string.number > 0) {
        return {ScientificName(string.note), string.cents, std::to_string(string.number)};
    }
    if (const NearestString string = NearestOpenString(settings, hz); string.preset != nullptr) {
        const NoteAboveA note{SemitonesAboveA(string.preset->note),
                              static_cast<int>(string.preset->octave)};
        return {ScientificName(note), string.cents, string.preset->token};
    }
    const HeardNote heard = NearestNote(settings.tuning, hz, settings.a4);
    return {ScientificName(heard.note), heard.cents, ""};
}

std::string ReadingLine(const ToneSettings& settings, double time, double hz) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%.3f\t%.3f\t", time, hz);
    const HeardName heard = NameHeard(settings, hz);
    std::string line = numbers + heard.note + "\t" + CentsShown(heard.cents);
    if (!heard.string.empty()) {
        line += "\t" + heard.string;
    }
    return line + "\n";
}

namespace {

// Reads the sound file `source` ("-": `in`), or its first `seconds`, and prints a line for each
// reading. Returns the exit status.
int ListenToFile(const ToneSettings& settings, const char* source, double seconds, FILE* in) {
    SoundFile file;
    file.channel = settings.channel;
    std::string why;
    if (!OpenSoundFile(source, in, file, why)) {
        return Refuse(source, why);
    }
    const uint64_t frames = FramesIn(seconds, file.rate);
    // A file that can be read twice is checked whole first, so that a fault in it prints
    // nothing; a stream is refused where the fault comes.
    if (file.seekable && !CheckSoundFile(file, frames, why)) {
        return Refuse(source, why);
    }
    Listener listener = NewListener(file.rate);
    float block[4096];
    std::vector<PitchReading> readings;
    NoteGatherer notes;
    uint64_t read = 0;
    bool heard = false;
    while (read < frames) {
        const auto wanted =
            static_cast<size_t>(std::min<uint64_t>(std::size(block), frames - read));
        const long got = ReadSoundFile(file, std::span(block, wanted), why);
        if (got < 0) {
            std::fflush(stdout);
            return Refuse(source, why);
        }
        if (got == 0) {
            break;
        }
        read += static_cast<uint64_t>(got);
        ListenTo(listener, std::span(block, static_cast<size_t>(got)), readings);
        for (const PitchReading& reading : readings) {
            PrintReading(notes, settings, {reading.time, reading.hz, reading.between_hops}, stdout);
        }
        heard = heard || !readings.empty();
        // Only a write that failed ends a file early: the rest of it is read in moments.
        if (!readings.empty() && !ReadingsWritten(stdout)) {
            return 1;
        }
    }
    FinishReadings(notes, settings, stdout);
    if (!heard) { // an empty output says nothing about why
        const Unheard unheard{frames, ListenerFirstReadingFrames(listener),
                              ListenerStrongestHz(listener), kLowestHz, kHighestHz};
        std::fprintf(stderr, "%s: no pitch heard: %s\n", Shown(source),
                     WhyNoPitch(file, unheard).c_str());
    }
    return ReadingsWritten(stdout) ? 0 : 1;
}

} // namespace

int RunListen(const ToneSettings& settings, int count, char** arguments, FILE* in) {
    const char* source = settings.listen_source;
    if (source == nullptr && count > 0) { // --listen SOURCE [SECONDS]
        source = arguments[0];
        ++arguments;
        --count;
    }
    if (source != nullptr && *source == '\0') {
        std::fputs(kListenNeeds, stderr);
        return 1;
    }
    double seconds = HUGE_VAL;
    if (count > 1) {
        std::fprintf(stderr,
                     "--listen takes its source and at most a number of seconds, not '%s'\n",
                     arguments[1]);
        return 1;
    }
    if (count == 1 && !ParseSeconds(arguments[0], seconds)) {
        return 1;
    }
    const bool file = source != nullptr && IsFileSource(source);
    if (ToneOptionsRefused(settings, file)) {
        return 1;
    }
    if (!file && source != nullptr && IsNumber(source)) {
        std::fprintf(stderr,
                     "--listen %s: the source comes first, then the seconds: --listen default %s "
                     "listens to the default device for %s seconds\n",
                     source, source, source);
        return 1;
    }
    if (!file && source != nullptr && LooksLikeFile(source)) {
        return Refuse(source, "there is no such file");
    }
    // Nothing is opened for readings that would have nowhere to go.
    if (!ReadingsDelivered(stdout)) {
        return 1;
    }
    if (!file) {
        return ListenLive(settings, source == nullptr ? "default" : source, seconds);
    }
    return ListenToFile(settings, source, seconds, in);
}
