#include "app.h"
#include "piano_play.h"

#include "output/output.h"
#include "synth/synth.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// strtod's reading: the leading number, 0 when there is none. NaN counts as no number.
float ArgumentValue(const char* text) {
    const auto value = static_cast<float>(std::strtod(text, nullptr));
    return std::isnan(value) ? 0.0f : value;
}

// The frequency of a note name or a string preset, computed as the menu computes it.
bool NamedPitch(const ToneSettings& settings, const char* name, float& frequency) {
    double octave = 0;
    if (!NoteOfWord(name, name, octave)) {
        return false;
    }
    frequency = static_cast<float>(TunedFreq(settings.tuning, name, octave, 0, settings.a4));
    return true;
}

// The first argument: a number wherever strtod reads one (a frequency in Hz, as given), else
// a note or a string preset. Anything else would play a silent 0 Hz tone; refuse it.
bool ParsePitch(ToneSettings& settings, const char* text) {
    if (PlaysPianoKeys(settings)) {
        int key = 0;
        if (!KeyOfWord(text, key, stderr)) {
            return false;
        }
        SoundKey(settings, key, 0);
        return true;
    }
    char* end = nullptr;
    std::strtod(text, &end);
    if (end != text) {
        settings.frequency = ArgumentValue(text);
        return true;
    }
    if (NamedPitch(settings, text, settings.frequency)) {
        // Told once: a guitarist tuning string by string types G1 to G6 again and again.
        if (const std::string shadowed = ShadowedNote(text);
            !shadowed.empty() && NoteDue("preset-note-shown", stderr)) {
            std::fprintf(stderr, "%s\n", shadowed.c_str());
        }
        return true;
    }
    std::fprintf(stderr,
                 "Not a frequency, a note or a string preset: '%s'\n"
                 "Give a frequency in Hz (440, 82.41), a note a to g with '#' for sharp or 'b' "
                 "for flat\n(c#, eb), or a string preset: G1 to G7 (guitar), B1 to B5 (bass), "
                 "violin1 to\nviolin4, viola1 to viola4, cello1 to cello4, mandolin1 to "
                 "mandolin4, ukulele1 to\nukulele4 or banjo1 to banjo5\n"
                 "A note with its octave number: e2, E2, C#4, Bb3 (octaves 0 to 9; G1 to G7 and "
                 "B1 to B5\nare the string presets, g4 the note G4)\n",
                 text);
    return false;
}

// An option after the pitch would otherwise be read as a length or a level of 0.
bool NoLateOption(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0 || std::strcmp(argv[i], "-o") == 0) {
            std::fprintf(stderr, "Options go before the frequency, note or string: '%s'\n",
                         argv[i]);
            return false;
        }
    }
    return true;
}

bool ParseArguments(ToneSettings& settings, int argc, char** argv) {
    if (!ParsePitch(settings, argv[1]) || !NoLateOption(argc, argv)) {
        return false;
    }
    if (argc > 2) {
        const float v = ArgumentValue(argv[2]);
        settings.length = 0 > v ? 0 : v;
    }
    if (argc > 3) {
        if (std::strlen(argv[3]) >= sizeof settings.device) {
            std::fprintf(stderr, "Soundcard device name too long (at most %zu characters): %s\n",
                         sizeof settings.device - 1, argv[3]);
            return false;
        }
        std::strcpy(settings.device, argv[3]);
    }
    if (argc > 4) {
        const float v = ArgumentValue(argv[4]);
        settings.level = v > 100 ? 100 : (0 > v ? 0 : v);
    }
    return true;
}

bool WritesToStandardOutput(const ToneSettings& settings) {
    return std::strcmp(settings.output_file, "-") == 0;
}

void PrintSummary(const ToneSettings& settings, FILE* out) {
    std::fputs("Ondelis Direct Mode\n", out);
    // A tone written to a file never opens the device: naming one would say it plays there.
    if (settings.output_file[0] == '\0') {
        std::fprintf(out, "\tSoundcard:\t%s\n", settings.device);
    } else {
        std::fprintf(out, "\tOutput:\t%s\n",
                     WritesToStandardOutput(settings) ? "standard output" : settings.output_file);
    }
    std::fprintf(out, "\tFrequency:\t%.2f Hz\n", settings.frequency);
    if (const std::string tuning = TuningShown(settings); !tuning.empty()) {
        std::fprintf(out, "\tTuning:\t%s\n", tuning.c_str());
    }
    if (settings.harmonics > 1) {
        std::fprintf(out, "\tHarmonics:\t%d\n", settings.harmonics);
    }
    std::fprintf(out, "\tDuration:\t%.2f sec\n", settings.length);
    std::fprintf(out, "\tLevel:\t%.2f percent\n", settings.level);
}

// The tone goes to the file of -o, or to standard output for "-", as the menu's exp writes it.
int ExportDirectly(const ToneSettings& settings, const RenderedTone& tone) {
    const bool written =
        WritesToStandardOutput(settings)
            ? StreamWav(stdout, settings.sample_rate, tone.tone, stderr)
            : WriteWav(settings.output_file, settings.sample_rate, tone.tone, stderr);
    return written ? 0 : 1;
}

// --listen mode, with what follows the options; --instrument names the strings of its readings.
// Options may follow the source too: "--listen take.wav --instrument guitar".
int ListenFromCommandLine(ToneSettings& settings, int count, char** arguments, FILE* in) {
    std::vector<char*> positional;
    if (const int status = TakeLateOptions(settings, count, arguments, positional);
        status != kGoOn) {
        return status;
    }
    if (!settings.listening && settings.listen_option != nullptr) {
        std::fprintf(stderr, "%s is for --listen's readings: give --listen too\n",
                     settings.listen_option);
        return 1;
    }
    if (!settings.listening) {
        std::fputs(
            settings.instrument != nullptr
                ? "--instrument names the strings of --listen's readings: give --listen too\n"
                : "--channel picks the channel that --listen hears: give --listen too\n",
            stderr);
        return 1;
    }
    return RunListen(settings, static_cast<int>(positional.size()), positional.data(), in);
}

} // namespace

int RunCommandLine(ToneSettings& settings, int argc, char** argv, FILE* in, FILE* out) {
    int first = 1;
    const int status = TakeOptions(settings, argc, argv, first);
    if (status != kGoOn) {
        return status;
    }
    if (const int piano = RunPianoCommand(settings, argc - first); piano != kGoOn) {
        return piano;
    }
    if (settings.listening || settings.instrument != nullptr || settings.listen_option != nullptr ||
        settings.channel != 0) {
        return ListenFromCommandLine(settings, argc - first, argv + first, in);
    }
    // With --piano, direct mode's key and the menu's notes sound the targets of its curve.
    if (settings.piano.file != nullptr && !LayPianoTargets(settings, stderr)) {
        return 1;
    }
    if (first == argc) {
        if (settings.output_file[0] != '\0') {
            std::fputs("-o writes the tone of a frequency, note or string given after it; the "
                       "menu exports with exp\n",
                       stderr);
            return 1;
        }
        return RunMenuLoop(settings, in, out);
    }
    // Direct mode reads its arguments from argv[1], as if the options were not there.
    return RunDirectMode(settings, argc - first + 1, argv + first - 1);
}

int RunDirectMode(ToneSettings& settings, int argc, char** argv) {
    if (!ParseArguments(settings, argc, argv)) {
        return 1;
    }
    const bool exporting = settings.output_file[0] != '\0';
    // Standard output carries the WAV stream alone.
    FILE* summary = WritesToStandardOutput(settings) ? stderr : stdout;
    PrintSummary(settings, summary);
    std::fflush(summary);
    if (exporting && !Exportable(settings, "give the tone a length in seconds", stderr)) {
        return 1;
    }
    RenderedTone tone;
    if (!RenderChecked(settings, stderr, tone)) {
        return 1;
    }
    if (exporting) {
        return ExportDirectly(settings, tone);
    }
    return PlayTone(settings.device, settings.sample_rate, 2, tone.tone, stdout, stderr);
}
