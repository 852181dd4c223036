#include "app.h"
#include "piano_play.h"
#include "version.h"

#include "output/output.h"
#include "synth/synth.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <string>

namespace {

enum MenuHeader { BANNER = 0, NONE = 1, HELP = 2 };

enum class Step { Next, Play, Exit };

// Room for a menu word: the longest string preset is the longest word the menu knows.
constexpr size_t kWordCapacity = kLongestPresetName + 1;

constexpr const char* kHelp =
    "\n-------------------------------------\n" ONDELIS_NAME_AND_VERSION " by Tarvenne\n"
    "\nThis program may be run with command line arguments as follows:\n"
    "ondelis <frequency in Hz> <time in seconds> <soundcard device> <level>\n"
    "\nOr, run the program interactively using the commands below.\n"
    "Enter the note a,b,c,d,e,f,g plus '#' for a sharp and 'b' for a flat.\n"
    "For example: f# gb\n"
    "\n"
    "Enter G1 G2 G3 G4 G5 or G6 for guitar string tuning\n"
    "Enter B1 B2 B3 or B4 for bass string tuning\n"
    "(G7 and B5 are the low B of a 7-string guitar and of a 5-string bass; violin1-4,\n"
    "viola1-4, cello1-4, mandolin1-4, ukulele1-4 and banjo1-5 tune the other strings)\n"
    "-------------------------------------\n\n";

void PrintHeader(MenuHeader header, FILE* out) {
    if (header == BANNER) {
        std::fputs("\nOndelis\n\n", out);
    } else if (header == HELP) {
        std::fputs(kHelp, out);
    }
}

void PrintMenu(const ToneSettings& s, FILE* out) {
    if (const std::string tuning = TuningShown(s); !tuning.empty()) {
        std::fprintf(out, "Tuning: %s\n", tuning.c_str());
    }
    if (s.harmonics > 1) {
        std::fprintf(out, "Harmonics: %d\n", s.harmonics);
    }
    if (s.pitch_source == FREQUENCY) {
        std::fprintf(out, "Enter 'p' to play the current frequency (%.2f Hz)\n", s.frequency);
    } else {
        std::fprintf(out, "Enter 'p' to play current note (%.2f Hz)\n", s.frequency);
    }
    std::fprintf(out, "Enter 'o' to change the octave offset from %.2f\n", s.octave);
    std::fprintf(out, "Enter 'l' to change playback length from %.2f seconds\n", s.length);
    std::fputs("Enter 'z' to set a specific frequency\n", out);
    std::fprintf(out, "Enter 'cn' to change the cent value from %.2f\n\n", s.cents);
    std::fprintf(out, "Enter 's' to change soundcard device from '%s'\n", s.device);
    std::fprintf(out, "Enter 'r' to change the samplerate from %u\n", s.sample_rate);
    const float dbfs = 20 * std::log10(s.level / 100);
    std::fprintf(out, "Enter 'v' to change output volume from %.0f percent (%.2f dBFS)\n", s.level,
                 dbfs);
    std::fputs("Enter 'exp' to export to file\n\n", out);
    std::fputs("Enter 'h' for help and shortcuts\n", out);
    std::fputs("Enter 'x' to exit\n", out);
}

void Prompt(const char* text, FILE* out) {
    std::fprintf(out, "%s\n", text);
    std::fflush(out);
}

// "%f" as scanf reads it. A value that does not convert, or is NaN, is no value: NaN would
// pass every clamp.
bool ReadFloat(FILE* in, float& value) {
    float read = 0;
    if (std::fscanf(in, "%f", &read) != 1 || std::isnan(read)) {
        return false;
    }
    value = read;
    return true;
}

// "%i": decimal, 0x hexadecimal or 0 octal. Read as long long so that numbers beyond any
// range saturate and fail the range tests instead of wrapping into them.
bool ReadInteger(FILE* in, long long& value) {
    return std::fscanf(in, "%lli", &value) == 1;
}

float Clamp(float value, float low, float high) {
    return value > high ? high : (low > value ? low : value);
}

Step SetFrequency(ToneSettings& s, FILE* in, FILE* out) {
    Prompt("Enter frequency in Hz", out);
    if (ReadFloat(in, s.frequency)) {
        s.pitch_source = FREQUENCY;
    }
    return Step::Next;
}

Step SetOctave(ToneSettings& s, FILE* in, FILE* out) {
    Prompt("Enter -4 to 4, or 0 for no offset", out);
    long long value = 0;
    if (ReadInteger(in, value) && value >= -4 && value <= 4) {
        s.octave = static_cast<double>(value);
    }
    return Step::Next;
}

Step SetLength(ToneSettings& s, FILE* in, FILE* out) {
    Prompt("Enter length in seconds", out);
    float value = 0;
    if (ReadFloat(in, value)) {
        s.length = 0 > value ? 0 : value;
    }
    return Step::Next;
}

Step SetDevice(ToneSettings& s, FILE* in, FILE* out) {
    Prompt("Enter soundcard device name", out);
    ReadName(in, s.device, sizeof s.device, "Soundcard device name", out);
    return Step::Next;
}

Step SetLevel(ToneSettings& s, FILE* in, FILE* out) {
    Prompt("Enter output volume in percent of full scale", out);
    float value = 0;
    if (ReadFloat(in, value)) {
        s.level = Clamp(value, 0, 100);
    }
    return Step::Next;
}

Step SetRate(ToneSettings& s, FILE* in, FILE* out) {
    Prompt("Enter the samplerate", out);
    long long value = 0;
    if (!ReadInteger(in, value) || value < 0 || value > UINT32_MAX) {
        return Step::Next;
    }
    s.sample_rate = value == 0 ? 44100 : static_cast<uint32_t>(value);
    return Step::Next;
}

Step SetCents(ToneSettings& s, FILE* in, FILE* out) {
    Prompt("Enter the cents value (-100 to 100)", out);
    float value = 0;
    if (ReadFloat(in, value)) {
        s.cents = Clamp(value, -100, 100);
    }
    return Step::Next;
}

Step Export(ToneSettings& s, FILE* in, FILE* out) {
    ExportTone(s, in, out);
    return Step::Next;
}

Step Play(ToneSettings&, FILE*, FILE*) {
    return Step::Play;
}
Step Help(ToneSettings&, FILE*, FILE*) {
    return Step::Next;
}
Step Exit(ToneSettings&, FILE*, FILE*) {
    return Step::Exit;
}

struct Command {
    const char* token;
    Step (*act)(ToneSettings&, FILE* in, FILE* out);
};

constexpr Command kCommands[] = {
    {"p", Play},      {"h", Help},      {"x", Exit},      {"z", SetFrequency},
    {"o", SetOctave}, {"l", SetLength}, {"s", SetDevice}, {"v", SetLevel},
    {"r", SetRate},   {"exp", Export},  {"cn", SetCents},
};

void SelectNote(ToneSettings& s, const char* note, double octave) {
    std::strcpy(s.note, note);
    s.octave = octave;
    s.pitch_source = NOTE;
}

// A command, a string preset, or else a note to play. `token` is null for a word that did
// not fit the word buffer: never a command, and as a note it sounds as A.
Step Act(ToneSettings& s, const char* token, FILE* in, FILE* out) {
    if (token == nullptr) {
        SelectNote(s, "", s.octave);
        return Step::Play;
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(token, command.token) == 0) {
            return command.act(s, in, out);
        }
    }
    // A piano's key names its key, though G1 to G7 and B1 to B5 would name strings elsewhere.
    if (const int key = KeyOfName(token); key != 0 && PlaysPianoKeys(s)) {
        const NoteAboveA note = NoteOfKey(key);
        SelectNote(s, NoteNameAboveA(note.above_a), note.octave);
        return Step::Play;
    }
    if (const StringPreset* preset = FindStringPreset(token)) {
        SelectNote(s, preset->note, preset->octave);
        return Step::Play;
    }
    // A note with its octave number sets the offset, as a preset does.
    if (NoteAboveA note; ParseNoteWord(token, note)) {
        SelectNote(s, NoteNameAboveA(note.above_a), note.octave);
        return Step::Play;
    }
    // A word longer than any note name sounds as A too.
    SelectNote(s, std::strlen(token) < sizeof s.note ? token : "", s.octave);
    return Step::Play;
}

int PlayCurrentTone(ToneSettings& s, FILE* out) {
    if (PlaysPianoKeys(s) && s.pitch_source == NOTE && CurrentKey(s) == 0) {
        std::fputs("That note is no key of the piano: its keys are A0 to C8\n", out);
        return 0;
    }
    RefreshNoteFrequency(s);
    std::fprintf(out, "Frequency = %.2f Hz\n", s.frequency);
    std::fflush(out); // the frequency comes before a warning on standard error
    RenderedTone tone;
    if (!RenderChecked(s, out, tone)) {
        return 0;
    }
    return PlayTone(s.device, s.sample_rate, 2, tone.tone, out, stderr);
}

// Ctrl-C at the keyboard stops only the tone; the player is there to choose the next one.
// Piped or scripted input, or SIGTERM, ends the program as interrupted.
bool StoppedAtTheKeyboard(int status, FILE* in) {
    return status == kStoppedBySignal + SIGINT && isatty(fileno(in)) == 1;
}

} // namespace

int RunMenuLoop(ToneSettings& settings, FILE* in, FILE* out) {
    MenuHeader header = BANNER;
    for (;;) {
        RefreshNoteFrequency(settings);
        PrintHeader(header, out);
        PrintMenu(settings, out);
        std::fflush(out);

        char token[kWordCapacity] = "";
        const size_t length = ReadWord(in, token, sizeof token);
        if (length == kNoWord) {
            return 0; // the end of the input ends the menu as "x" does
        }
        const bool whole = StoredWhole(token, sizeof token, length);
        header = whole && std::strcmp(token, "h") == 0 ? HELP : NONE;
        const Step step = Act(settings, whole ? token : nullptr, in, out);
        if (step == Step::Exit) {
            return 0;
        }
        if (step == Step::Play) {
            const int status = PlayCurrentTone(settings, out);
            if (StoppedAtTheKeyboard(status, in)) {
                std::fputs("\nTone stopped.\n", out); // after the echoed ^C
            } else if (status != 0) {
                return status;
            }
        }
    }
}
