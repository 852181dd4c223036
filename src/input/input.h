// Input: the sound the program listens to and the text it reads. A capture device through
// ALSA, sound files through libsndfile, and text files such as scale files, each read in
// bounded pieces and refused, with the reason, when it is not what it claims to be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

// A capture device open for listening; its frames come mixed to mono, full scale 1. While
// one is open, SIGINT and SIGTERM ask the reading to stop instead of ending the program.
struct CaptureState;
// A device that does not answer when it is closed (a frozen sound server) ends the program
// within a quarter of a second, by stopped_by or else with exit_status (see ClosePcmOrEnd).
struct Capture {
    uint32_t rate = 0;
    int stopped_by = 0;   // the signal that stopped the reading, once ReadCapture said so
    int exit_status = 0;  // 1 once ReadCapture failed; a caller that fails may set it too
    unsigned channel = 0; // set before opening: 0 mixes the channels, N hears the N-th alone
    std::unique_ptr<CaptureState> state;
    Capture();
    ~Capture();
    Capture(Capture&&) noexcept;
    Capture& operator=(Capture&&) noexcept;
};

// Opens `device` for capture at `rate` (which receives the rate the device takes), one or two
// channels of FLOAT_LE, S32_LE or S16_LE, in periods of about `period` frames; with a channel
// chosen, at least that many as the device lays them out, so that no plug device or sound
// server mixes the others into it. Returns 0, or 1 after printing why (what the device
// refused), with the same message and hint as playback's devices.
int OpenCapture(Capture& capture, const char* device, uint32_t& rate, uint32_t period, FILE* out,
                FILE* err);

// What ReadCapture returns besides a count of frames.
constexpr long kCaptureStopped = 0; // a stop signal arrived: capture.stopped_by names it
constexpr long kCaptureGap = -1;    // input was lost (an overrun, noted on `err`); what
                                    // follows does not continue what came before
constexpr long kCaptureFailed = -2; // the device failed, or gave nothing for 3 s; said on `err`

// Waits for the next frames, never longer than a quarter of a second at a time, and stores
// up to mono.size() of them.
long ReadCapture(Capture& capture, std::span<float> mono, FILE* err);

// A sound file open for reading, a block at a time, its channels mixed to one.
struct SoundFileState;
struct SoundFile {
    uint32_t rate = 0;
    int channels = 0;
    bool seekable = false;
    int channel = 0; // set before opening: 0 mixes the channels, N reads the N-th alone
    std::unique_ptr<SoundFileState> state;
    SoundFile();
    ~SoundFile();
    SoundFile(SoundFile&&) noexcept;
    SoundFile& operator=(SoundFile&&) noexcept;
};

// Opens `path` ("-": the stream `standard_input`) as any format libsndfile reads. False, with
// `why` (a reason without the file's name), when it is not sound the listener can take: not a
// sound file, no channels, a rate outside kLowestRate .. kHighestRate, no channel
// `file.channel`, cut short, or FLAC, CAF or MP3 through a pipe (libsndfile seeks in them).
// A decoder's own messages are kept off standard error.
bool OpenSoundFile(const char* path, FILE* standard_input, SoundFile& file, std::string& why);

// Reads the next frames into `mono` (full scale 1), each the mean of its channels (or the
// one channel chosen). Returns how many, 0 at the end; -1 with `why` when the file holds a
// sample that is not a finite number, cannot be read further, or ends before its header
// says (found at its end, in a stream too).
long ReadSoundFile(SoundFile& file, std::span<float> mono, std::string& why);

// What a file gave since it was opened (or checked): frames, and the peaks of any one channel
// and of what was listened to.
struct SoundHeard {
    uint64_t frames = 0;
    float loudest_channel = 0;
    float loudest_heard = 0;
};
SoundHeard HeardSoFar(const SoundFile& file);

// What listening to a file that gave no reading found, besides the file's own sound.
struct Unheard {
    uint64_t asked = UINT64_MAX; // frames in the time asked for
    uint64_t least = 0;          // frames a first reading needs at the least
    double strongest_hz = 0;     // the tone that held most of the sound; 0: none did
    double lowest_hz = 0;        // the fundamentals the listener hears, lowest to highest
    double highest_hz = 0;
};

// Why a file read to its end, or through the time asked, gave no reading, in words: no sound
// in it at all, too short a time asked, silent, channels that cancel out in the mix, a tone
// outside what the listener hears, or no steady pitch.
std::string WhyNoPitch(const SoundFile& file, const Unheard& unheard);

// Reads a seekable file through its first `frames` frames (or to its end), then goes back to
// its start: false with `why` when any of it would be refused, so that a file is refused
// before a reading of it is printed.
bool CheckSoundFile(SoundFile& file, uint64_t frames, std::string& why);

// Reads the whole of a file of at most `limit` bytes into `text`. False, with the reason in
// `why`, when it cannot be read or is larger.
bool ReadTextFile(const char* path, size_t limit, std::string& text, std::string& why);
