#include "listen.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// More channels than any recording has: a header that says so is not a recording.
constexpr int kMostChannels = 64;
// Frames read at a time.
constexpr size_t kBlockFrames = 4096;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

} // namespace

struct SoundFileState {
    std::unique_ptr<SNDFILE, SndfileCloser> file;
    std::vector<float> interleaved;
};

SoundFile::SoundFile() = default;
SoundFile::~SoundFile() = default;
SoundFile::SoundFile(SoundFile&&) noexcept = default;
SoundFile& SoundFile::operator=(SoundFile&&) noexcept = default;

bool OpenSoundFile(const char* path, SoundFile& file, std::string& why) {
    SF_INFO info{};
    SNDFILE* opened = std::strcmp(path, "-") == 0 ? sf_open_fd(0, SFM_READ, &info, 0)
                                                  : sf_open(path, SFM_READ, &info);
    if (opened == nullptr) {
        why = sf_strerror(nullptr);
        return false;
    }
    file.state = std::make_unique<SoundFileState>();
    file.state->file.reset(opened);
    if (info.channels < 1 || info.channels > kMostChannels) {
        why = "it has " + std::to_string(info.channels) + " channels";
        return false;
    }
    if (info.samplerate < static_cast<int>(kLowestListenRate) ||
        info.samplerate > static_cast<int>(kHighestListenRate)) {
        why = "its sample rate of " + std::to_string(info.samplerate) + " Hz is not one from " +
              std::to_string(kLowestListenRate) + " to " + std::to_string(kHighestListenRate);
        return false;
    }
    file.rate = static_cast<uint32_t>(info.samplerate);
    file.channels = info.channels;
    file.seekable = info.seekable != 0;
    file.state->interleaved.assign(kBlockFrames * static_cast<size_t>(info.channels), 0.0f);
    return true;
}

long ReadSoundFile(SoundFile& file, std::span<float> mono, std::string& why) {
    SoundFileState& s = *file.state;
    const auto channels = static_cast<size_t>(file.channels);
    const size_t wanted = std::min(mono.size(), kBlockFrames);
    const sf_count_t got =
        sf_readf_float(s.file.get(), s.interleaved.data(), static_cast<sf_count_t>(wanted));
    if (got <= 0) {
        if (sf_error(s.file.get()) != SF_ERR_NO_ERROR) {
            why = sf_strerror(s.file.get());
            return -1;
        }
        return 0;
    }
    for (size_t frame = 0; frame < static_cast<size_t>(got); ++frame) {
        double sum = 0;
        for (size_t c = 0; c < channels; ++c) {
            sum += s.interleaved[frame * channels + c];
        }
        if (!std::isfinite(sum)) {
            why = "it holds a sample that is not a finite number (NaN or infinity)";
            return -1;
        }
        mono[frame] = static_cast<float>(sum / static_cast<double>(channels));
    }
    return static_cast<long>(got);
}

bool CheckSoundFile(SoundFile& file, std::string& why) {
    float block[kBlockFrames];
    long got = 0;
    while ((got = ReadSoundFile(file, block, why)) > 0) {
    }
    if (got < 0) {
        return false;
    }
    if (sf_seek(file.state->file.get(), 0, SEEK_SET) != 0) {
        why = "it cannot be read again from its start";
        return false;
    }
    return true;
}
