#include "output.h"

#include <algorithm>
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

// fclose flushes what stdio still buffers, so its result is part of the write.
bool Closed(FILE* file) {
    return std::fclose(file) == 0;
}

bool WriteAll(FILE* file, const unsigned char* bytes, size_t size) {
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    return Closed(file) && written;
}

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

bool AppendTone(const char* path, const ToneShape& tone, FILE* out) {
    FILE* file = std::fopen(path, "ab");
    if (file == nullptr) {
        ReportWriteFailure(out);
        return false;
    }
    const bool written = WriteFrames(file, tone);
    if (!Closed(file) || !written) {
        ReportWriteFailure(out);
        return false;
    }
    return true;
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
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        ReportWriteFailure(out);
        return 0;
    }
    const WavHeader header = WavHeaderBytes(rate, bits, frames);
    if (!WriteAll(file, header.data(), header.size())) {
        ReportWriteFailure(out);
        return 0;
    }
    return 1;
}

size_t WriteTone(const char* path, const ToneShape& tone, FILE* out) {
    if (!AppendTone(path, tone, out)) {
        return 0;
    }
    return 3 * static_cast<size_t>(std::max<int64_t>(tone.frames, 0));
}

bool WriteWav(const char* path, uint32_t rate, const ToneShape& tone, FILE* out) {
    // A header that failed does not stop the data: the append reports its own failure.
    const bool header = MAKE_HEADER(path, rate, 24, static_cast<int32_t>(tone.frames), out) == 1;
    return AppendTone(path, tone, out) && header;
}

bool StreamWav(FILE* stream, uint32_t rate, const ToneShape& tone, FILE* out) {
    const WavHeader header = WavHeaderBytes(rate, 24, static_cast<int32_t>(tone.frames));
    void (*previous)(int) = std::signal(SIGPIPE, SIG_IGN);
    const bool written = std::fwrite(header.data(), 1, header.size(), stream) == header.size() &&
                         WriteFrames(stream, tone) && std::fflush(stream) == 0;
    std::signal(SIGPIPE, previous);
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
    if (!WriteAll(file, data, size)) {
        ReportWriteFailure(out);
        return 0;
    }
    return size;
}
