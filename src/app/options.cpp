#include "app.h"
#include "version.h"

#include "common/units.h"
#include "synth/synth.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool StartsWith(const char* text, const char* start) {
    return std::strncmp(text, start, std::strlen(start)) == 0;
}

constexpr double kLowestA4 = 400;
constexpr double kHighestA4 = 480;
// No string holds stiller than half a cent; a band of 25 cents each side is half the needle.
constexpr double kNarrowestTolerance = 0.5;
constexpr double kWidestTolerance = 25;
constexpr unsigned long kMostChannels = 64;

bool SetReferencePitch(ToneSettings& settings, const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= kLowestA4 && value <= kHighestA4)) {
        std::fprintf(stderr, "The pitch of A (--a4) is a number from %.0f to %.0f Hz, not '%s'\n",
                     kLowestA4, kHighestA4, text);
        return false;
    }
    settings.a4 = value;
    return true;
}

// A whole number from `lowest` to `highest`, in digits only: "48000", not "48e3", "+48000"
// or " 48000". Else false, after `refusal`, a format of the range and the text, on standard
// error.
bool TakeWhole(const char* text, unsigned long lowest, unsigned long highest, const char* refusal,
               unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || value < lowest || value > highest) {
        std::fprintf(stderr, refusal, lowest, highest, text);
        return false;
    }
    return true;
}

bool SetRate(ToneSettings& settings, const char* text) {
    unsigned long value = 0;
    const bool taken = TakeWhole(
        text, kLowestRate, kHighestRate,
        "The sample rate (--rate) is a whole number from %lu to %lu Hz, not '%s'\n", value);
    settings.sample_rate = taken ? static_cast<uint32_t>(value) : settings.sample_rate;
    settings.rate_given = settings.rate_given || taken;
    return taken;
}

bool SetHarmonics(ToneSettings& settings, const char* text) {
    unsigned long value = 0;
    const bool taken = TakeWhole(
        text, 1, kMostHarmonics,
        "The number of harmonics (--harmonics) is a whole number from %lu to %lu, not '%s'\n",
        value);
    settings.harmonics = taken ? static_cast<int>(value) : settings.harmonics;
    return taken;
}

// A number of cents, as --a4 reads its number.
bool SetTolerance(ToneSettings& settings, const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' ||
        !(value >= kNarrowestTolerance && value <= kWidestTolerance)) {
        std::fprintf(stderr,
                     "The in-tune band (--tolerance) is a number of cents from %.1f to %.0f, not "
                     "'%s'\n",
                     kNarrowestTolerance, kWidestTolerance, text);
        return false;
    }
    settings.tolerance = value;
    settings.listen_option = "--tolerance";
    settings.tuner_option = "--tolerance";
    return true;
}

// 1 for the first channel.
bool SetChannel(ToneSettings& settings, const char* text) {
    unsigned long value = 0;
    const bool taken = TakeWhole(text, 1, kMostChannels,
                                 "The channel to listen to (--channel) is a whole number from %lu "
                                 "(the first) to %lu, not '%s'\n",
                                 value);
    settings.channel = taken ? static_cast<int>(value) : settings.channel;
    return taken;
}

bool SetOutputFile(ToneSettings& settings, const char* path) {
    if (std::strlen(path) >= sizeof settings.output_file) {
        std::fprintf(stderr, "Output file name too long (at most %zu characters)\n",
                     sizeof settings.output_file - 1);
        return false;
    }
    std::strcpy(settings.output_file, path);
    return true;
}

// An option that takes a value: "--name VALUE" or "--name=VALUE", or "-x VALUE" for its short
// name. `needs` is the message for an option given last, without its value; an option whose
// values are a list kept elsewhere names them after it, as `values` gives them.
struct ValueOption {
    const char* name;
    const char* short_name; // or null
    const char* needs;
    bool (*take)(ToneSettings& settings, const char* value);
    std::string (*values)() = nullptr;
    bool names_something = false; // an empty value ("-o ''") is refused as a missing one
};

constexpr ValueOption kValueOptions[] = {
    {"--a4", nullptr, "--a4 needs the pitch of A, 400 to 480 Hz", SetReferencePitch},
    {"--temperament", nullptr, "--temperament needs a name ('ondelis --help' lists them)",
     SetTemperament},
    {"--root", nullptr, "--root needs a note, a to g with '#' or 'b' (default c)", SetRoot},
    {"--scale", nullptr, "--scale needs a Scala scale file (.scl)", SetScale},
    {"--output", "-o", "-o needs the name of the WAV file to write, or - for standard output",
     SetOutputFile, nullptr, true},
    {"--rate", nullptr, "--rate needs the sample rate, 1000 to 768000 Hz", SetRate},
    {"--harmonics", nullptr, "--harmonics needs the number of partials, 1 to 16", SetHarmonics},
    // "--listen=SOURCE"; "--listen" alone is a flag
    {"--listen", nullptr, "--listen needs a sound file, - for standard input, or a capture device",
     SetListenSource, nullptr, true},
    {"--instrument", nullptr, "--instrument needs one of: ", SetInstrument, InstrumentNames},
    {"--strings", nullptr,
     "--strings needs a tuning ('ondelis --help' lists them) or notes, as D2,A2,D3,G3,B3,E4",
     SetStrings},
    {"--tolerance", nullptr, "--tolerance needs the cents of the in-tune band, 0.5 to 25",
     SetTolerance},
    {"--channel", nullptr,
     "--channel needs the number of the channel to listen to, 1 for the first", SetChannel},
    {"--piano", nullptr, "--piano needs the file of a piano's measured keys", SetPianoFile, nullptr,
     true},
    {"--octaves", nullptr,
     "--octaves needs the bass's, the middle's and the treble's, as 6:3,4:2,2:1", SetOctaves},
    {"--plot", nullptr, "--plot needs the SVG file to draw the curve in", SetPlot, nullptr, true},
};

// The options that take no value beside --listen: each sets its flag.
bool TakeFlag(ToneSettings& settings, const char* option) {
    if (std::strcmp(option, "--curve") == 0) { // the piano's, not listening's
        settings.piano.curve = true;
        return true;
    }
    if (std::strcmp(option, "--summary") == 0) {
        settings.summary = true;
    } else if (std::strcmp(option, "--strobe") == 0) {
        settings.strobe = true;
        settings.tuner_option = "--strobe";
    } else if (std::strcmp(option, "--measure") == 0) {
        settings.piano.measure = true;
    } else {
        return false;
    }
    settings.listen_option = option;
    return true;
}

// The option that `argument` names, and where its value starts when it is given in the same
// argument ("--a4=442"); `inline_value` stays null when the value is the next argument.
const ValueOption* FindValueOption(const char* argument, const char*& inline_value) {
    inline_value = nullptr;
    for (const ValueOption& option : kValueOptions) {
        const size_t length = std::strlen(option.name);
        if (std::strncmp(argument, option.name, length) == 0 && argument[length] == '=') {
            inline_value = argument + length + 1;
            return &option;
        }
        if (std::strcmp(argument, option.name) == 0 ||
            (option.short_name != nullptr && std::strcmp(argument, option.short_name) == 0)) {
            return &option;
        }
    }
    return nullptr;
}

// "-440" is a frequency: a single dash starts an option only for the short names there are.
bool IsOption(const char* argument) {
    const char* inline_value = nullptr;
    return StartsWith(argument, "--") || std::strcmp(argument, "-h") == 0 ||
           FindValueOption(argument, inline_value) != nullptr;
}

} // namespace

int TakeOptions(ToneSettings& settings, int argc, char** argv, int& first) {
    for (first = 1; first < argc && IsOption(argv[first]); ++first) {
        const char* option = argv[first];
        if (std::strcmp(option, "--") == 0) { // the end of the options, as for every tool
            ++first;
            return kGoOn;
        }
        if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) {
            std::fputs(UsageText(), stdout);
            return 0;
        }
        if (std::strcmp(option, "--listen") == 0) { // its source, if any, is positional
            if (!SetListening(settings)) {
                return 1;
            }
            continue;
        }
        if (TakeFlag(settings, option)) {
            continue;
        }
        if (std::strcmp(option, "--version") == 0) {
            std::puts(ONDELIS_NAME_AND_VERSION);
            return 0;
        }
        const char* value = nullptr;
        const ValueOption* known = FindValueOption(option, value);
        if (known == nullptr) {
            std::fprintf(stderr, "Unknown option: '%s' ('ondelis --help' lists the options)\n",
                         option);
            return 1;
        }
        if (value == nullptr && first + 1 < argc) {
            value = argv[++first];
        }
        if (value == nullptr || (known->names_something && *value == '\0')) {
            std::fprintf(stderr, "%s%s\n", known->needs,
                         known->values != nullptr ? known->values().c_str() : "");
            return 1;
        }
        if (!known->take(settings, value)) {
            return 1;
        }
    }
    return kGoOn;
}

int TakeLateOptions(ToneSettings& settings, int count, char** arguments,
                    std::vector<char*>& positional) {
    for (int i = 0; i < count;) {
        if (std::strcmp(arguments[i], "--") == 0) { // the rest is positional, whatever it is
            positional.insert(positional.end(), arguments + i + 1, arguments + count);
            break;
        }
        if (!IsOption(arguments[i])) {
            positional.push_back(arguments[i++]);
            continue;
        }
        // TakeOptions reads from its argv[1]: arguments[i - 1] stands in for the program.
        int first = 1;
        const int status = TakeOptions(settings, count - i + 1, arguments + i - 1, first);
        if (status != kGoOn) {
            return status;
        }
        i += first - 1;
    }
    return kGoOn;
}
