#include "input.h"

#include "channels.h"
#include "common/units.h"
#include "sound_kinds.h"
#include "stream_bytes.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace {

// More channels than any recording has: a header that says so is not a recording.
constexpr int kMostChannels = 64;
// Frames read at a time.
constexpr size_t kBlockFrames = 4096;

// A length in a header that says "as long as the stream goes": recorders writing to a pipe
// put these (0x7fff0000, 0x80000000, 0xffffffff bytes), not knowing the length.
constexpr long long kUnknownLength = 0x7fff0000;

// The sample rate of a WAV file's header, as the file holds it, or 0: libsndfile refuses a
// rate beyond an int's range without naming it.
uint32_t WavHeaderRate(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::string head(4096, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    const size_t fmt = head.find("fmt ");
    if (head.compare(0, 4, "RIFF") != 0 || fmt == std::string::npos || fmt + 16 > head.size()) {
        return 0;
    }
    uint32_t rate = 0;
    for (int i = 3; i >= 0; --i) {
        rate = rate << 8 | static_cast<unsigned char>(head[fmt + 12 + static_cast<size_t>(i)]);
    }
    return rate;
}

std::string RateRefused(unsigned long long rate) {
    return "its sample rate of " + std::to_string(rate) + " Hz is not one from " +
           std::to_string(kLowestRate) + " to " + std::to_string(kHighestRate);
}

// What a path that libsndfile cannot open is, in words, when the system says more than it.
std::string WhyNotOpened(const char* path) {
    struct stat status {};
    if (std::strcmp(path, "-") != 0 && stat(path, &status) != 0) {
        return errno == ENOENT ? "there is no such file" : std::strerror(errno);
    }
    if (std::strcmp(path, "-") != 0 && S_ISDIR(status.st_mode)) {
        return "it is a directory";
    }
    if (std::strcmp(path, "-") != 0) {
        if (const uint32_t rate = WavHeaderRate(path); rate > kHighestRate) {
            return RateRefused(rate);
        }
    }
    return sf_strerror(nullptr);
}

// libsndfile reads a file cut short without an error, saying in its log that a chunk is
// shorter than its header claims ("data : 132300 (should be 29956)"). Only the chunks' own
// lines count, at the start of a line: an indented field that is off ("  Bytes/sec : 22356
// (should be 22355)", as ADPCM encoders write it) is no cut, but for RF64's size. An Ogg file's own
// pages, when they were looked at (`ogg_whole`), say it instead of the log.
bool CutShort(SNDFILE* file, std::optional<bool> ogg_whole) {
    if (ogg_whole.has_value()) {
        return !*ogg_whole;
    }
    char log[8192] = "";
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    for (const char* at = std::strstr(log, "(should be "); at != nullptr;
         at = std::strstr(at + 1, "(should be ")) {
        const char* line = at;
        while (line > log && line[-1] != '\n') {
            --line;
        }
        const char* colon = std::strchr(line, ':');
        // RF64 keeps its sizes in its ds64 chunk, whose fields the log indents.
        const bool indented =
            (*line == ' ' || *line == '\t') &&
            std::strncmp(line, "  Riff size :", std::strlen("  Riff size :")) != 0;
        if (colon == nullptr || colon > at || indented) {
            continue;
        }
        const long long claimed = std::strtoll(colon + 1, nullptr, 10);
        const long long found = std::strtoll(at + std::strlen("(should be "), nullptr, 10);
        if (found < claimed && claimed < kUnknownLength) {
            return true;
        }
    }
    // An Ogg stream (Vorbis, Opus) cut short ends without its last page's flag: in a stream,
    // which libsndfile reads to its end only once, its log says so truly.
    return std::strstr(log, "without an End-Of-Stream flag") != nullptr;
}

// Bytes a frame of `info` takes in a file of plain samples; 2 for what is coded otherwise.
long long BytesPerFrame(const SF_INFO& info) {
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return info.channels;
    case SF_FORMAT_PCM_24:
        return 3LL * info.channels;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 4LL * info.channels;
    case SF_FORMAT_DOUBLE:
        return 8LL * info.channels;
    default:
        return 2LL * info.channels;
    }
}

// The frames the header promises, or -1 when it does not know (a stream's header).
sf_count_t DeclaredFrames(const SF_INFO& info) {
    if (info.frames <= 0 || info.frames >= SF_COUNT_MAX / 16 ||
        info.frames * BytesPerFrame(info) >= kUnknownLength) {
        return -1;
    }
    return info.frames;
}

// Whether the Ogg file `path` ("-": the file on `standard_input`) ends with its last page whole
// and flagged as the end. libsndfile's log says that a whole file of a second or two, as SoX
// and ffmpeg write them, ends without the flag, which its last page carries: the pages are
// looked at instead.
bool OggFileEndsWhole(const char* path, int standard_input) {
    if (std::strcmp(path, "-") == 0) {
        return OggEndsWhole(standard_input);
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool whole = OggEndsWhole(fd);
    close(fd);
    return whole;
}

// libsndfile, reading an RF64 file through a pipe, takes the first 8 bytes of its samples for
// the name and size of one more chunk: the frames they held are lost, and the rest is still
// read as sound when they held whole frames of plain samples. The frames lost (0 for all else),
// or -1 when what follows is read out of step.
sf_count_t Rf64FramesLost(const SF_INFO& info, bool pipe) {
    constexpr long long kBytesTaken = 8;
    if (!pipe || (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_RF64) {
        return 0;
    }
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        break;
    default:
        return -1;
    }
    const long long frame = BytesPerFrame(info);
    return kBytesTaken % frame == 0 ? kBytesTaken / frame : -1;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

} // namespace

struct SoundFileState {
    std::unique_ptr<SNDFILE, SndfileCloser> file;
    std::vector<float> interleaved;
    int chatter = -1; // the decoder's standard error while it works
    bool mpeg = false;
    sf_count_t declared = -1;      // frames the header promises, -1 when unknown
    std::optional<bool> ogg_whole; // whether an Ogg file's last page ends it, when looked at
    sf_count_t read = 0;
    sf_count_t lost = 0;       // frames of the header's that libsndfile passes over unread
    float loudest_channel = 0; // peaks so far, of any one channel and of what was listened to
    float loudest_heard = 0;

    SoundFileState() : chatter(memfd_create("ondelis-decoder", MFD_CLOEXEC)) {}
    ~SoundFileState() {
        file.reset();
        if (chatter >= 0) {
            close(chatter);
        }
    }
    SoundFileState(const SoundFileState&) = delete;
    SoundFileState& operator=(const SoundFileState&) = delete;
};

SoundFile::SoundFile() = default;
SoundFile::~SoundFile() = default;
SoundFile::SoundFile(SoundFile&&) noexcept = default;
SoundFile& SoundFile::operator=(SoundFile&&) noexcept = default;

namespace {

// What refuses a file that libsndfile opened, or empty.
std::string Refusal(const SF_INFO& info, const SoundFile& file, bool pipe, SNDFILE* opened,
                    std::optional<bool> ogg_whole) {
    if (info.channels < 1 || info.channels > kMostChannels) {
        return "it has " + std::to_string(info.channels) + " channels";
    }
    if (info.samplerate < static_cast<int>(kLowestRate) ||
        info.samplerate > static_cast<int>(kHighestRate)) {
        return RateRefused(static_cast<unsigned long long>(std::max(info.samplerate, 0)));
    }
    if (file.channel > info.channels) {
        return "it has " + std::to_string(info.channels) + " channel" +
               (info.channels == 1 ? "" : "s") + ", so --channel " + std::to_string(file.channel) +
               " is none of them";
    }
    if (pipe && NeedsAFile(info.format) != nullptr) {
        return ReadFromAFile(NeedsAFile(info.format));
    }
    if (Rf64FramesLost(info, pipe) < 0) {
        return ReadFromAFile("rf64");
    }
    if (info.seekable != 0 && CutShort(opened, ogg_whole)) {
        return "it ends before its header says it does (cut short)";
    }
    return "";
}

// libsndfile closes a descriptor it finds no sound in, though told to leave it open: the
// caller's standard input would be gone, and the next file opened would take its number (and
// be read as standard input). It is given a copy of its own to close, then.
SNDFILE* OpenStream(int fd, SF_INFO& info) {
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return nullptr;
    }
    SNDFILE* opened = sf_open_fd(copy, SFM_READ, &info, SF_TRUE);
    if (opened == nullptr && fcntl(copy, F_GETFD) >= 0) {
        close(copy); // a failure that left it open: nothing opened since could have its number
    }
    return opened;
}

} // namespace

bool OpenSoundFile(const char* path, FILE* standard_input, SoundFile& file, std::string& why) {
    auto state = std::make_unique<SoundFileState>();
    SF_INFO info{};
    const bool is_stdin = std::strcmp(path, "-") == 0;
    const bool pipe = is_stdin && lseek(fileno(standard_input), 0, SEEK_CUR) < 0;
    if (pipe && !(why = PipeRefused(fileno(standard_input))).empty()) {
        return false;
    }
    SNDFILE* opened = nullptr;
    {
        const Hushed hushed(state->chatter);
        opened =
            is_stdin ? OpenStream(fileno(standard_input), info) : sf_open(path, SFM_READ, &info);
    }
    if (opened == nullptr) {
        why = DecoderFailed(state->chatter) ? kNoSoundFile
              : is_stdin                    ? WhyStreamNotOpened(pipe)
                                            : WhyNotOpened(path);
        return false;
    }
    state->file.reset(opened);
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG && info.seekable != 0) {
        state->ogg_whole = OggFileEndsWhole(path, fileno(standard_input));
    }
    why = Refusal(info, file, pipe, opened, state->ogg_whole);
    state->mpeg = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    if (why.empty() && state->mpeg && DecoderFailed(state->chatter)) {
        why = kNoSoundFile;
    }
    if (!why.empty()) {
        return false;
    }
    state->declared = DeclaredFrames(info);
    state->lost = Rf64FramesLost(info, pipe);
    file.rate = static_cast<uint32_t>(info.samplerate);
    file.channels = info.channels;
    file.seekable = info.seekable != 0;
    state->interleaved.assign(kBlockFrames * static_cast<size_t>(info.channels), 0.0f);
    file.state = std::move(state);
    return true;
}

namespace {

// At the end of the file: false, with `why`, when it ended before its header said, or its
// bytes were no MPEG audio after all.
bool EndedWhole(SoundFileState& s, std::string& why) {
    if (s.mpeg && DecoderFailed(s.chatter)) {
        why = kNoSoundFile;
        return false;
    }
    if ((s.declared >= 0 && s.read + s.lost < s.declared) || CutShort(s.file.get(), s.ogg_whole)) {
        why = "it ends before its header says it does (cut short)";
        return false;
    }
    return true;
}

} // namespace

long ReadSoundFile(SoundFile& file, std::span<float> mono, std::string& why) {
    SoundFileState& s = *file.state;
    const auto channels = static_cast<size_t>(file.channels);
    const size_t wanted = std::min(mono.size(), kBlockFrames);
    sf_count_t got = 0;
    {
        const Hushed hushed(s.mpeg ? s.chatter : -1);
        got = sf_readf_float(s.file.get(), s.interleaved.data(), static_cast<sf_count_t>(wanted));
    }
    if (got <= 0) {
        if (sf_error(s.file.get()) != SF_ERR_NO_ERROR) {
            why = sf_strerror(s.file.get());
            return -1;
        }
        return EndedWhole(s, why) ? 0 : -1;
    }
    s.read += got;
    for (size_t frame = 0; frame < static_cast<size_t>(got); ++frame) {
        const float* samples = s.interleaved.data() + frame * channels;
        double sum = 0;
        for (size_t c = 0; c < channels; ++c) {
            sum += samples[c];
            s.loudest_channel = std::max(s.loudest_channel, std::fabs(samples[c]));
        }
        if (!std::isfinite(sum)) {
            why = "it holds a sample that is not a finite number (NaN or infinity)";
            return -1;
        }
        mono[frame] =
            HeardInFrame(std::span(samples, channels), static_cast<unsigned>(file.channel));
        s.loudest_heard = std::max(s.loudest_heard, std::fabs(mono[frame]));
    }
    return static_cast<long>(got);
}

SoundHeard HeardSoFar(const SoundFile& file) {
    const SoundFileState& s = *file.state;
    return {static_cast<uint64_t>(s.read), s.loudest_channel, s.loudest_heard};
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
    file.state->read = 0;
    file.state->loudest_channel = file.state->loudest_heard = 0;
    return true;
}
