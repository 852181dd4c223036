// Front end: the settings record, rendering a tone from it, direct mode and the menu.
#pragma once

#include "synth/synth.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

enum PitchSource { NOTE = 1, FREQUENCY = 2 };

struct ToneSettings {
    uint32_t sample_rate = 44100;
    float length = 8.0f;    // seconds, never negative
    float frequency = 0.0f; // Hz, as handed to the generator
    float level = 25.0f;    // percent of full scale
    float cents = 0.0f;
    double octave = 0.0;
    char note[4] = "a";
    char device[32] = "default";
    char export_file[128] = "tone.wav";
    PitchSource pitch_source = NOTE;
    double a4 = 440.0; // Hz, the pitch of A that every note is counted from
    Tuning tuning;     // how the notes are laid out: equal temperament unless chosen
    const char* temperament = nullptr; // the temperament or the scale file chosen, if any
    const char* scale_file = nullptr;
    char root[4] = "c"; // the note the tuning is laid from
    int harmonics = 1;  // partials of the tone, the fundamental first: 1 is the pure sine
    // Direct mode writes its tone to this file instead of playing it; "-" is standard
    // output, empty plays the tone.
    char output_file[4096] = "";
    // --listen: the sound file to read the pitch of ("-": standard input) or the capture
    // device to listen to, as --listen=SOURCE names it, else null; and the instrument whose
    // open strings the readings name, null when not given.
    bool listening = false;
    const char* listen_source = nullptr;
    const char* instrument = nullptr;
};

// An open string of an instrument (G1 the high E of a guitar, violin4 the G of a violin, ...):
// the note it is tuned to and that note's octave offset.
struct StringPreset {
    const char* token;
    const char* note;
    double octave;
};

// Every string preset, instrument by instrument, each one's strings from the highest.
std::span<const StringPreset> StringPresets();

// The preset named by `token`, the whole word and case-sensitive, or null.
const StringPreset* FindStringPreset(const char* token);

enum class RenderStatus { Ok, TooLong };

// The tone of the settings, ready to be played or written: its frames are rendered as they
// are consumed, so that a tone of any length takes the same memory.
struct RenderedTone {
    RenderStatus status = RenderStatus::Ok;
    ToneShape tone;
};

// sample rate * length, truncated; false when that is not a count of 0 to 2^31 - 1 frames.
bool ToneFrames(const ToneSettings& settings, int32_t& frames);

// A length of inf: the tone plays until it is stopped.
bool IsEndless(const ToneSettings& settings);

// The tone of the settings as they stand (the caller refreshes a note's frequency).
RenderedTone RenderTone(const ToneSettings& settings);

// Prints why a tone could not be rendered, as one line.
void ReportRenderFailure(const ToneSettings& settings, const RenderedTone& tone, FILE* stream);

// Why the tone of `frequency` Hz at `rate` is silence for all its length because of its
// frequency (0 or NaN, at or above half the rate, or a cycle longer than the whole tone),
// as one line; empty when it sounds.
std::string WhySilent(float frequency, uint32_t rate, const ToneShape& tone);

// Prints WhySilent for the tone of the settings on `stream`, if there is a reason.
void WarnIfSilent(const ToneSettings& settings, const RenderedTone& tone, FILE* stream);

// Frequency of the current note, stored as the settings keep it.
void RefreshNoteFrequency(ToneSettings& settings);

// Reads one whitespace-separated word as scanf's "%s" does, but never past the buffer: the
// first capacity - 1 bytes are stored and the rest of the word is consumed. Returns the
// whole word's length, or kNoWord at the end of the input.
constexpr size_t kNoWord = SIZE_MAX;
size_t ReadWord(FILE* in, char* buffer, size_t capacity);

// True when a word of `length` bytes was stored whole in `buffer`, without a zero byte.
bool StoredWhole(const char* buffer, size_t capacity, size_t length);

// Reads a word into a text field. A word that does not fit or holds a zero byte is refused
// with a message on `out` (`what` names the field) and the field keeps its value. Returns
// true when the field took the new word.
bool ReadName(FILE* in, char* field, size_t capacity, const char* what, FILE* out);

// The tuning options: each takes its value, or prints why not and returns false.
bool SetTemperament(ToneSettings& settings, const char* name);
bool SetRoot(ToneSettings& settings, const char* note);
bool SetScale(ToneSettings& settings, const char* path);

// The tuning chosen by an option, as "werckmeister3 on c"; empty when none was chosen.
std::string TuningShown(const ToneSettings& settings);

// One moment of the tuner's line at a terminal: the pitch heard and its target, or, while no
// pitch sounds, the input level, so that a player sees that the microphone hears at all.
struct NeedleView {
    bool sounding = false;
    std::string note; // the nearest note, "E2"
    double hz = 0;
    double cents = 0; // from the target
    double target_hz = 0;
    std::string string;      // the instrument's string, with --instrument
    double level_dbfs = -99; // while nothing sounds
};

// The tuner's line: the note, the Hz, the cents, a needle of +-50 cents with the target in its
// middle, the target's Hz, the string, and a mark within 1 cent of the target; in UTF-8 or
// plain ASCII for a C-locale terminal. Never wider than 79 columns.
std::string NeedleLine(const NeedleView& view, bool utf8);

// Columns a line of NeedleLine's takes on a terminal.
size_t Columns(const std::string& text);

// --listen and --instrument: each takes its value, or prints why not and returns false.
bool SetListenSource(ToneSettings& settings, const char* source);
bool SetInstrument(ToneSettings& settings, const char* name);

// The open string of the instrument of the settings nearest `hz`, and how many cents `hz` is
// above its pitch as the settings' tuning lays it.
struct NearestString {
    const StringPreset* preset = nullptr;
    double cents = 0;
};
NearestString NearestOpenString(const ToneSettings& settings, double hz);

// A reading as --listen prints it: TIME, HZ, NOTE and CENTS tab-separated, and the string
// with --instrument, ended by a newline.
std::string ReadingLine(const ToneSettings& settings, double time, double hz);

// --listen: reads the source of the settings ("-": `in`), or its first `seconds` (the one
// positional argument, `arguments[0]`, when `count` is 1), and prints a line for each reading
// on standard output. Returns the exit status.
int RunListen(const ToneSettings& settings, int count, char** arguments, FILE* in);

// Frames in `seconds` of input at `rate`, rounded up; inf for all of it.
uint64_t FramesIn(double seconds, uint32_t rate);

// Whether a terminal takes UTF-8, by the locale's name: the first of LC_ALL, LC_CTYPE and
// LANG that is set and not empty.
bool Utf8Locale(const char* lc_all, const char* lc_ctype, const char* lang);

// The needle's view of a pitch heard: the nearest note (the nearest string with
// --instrument), the cents from it as the settings' tuning lays it, and its frequency.
NeedleView NeedleViewOf(const ToneSettings& settings, double hz);

// Listens to the ALSA capture device `device` for `seconds` (inf: until Ctrl-C or SIGTERM):
// reading lines as RunListen prints them, or the needle's line at a terminal. Returns the
// exit status: 0 after `seconds`, kStoppedBySignal + the signal after a stop, 1 when the
// device cannot be opened or fails.
int ListenLive(const ToneSettings& settings, const char* device, double seconds);

// Status of TakeOptions when the program goes on to direct mode or the menu.
constexpr int kGoOn = -1;

// Reads the options in front of the positional arguments (-h, --help, --version, --a4 HZ,
// --a4=HZ); `first` receives the index of the first positional argument. Returns kGoOn, or
// the exit status once help or the version is printed or an option is refused.
int TakeOptions(ToneSettings& settings, int argc, char** argv, int& first);

// Direct mode on the positional arguments argv[1] .. argv[argc - 1]: summary, one tone,
// then the exit status (kStoppedBySignal + the signal when one stopped the tone).
int RunDirectMode(ToneSettings& settings, int argc, char** argv);

// The whole command line: the options, then direct mode when a positional argument follows,
// else the menu on `in` and `out`. Returns the exit status as above.
int RunCommandLine(ToneSettings& settings, int argc, char** argv, FILE* in, FILE* out);

// The interactive menu, reading tokens from `in` and writing to `out` until "x" or the end
// of the input. Returns the exit status.
int RunMenuLoop(ToneSettings& settings, FILE* in, FILE* out);
