#include "app.h"

#include "output/output.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kUsage =
    R"(Usage: ondelis <frequency in Hz> [<time in seconds> [<soundcard device> [<level>]]]
       ondelis                 (no arguments: the interactive menu)
       ondelis -h | --help | --version

Ondelis plays a pure sine reference tone for tuning musical instruments.

With arguments it prints a summary, plays one tone and exits:
  frequency   Hz; a negative frequency sounds as its magnitude
  time        seconds of tone (default 8); a negative time plays nothing
  device      ALSA PCM device name, at most 31 characters (default "default");
              'aplay -L' lists the device names of this machine, and 'null'
              plays into nothing, for trying things out without a sound card
  level       percent of full scale, 0 to 100 (default 25)

With no arguments it shows a menu and reads commands, one word at a time, from
standard input (type them and press Enter, or pipe them in):
  a b c d e f g   play a note above A = 440 Hz; add '#' for sharp, 'b' for flat (f# gb)
  G1 ... G6       guitar strings, G1 high E (329.63 Hz) to G6 low E (82.41 Hz)
  B1 ... B4       bass strings, B1 G (98.00 Hz) to B4 low E (41.20 Hz)
  p   play again            o   octave offset, -4 to 4    cn  detune, -100 to 100 cents
  z   exact frequency       l   length in seconds         v   volume in percent
  s   soundcard device      r   sample rate               exp export to a WAV file
  h   help                  x   exit

Examples:
  ondelis 440 2                             A (440 Hz) for 2 seconds
  ondelis 82.41 4 default 50                low E string, 4 seconds at 50 percent
  printf 'G1 G2 G3 G4 G5 G6 x' | ondelis    tune a guitar: the six strings in turn
  printf 'B1 B2 B3 B4 x' | ondelis          tune a bass: the four strings in turn
  printf 'c# x' | ondelis                   C sharp, a semitone above C
  printf 'cn 100 a cn -100 a x' | ondelis   A a semitone (100 cents) up, then down
  printf 'cn -20 c x' | ondelis             C, 20 cents flat
  printf 'l 2 exp a440.wav x' | ondelis     2 seconds of A written to a440.wav;
                                            'aplay a440.wav' plays it

Exit status: 0 after a normal end, 1 when the sound device fails or a tone cannot be made.
The manual page (man ondelis) has the details.
)";

// strtod's reading: the leading number, 0 when there is none. NaN counts as no number.
float ArgumentValue(const char* text) {
    const auto value = static_cast<float>(std::strtod(text, nullptr));
    return std::isnan(value) ? 0.0f : value;
}

bool HandleOption(const char* first, int& status) {
    if (std::strcmp(first, "-h") == 0 || std::strcmp(first, "--help") == 0) {
        std::fputs(kUsage, stdout);
        status = 0;
        return true;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::puts("Ondelis 1.02");
        status = 0;
        return true;
    }
    return false;
}

bool ParseArguments(ToneSettings& settings, int argc, char** argv) {
    settings.frequency = ArgumentValue(argv[1]);
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

void PrintSummary(const ToneSettings& settings) {
    std::puts("Ondelis Direct Mode");
    std::printf("\tSoundcard:\t%s\n", settings.device);
    std::printf("\tFrequency:\t%.2f Hz\n", settings.frequency);
    std::printf("\tDuration:\t%.2f sec\n", settings.length);
    std::printf("\tLevel:\t%.2f percent\n", settings.level);
}

} // namespace

int RunDirectMode(ToneSettings& settings, int argc, char** argv) {
    int status = 0;
    if (HandleOption(argv[1], status)) {
        return status;
    }
    if (!ParseArguments(settings, argc, argv)) {
        return 1;
    }
    PrintSummary(settings);
    const RenderedTone tone = RenderTone(settings);
    std::fflush(stdout);
    if (tone.status != RenderStatus::Ok) {
        ReportRenderFailure(settings, tone, stderr);
        return 1;
    }
    return PLAY(settings.device, settings.sample_rate, 2, tone.frames, tone.packed.get());
}
