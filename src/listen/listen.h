// Listening: the pitch of a sound fed to it piece by piece, and the sound files it reads.
// The estimator is pure code: samples in, readings out, in memory fixed by the sample rate
// alone, so that a file of ten minutes and a live device cost what ten seconds do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

// The sample rates the estimator takes, as --rate's.
constexpr uint32_t kLowestListenRate = 1000;
constexpr uint32_t kHighestListenRate = 768000;

// A pitch heard: the frequency of its first partial in Hz (the fundamental as it sounds: a
// stiff string's stands a little above the f0 its upper partials are stretched from), the
// seconds of input up to the last sample it depends on, and how sure it is: the share of the
// sound's power that the note's partials hold (0 to 1). Readings less sure than the
// estimator's threshold are not given.
struct PitchReading {
    double time = 0;
    double hz = 0;
    double confidence = 0;
};

struct ListenerState; // the buffers and transforms, sized once by the rate

// The estimator. Fed any number of samples at a time; it reads once per hop of the input.
struct Listener {
    uint32_t rate = 0;
    std::unique_ptr<ListenerState> state;
    Listener();
    ~Listener();
    Listener(Listener&&) noexcept;
    Listener& operator=(Listener&&) noexcept;
};

// An estimator for mono samples at `rate` Hz (kLowestListenRate to kHighestListenRate).
Listener NewListener(uint32_t rate);

// Takes samples (full scale is 1) up to the end of the next hop and returns how many it took;
// the caller feeds the rest after reading. Samples that are not finite count as silence,
// and those beyond a million times full scale are clipped there.
size_t FeedListener(Listener& listener, std::span<const float> samples);

// The pitch of the hop that the last feed completed, once; none while no pitch sounds
// (silence, noise) or when no hop was completed since the last read.
std::optional<PitchReading> ReadListener(Listener& listener);

// Samples per hop: the estimator reads this often (at least 20 times a second).
size_t ListenerHop(const Listener& listener);

// A sound file open for reading, a block at a time, its channels mixed to one.
struct SoundFileState;
struct SoundFile {
    uint32_t rate = 0;
    int channels = 0;
    bool seekable = false;
    std::unique_ptr<SoundFileState> state;
    SoundFile();
    ~SoundFile();
    SoundFile(SoundFile&&) noexcept;
    SoundFile& operator=(SoundFile&&) noexcept;
};

// Opens `path` ("-": the stream `standard_input`) as any format libsndfile reads. False, with `why`
// (a reason without the file's name), when it is not sound the estimator can take: not a
// sound file, no channels, a rate outside kLowestListenRate .. kHighestListenRate.
bool OpenSoundFile(const char* path, FILE* standard_input, SoundFile& file, std::string& why);

// Reads the next frames into `mono` (full scale 1), each the mean of its channels. Returns how
// many, 0 at the end; -1 with `why` when the file holds a sample that is not a finite number
// or cannot be read further.
long ReadSoundFile(SoundFile& file, std::span<float> mono, std::string& why);

// Reads a seekable file through its first `frames` frames (or to its end), then goes back to
// its start: false with `why` when any of it would be refused, so that a file is refused
// before a reading of it is printed.
bool CheckSoundFile(SoundFile& file, uint64_t frames, std::string& why);
