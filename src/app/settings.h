// The settings record that the whole run keeps, the string presets, and the tone the
// settings describe: rendering it, checking it, and the tuning and text input that set it.
#pragma once

#include "synth/synth.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

enum PitchSource { NOTE = 1, FREQUENCY = 2 };

struct ToneSettings {
    uint32_t sample_rate = 44100;
    bool rate_given = false; // --rate was given: a sound file, having its own, refuses it
    float length = 8.0f;     // seconds, never negative
    float frequency = 0.0f;  // Hz, as handed to the generator
    float level = 25.0f;     // percent of full scale
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
    // --strings: the open strings readings are named among, as listed (the lowest-placed
    // first), when string_count is above 0, each as the list spells it ("Eb2"); its value as
    // given.
    const char* strings = nullptr;
    NoteAboveA open_strings[12];
    char string_notes[12][4] = {};
    int string_count = 0;
    // --summary: a line for each note instead of a line for each reading.
    bool summary = false;
    // --strobe, and --tolerance: the cents within which a string held for half a second is in
    // tune.
    bool strobe = false;
    double tolerance = 1.0;
    const char* tuner_option = nullptr; // the last of them given

    // The last option given that only listening reads, for the message when --listen is not.
    const char* listen_option = nullptr;
    int channel = 0; // --channel: the one channel listened to (1 the first), 0 mixes them all

    // --piano: the piano file of measured keys, else null; --measure: listening writes into it
    // each key that sounds steadily.
    const char* piano_file = nullptr;
    bool measure = false;
};

// An open string of an instrument (G1 the high E of a guitar, violin4 the G of a violin, ...):
// the note it is tuned to and that note's octave offset, and the instrument it belongs to, as
// --instrument names it. An extended string (a 7-string guitar's low B) is played as a
// preset, but is none of the strings --instrument names readings among.
struct StringPreset {
    const char* token;
    const char* note;
    double octave;
    const char* instrument;
    bool extended = false;
};

// Every string preset, instrument by instrument, each one's strings from the highest.
std::span<const StringPreset> StringPresets();

// The longest preset's name ("mandolin1"), the longest word the menu has to know.
constexpr size_t kLongestPresetName = 9;

// The preset named by `token`, the whole word and case-sensitive, or null.
const StringPreset* FindStringPreset(const char* token);

// The instruments of --instrument, in the order of the presets ("guitar, bass, ..."), and
// whether `name` is one.
std::string InstrumentNames();
bool IsInstrument(const char* name);

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

// The tone of the settings, checked as every road to the device or a file checks it: false
// after saying on `failure` why it cannot be rendered; else true, after a line on standard
// error when it will be silent all along.
bool RenderChecked(const ToneSettings& settings, FILE* failure, RenderedTone& tone);

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
