#include "input.h"

#include "common/units.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// More channels than any recording has: a header that says so is not a recording.
constexpr int kMostChannels = 64;
// Frames read at a time.
constexpr size_t kBlockFrames = 4096;

// What a path that libsndfile cannot open is, in words, when the system says more than it.
std::string WhyNotOpened(const char* path) {
    struct stat status {};
    if (std::strcmp(path, "-") != 0 && stat(path, &status) != 0) {
        return errno == ENOENT ? "there is no such file" : std::strerror(errno);
    }
    if (std::strcmp(path, "-") != 0 && S_ISDIR(status.st_mode)) {
        return "it is a directory";
    }
    return sf_strerror(nullptr);
}

// A length in a header that says "as long as the stream goes": recorders writing to a pipe
// put these, not knowing the length.
constexpr long long kUnknownLength = 0x7fff0000;

// libsndfile reads a file cut short without an error, saying in its log that a chunk is
// shorter than its header claims ("data : 132300 (should be 29956)").
bool CutShort(SNDFILE* file) {
    char log[8192] = "";
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    for (const char* at = std::strstr(log, "(should be "); at != nullptr;
         at = std::strstr(at + 1, "(should be ")) {
        const char* line = at;
        while (line > log && line[-1] != '\n') {
            --line;
        }
        const char* colon = std::strchr(line, ':');
        if (colon == nullptr || colon > at) {
            continue;
        }
        const long long claimed = std::strtoll(colon + 1, nullptr, 10);
        const long long found = std::strtoll(at + std::strlen("(should be "), nullptr, 10);
        if (found < claimed && claimed < kUnknownLength) {
            return true;
        }
    }
    return false;
}

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

bool OpenSoundFile(const char* path, FILE* standard_input, SoundFile& file, std::string& why) {
    SF_INFO info{};
    SNDFILE* opened = std::strcmp(path, "-") == 0
                          ? sf_open_fd(fileno(standard_input), SFM_READ, &info, 0)
                          : sf_open(path, SFM_READ, &info);
    if (opened == nullptr) {
        why = WhyNotOpened(path);
        return false;
    }
    file.state = std::make_unique<SoundFileState>();
    file.state->file.reset(opened);
    if (info.channels < 1 || info.channels > kMostChannels) {
        why = "it has " + std::to_string(info.channels) + " channels";
        return false;
    }
    if (info.samplerate < static_cast<int>(kLowestRate) ||
        info.samplerate > static_cast<int>(kHighestRate)) {
        why = "its sample rate of " + std::to_string(info.samplerate) + " Hz is not one from " +
              std::to_string(kLowestRate) + " to " + std::to_string(kHighestRate);
        return false;
    }
    if (info.seekable != 0 && CutShort(opened)) {
        why = "it ends before its header says it does (cut short)";
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

bool CheckSoundFile(SoundFile& file, uint64_t frames, std::string& why) {
    float block[kBlockFrames];
    long got = 0;
    for (uint64_t read = 0; read < frames; read += static_cast<uint64_t>(got)) {
        const auto wanted = static_cast<size_t>(std::min<uint64_t>(kBlockFrames, frames - read));
        got = ReadSoundFile(file, std::span(block, wanted), why);
        if (got <= 0) {
            break;
        }
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
