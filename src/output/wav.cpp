#include "output.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

constexpr unsigned char kRiff[] = {'R', 'I', 'F', 'F'};
constexpr unsigned char kWave[] = {'W', 'A', 'V', 'E'};
constexpr unsigned char kFmt[] = {'f', 'm', 't', ' '};
constexpr unsigned char kData[] = {'d', 'a', 't', 'a'};

void ReportWriteFailure(FILE* out) {
    std::fputs("Unable to write to file!\n", out);
}

// The reason a file operation just failed, from errno; EIO when the C library left none.
int LastError() {
    return errno != 0 ? errno : EIO;
}

// Closes `file`: 0 when it closed and the writes before it (`written`) went through, else
// why not. fclose flushes what stdio still buffers, so its result is part of the write.
int CloseAfter(FILE* file, bool written) {
    const int write_error = written ? 0 : LastError();
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (write_error != 0) {
        return write_error;
    }
    return closed ? 0 : LastError();
}

// A signal ignored while a file is written, its former action restored afterwards: SIGPIPE
// when the reader of a pipe goes away, SIGXFSZ at a file size limit (ulimit -f). Either
// would end the program; ignored, the write fails and is reported.
class IgnoredSignal {
  public:
    explicit IgnoredSignal(int signal) : signal_(signal), previous_(std::signal(signal, SIG_IGN)) {}
    ~IgnoredSignal() { std::signal(signal_, previous_); }
    IgnoredSignal(const IgnoredSignal&) = delete;
    IgnoredSignal& operator=(const IgnoredSignal&) = delete;

  private:
    int signal_;
    void (*previous_)(int);
};

// The tone's frames as 24-bit samples, rendered and written a piece at a time.
bool WriteFrames(FILE* file, const ToneShape& tone) {
    FrameSource source = RenderedPieces(tone);
    bool written = true;
    for (int64_t first = 0; written && first < tone.frames; first += kPieceFrames) {
        const auto count =
            static_cast<int32_t>(std::min<int64_t>(kPieceFrames, tone.frames - first));
        const size_t size = 3 * static_cast<size_t>(count);
        written = std::fwrite(PackedFrames(source, first, count), 1, size, file) == size;
    }
    return written;
}

// Creates or truncates `path` and writes `bytes` to it: 0, or why it failed. `created` tells
// whether the file was opened, and so emptied, whatever came after.
int CreateWith(const char* path, const unsigned char* bytes, size_t size, bool& created) {
    errno = 0;
    FILE* file = std::fopen(path, "wb");
    created = file != nullptr;
    if (file == nullptr) {
        return LastError();
    }
    errno = 0;
    return CloseAfter(file, std::fwrite(bytes, 1, size, file) == size);
}

// Appends the tone's frames to `path`: 0, or why it failed.
int AppendTone(const char* path, const ToneShape& tone) {
    errno = 0;
    FILE* file = std::fopen(path, "ab");
    if (file == nullptr) {
        return LastError();
    }
    errno = 0;
    return CloseAfter(file, WriteFrames(file, tone));
}

// A regular file that an export emptied and then failed to fill would claim bytes it does
// not hold; it goes. A device (/dev/full) or a pipe is left as it is.
void RemovePartialFile(const char* path) {
    struct stat status {};
    if (stat(path, &status) == 0 && S_ISREG(status.st_mode)) {
        std::remove(path);
    }
}

} // namespace

void Decon4(uint32_t value, unsigned char* out) {
    const uint32_t b3 = value / 16777216u;
    value -= b3 * 16777216u;
    const uint32_t b2 = value / 65536u;
    value -= b2 * 65536u;
    const uint32_t b1 = value / 256u;
    out[0] = static_cast<unsigned char>(value & 0xFF);
    out[1] = static_cast<unsigned char>(b1);
    out[2] = static_cast<unsigned char>(b2);
    out[3] = static_cast<unsigned char>(b3);
}

void Decon2(uint16_t value, unsigned char* out) {
    out[0] = static_cast<unsigned char>(value & 0xFF);
    out[1] = static_cast<unsigned char>(value >> 8);
}

WavHeader WavHeaderBytes(uint32_t rate, unsigned bits, int32_t frames) {
    const uint32_t bytes_per_sample = bits / 8;
    const uint32_t data_size = static_cast<uint32_t>(frames) * bytes_per_sample;
    WavHeader h{};
    std::memcpy(&h[0], kRiff, 4);
    Decon4(data_size + 36, &h[4]);
    std::memcpy(&h[8], kWave, 4);
    std::memcpy(&h[12], kFmt, 4);
    Decon4(16, &h[16]);
    Decon2(1, &h[20]); // PCM
    Decon2(1, &h[22]); // mono
    Decon4(rate, &h[24]);
    Decon4(rate * bytes_per_sample, &h[28]);
    Decon2(static_cast<uint16_t>(bytes_per_sample), &h[32]);
    Decon2(static_cast<uint16_t>(bits), &h[34]);
    std::memcpy(&h[36], kData, 4);
    Decon4(data_size, &h[40]);
    return h;
}

int MAKE_HEADER(const char* path, uint32_t rate, unsigned bits, int32_t frames, FILE* out) {
    const WavHeader header = WavHeaderBytes(rate, bits, frames);
    bool created = false;
    if (CreateWith(path, header.data(), header.size(), created) != 0) {
        ReportWriteFailure(out);
        return 0;
    }
    return 1;
}

bool WriteWav(const char* path, uint32_t rate, const ToneShape& tone, FILE* out, FILE* err) {
    const IgnoredSignal size_limit(SIGXFSZ);
    const WavHeader header = WavHeaderBytes(rate, 24, static_cast<int32_t>(tone.frames));
    bool created = false;
    const int header_error = CreateWith(path, header.data(), header.size(), created);
    if (header_error != 0) {
        ReportWriteFailure(out);
    }
    // A header that failed does not stop the data: the append reports its own failure.
    const int data_error = AppendTone(path, tone);
    if (data_error != 0) {
        ReportWriteFailure(out);
    }
    const int error = header_error != 0 ? header_error : data_error;
    if (error == 0) {
        return true;
    }
    std::fflush(out);
    std::fprintf(err, "%s: %s\n", path, std::strerror(error));
    if (created) {
        RemovePartialFile(path);
    }
    return false;
}

bool StreamWav(FILE* stream, uint32_t rate, const ToneShape& tone, FILE* out) {
    const WavHeader header = WavHeaderBytes(rate, 24, static_cast<int32_t>(tone.frames));
    const IgnoredSignal reader_gone(SIGPIPE);
    const IgnoredSignal size_limit(SIGXFSZ);
    const bool written = std::fwrite(header.data(), 1, header.size(), stream) == header.size() &&
                         WriteFrames(stream, tone) && std::fflush(stream) == 0;
    if (!written) {
        ReportWriteFailure(out);
    }
    return written;
}

size_t WriteFile(const char* path, const unsigned char* data, int32_t frames, unsigned bits,
                 FILE* out) {
    FILE* file = std::fopen(path, "ab");
    if (file == nullptr) {
        ReportWriteFailure(out);
        return 0;
    }
    const size_t size = static_cast<size_t>(frames > 0 ? frames : 0) * (bits / 8);
    if (CloseAfter(file, std::fwrite(data, 1, size, file) == size) != 0) {
        ReportWriteFailure(out);
        return 0;
    }
    return size;
}
