#include "listen_command.h"
#include "delivery.h"
#include "listen_sources.h"
#include "option_files.h"
#include "piano_measure.h"
#include "piano_tuning.h"

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

// Says that the source comes before the seconds, with an example that works: the number
// itself where it is a time --listen takes.
void SourceFirst(const char* number) {
    const bool seconds = std::strtod(number, nullptr) > 0;
    const char* example = seconds ? number : "10";
    std::fprintf(stderr,
                 "--listen %s: the source comes first, then the seconds%s: --listen default %s "
                 "listens to the default device for %s seconds\n",
                 number, seconds ? "" : " (above 0)", example, example);
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

// --measure without a piano file to write, or with one that does not parse: refused before
// anything is listened to, so that a take is not spent on keys that could not be kept.
bool MeasureRefused(const ToneSettings& settings) {
    if (!settings.piano.measure) {
        return false;
    }
    if (settings.piano.file == nullptr) {
        std::fputs("--measure writes the keys it measures into a piano file: give --piano FILE\n",
                   stderr);
        return true;
    }
    std::vector<MeasuredKey> keys;
    std::string why;
    if (!ReadPianoFile(settings.piano.file, true, keys, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return true;
    }
    return false;
}

constexpr const char* kListenNeeds =
    "--listen needs a sound file, - for standard input, or a capture device\n";

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
    ToneSettings tuned = settings; // with the piano's curve, for --piano FILE
    if (ToneOptionsRefused(settings, file) || MeasureRefused(settings) || !LayPianoTuning(tuned)) {
        return 1;
    }
    if (!file && source != nullptr && IsNumber(source)) {
        SourceFirst(source);
        return 1;
    }
    if (!file && source != nullptr && LooksLikeFile(source)) {
        return RefuseSource(source, "there is no such file");
    }
    // Nothing is opened for readings that would have nowhere to go.
    if (!ReadingsDelivered(stdout)) {
        return 1;
    }
    if (!file) {
        return ListenToDevice(tuned, source == nullptr ? "default" : source, seconds);
    }
    return ListenToFile(tuned, source, seconds, in);
}
