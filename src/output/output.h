// Audio output: playback through ALSA and export to a 24-bit mono WAV file.
#pragma once

#include "device/device.h"
#include "synth/synth.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Plays `frames` packed S24_3LE mono samples on the ALSA device, the same samples in every
// channel, and returns once the device has drained. `rate` is the requested rate and
// receives the rate the device granted. Returns 0 when the tone was played, or 1 after a
// failure that ends the program (its message is already printed on `err`).
//
// While it plays, SIGINT and SIGTERM stop the tone instead of the program: no frame past
// the end of the cycle in progress (of a tone of `frequency` Hz, as MakeTone renders it) is
// handed to the device, the device plays what it holds, and PLAY returns
// kStoppedBySignal + the signal. A second signal meanwhile ends the program at once.
// Outside PLAY both signals keep their usual action.
[[nodiscard]] int PLAY(const char* device, uint32_t& rate, int channels, int32_t frames,
                       const unsigned char* data, FILE* out = stdout, FILE* err = stderr,
                       float frequency = 0);

// Plays `tone` as PLAY plays a rendered one, but renders each piece just before the device
// takes it: it starts at once and holds no more than a piece of it (kPieceFrames), however
// long it is. An endless tone plays until a stop signal.
[[nodiscard]] int PlayTone(const char* device, uint32_t& rate, int channels, const ToneShape& tone,
                           FILE* out = stdout, FILE* err = stderr);

// Where playback and export take a tone's frames from: a buffer that holds all of them, or
// the tone itself, rendered a piece at a time.
struct FrameSource {
    ToneShape tone;                      // its length, and where its cycles close
    const unsigned char* data = nullptr; // the whole tone packed, or null to render it
    std::vector<int32_t> samples;        // a rendered piece before packing
    std::vector<unsigned char> packed;   // a rendered piece, packed
    int64_t packed_first = 0;            // the frames `packed` holds: packed_first and on,
    int32_t packed_count = 0;            // packed_count of them
};

// A rendered piece: large enough that its writes cost little, small enough for the caches.
constexpr int32_t kPieceFrames = 16384;

// A source that renders `tone` a piece at a time.
FrameSource RenderedPieces(const ToneShape& tone);

// The most frames from `first` on that PackedFrames gives at once without making any of them
// twice: what is left of the piece it made last, when `first` is in it.
int64_t MostAtOnce(const FrameSource& source, int64_t first);

// The packed S24_3LE bytes of frames first .. first + count - 1 of the source, count at most
// MostAtOnce. They stay valid until the next call. A tone is rendered a whole piece at a
// time, from `first` on, unless the piece rendered last holds the frames asked for.
const unsigned char* PackedFrames(FrameSource& source, int64_t first, int32_t count);

struct ToneSettings;

// The "exp" command: reads a file name from `in` and writes the current tone to it as a
// 24-bit mono WAV file. Failures are reported on `out`; the program carries on.
void ExportTone(ToneSettings& settings, FILE* in, FILE* out);

// False, after saying why on `out`, when the tone of the settings cannot be written to a WAV
// file: an endless tone (the reason ends with `endless_hint`, how to give it a length), one
// too long for the header's size fields, or a rate whose byte rate (3 bytes a frame) passes
// its 32-bit field. Checked before any file is touched.
bool Exportable(const ToneSettings& settings, const char* endless_hint, FILE* out);

// Writes the tone to `path` as a 24-bit mono WAV file at `rate`, header then samples, as the
// "exp" command does. Each failure prints "Unable to write to file!" on `out`, and then one
// line on `err` names the file and why; a regular file left partly written is removed.
// True only when every byte was written.
bool WriteWav(const char* path, uint32_t rate, const ToneShape& tone, FILE* out,
              FILE* err = stderr);

// The same bytes to an open stream, a pipe to the next program: true when every byte reached
// it (flushed), else false after "Unable to write to file!" on `out`. A reader that goes away
// makes the write fail instead of ending the program by SIGPIPE.
bool StreamWav(FILE* stream, uint32_t rate, const ToneShape& tone, FILE* out);

// Largest tone whose data and RIFF sizes still fit the header's 32-bit fields.
constexpr int32_t kMaxWavFrames = (UINT32_MAX - 36) / 3;
// Highest rate whose byte rate, 3 bytes a frame, still fits its 32-bit field.
constexpr uint32_t kMaxWavRate = UINT32_MAX / 3;

constexpr size_t kWavHeaderSize = 44;
using WavHeader = std::array<unsigned char, kWavHeaderSize>;

// The 44-byte header of a mono PCM WAV file holding `frames` samples of `bits` bits.
WavHeader WavHeaderBytes(uint32_t rate, unsigned bits, int32_t frames);

// Creates or truncates `path` and writes the header. Returns 1 when it was written, 0 after
// printing "Unable to write to file!" on `out`.
int MAKE_HEADER(const char* path, uint32_t rate, unsigned bits, int32_t frames, FILE* out = stdout);

// Appends frames * bits / 8 bytes of sample data to `path`. Returns the number of bytes
// written, or 0 after printing "Unable to write to file!" on `out`.
size_t WriteFile(const char* path, const unsigned char* data, int32_t frames, unsigned bits,
                 FILE* out = stdout);

// Little-endian bytes of header fields.
void Decon4(uint32_t value, unsigned char* out);
void Decon2(uint16_t value, unsigned char* out);

// Writes `text` to `path` whole or not at all: into a new file beside it, flushed to the disk,
// then renamed over it, so that a reader, a crash or Ctrl-C meanwhile finds the old file or
// the new one, never part of one. False with `why` when any step fails (the new file removed).
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& why);
