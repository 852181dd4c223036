// Front end: the settings record, rendering a tone from it, direct mode and the menu.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

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
};

enum class RenderStatus { Ok, TooLong, NoMemory };

// One rendered tone: frames * 3 bytes of packed S24_3LE mono samples.
struct RenderedTone {
    RenderStatus status = RenderStatus::Ok;
    int32_t frames = 0;
    std::unique_ptr<unsigned char[]> packed;
};

// sample rate * length, truncated; false when that is not a count of 0 to 2^31 - 1 frames.
bool ToneFrames(const ToneSettings& settings, int32_t& frames);

// Renders the tone of the settings as they stand (the caller refreshes a note's frequency).
RenderedTone RenderTone(const ToneSettings& settings);

// Prints why a tone could not be rendered, as one line.
void ReportRenderFailure(const ToneSettings& settings, const RenderedTone& tone, FILE* stream);

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

// Direct mode: summary, one tone, then the exit status.
int RunDirectMode(ToneSettings& settings, int argc, char** argv);

// The interactive menu, reading tokens from `in` and writing to `out` until "x" or the end
// of the input. Returns the exit status.
int RunMenuLoop(ToneSettings& settings, FILE* in, FILE* out);
