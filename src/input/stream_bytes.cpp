#include "stream_bytes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Bitrates in kbit/s by bitrate index 1..14: MPEG-1's layers I, II, III, then MPEG-2 and 2.5's
// layer I, and their layers II and III.
constexpr int kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
// Sample rates by rate index, for MPEG-1; MPEG-2 halves them and MPEG-2.5 quarters them.
constexpr int kRates[3] = {44100, 48000, 32000};

// The bytes of the MPEG audio frame whose header is `h`, or 0 when it is no valid header
// (a reserved version, layer, rate or emphasis, a free or bad bitrate). `key` receives what
// every frame of one stream shares: version, layer and rate.
size_t FrameBytes(const unsigned char* h, int& key) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
        return 0;
    }
    const int version = h[1] >> 3 & 3; // 0: MPEG-2.5, 2: MPEG-2, 3: MPEG-1
    const int layer = 4 - (h[1] >> 1 & 3);
    const int bitrate_index = h[2] >> 4;
    const int rate_index = h[2] >> 2 & 3;
    if (version == 1 || layer == 4 || bitrate_index == 0 || bitrate_index == 15 ||
        rate_index == 3 || (h[3] & 3) == 2) {
        return 0;
    }
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const long bitrate = 1000L * kBitrates[table][bitrate_index - 1];
    const long rate = kRates[rate_index] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const long padding = h[2] >> 1 & 1;
    key = h[1] & 0xFE;
    key = key << 8 | rate_index;
    if (layer == 1) {
        return static_cast<size_t>((12 * bitrate / rate + padding) * 4);
    }
    const long per_frame = layer == 3 && !mpeg1 ? 72 : 144;
    return static_cast<size_t>(per_frame * bitrate / rate + padding);
}

// The bytes of the ID3v2 tag at the start of `bytes`, 0 when there is none; its size is
// four bytes of seven bits each.
size_t Id3Bytes(std::span<const unsigned char> bytes) {
    if (bytes.size() < 10 || std::memcmp(bytes.data(), "ID3", 3) != 0 || bytes[3] == 0xFF ||
        bytes[4] == 0xFF) {
        return 0;
    }
    size_t size = 0;
    for (size_t i = 6; i < 10; ++i) {
        if (bytes[i] >= 0x80) {
            return 0;
        }
        size = size << 7 | bytes[i];
    }
    const bool footer = (bytes[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

// An Ogg page's bytes from the header at `p`, or 0 when none starts there or it runs past
// `end`.
size_t OggPageBytes(const unsigned char* p, const unsigned char* end) {
    constexpr size_t kHeader = 27;
    if (end - p < static_cast<std::ptrdiff_t>(kHeader) || std::memcmp(p, "OggS", 4) != 0 ||
        p[4] != 0) {
        return 0;
    }
    const size_t segments = p[26];
    if (static_cast<size_t>(end - p) < kHeader + segments) {
        return 0;
    }
    size_t size = kHeader + segments;
    for (size_t i = 0; i < segments; ++i) {
        size += p[kHeader + i];
    }
    return static_cast<size_t>(end - p) >= size ? size : 0;
}

} // namespace

MpegLook LookForMpeg(std::span<const unsigned char> bytes) {
    if (bytes.size() >= 3 && std::memcmp(bytes.data(), "ID3", 3) == 0) {
        const size_t tag = Id3Bytes(bytes);
        if (tag == 0) {
            return bytes.size() < 10 ? MpegLook::kMoreBytes : MpegLook::kNone;
        }
        if (tag > kLongestTagLooked) {
            return MpegLook::kMpeg;
        }
        return tag > bytes.size() ? MpegLook::kMoreBytes : LookForMpeg(bytes.subspan(tag));
    }
    size_t at = 0;
    int first_key = -1;
    for (int frames = 0; frames < kMpegFrames; ++frames) {
        if (at + 4 > bytes.size()) {
            return MpegLook::kMoreBytes;
        }
        int key = 0;
        const size_t size = FrameBytes(bytes.data() + at, key);
        if (size < 4 || (first_key >= 0 && key != first_key)) {
            return MpegLook::kNone;
        }
        first_key = key;
        at += size;
    }
    return MpegLook::kMpeg;
}

bool OggEndsWhole(int fd) {
    // The last page starts within this many bytes of the end: a page holds at most a header
    // of 27 bytes, 255 lacing values and 255 segments of 255 bytes.
    constexpr off_t kLongestPage = 27 + 255 + 255 * 255;
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return false;
    }
    const off_t start = status.st_size > kLongestPage ? status.st_size - kLongestPage : 0;
    std::vector<unsigned char> tail(static_cast<size_t>(status.st_size - start));
    if (pread(fd, tail.data(), tail.size(), start) != static_cast<ssize_t>(tail.size())) {
        return false;
    }
    const unsigned char* end = tail.data() + tail.size();
    // The first page found in the tail from which pages follow one another to the very end.
    for (const unsigned char* p = tail.data(); p < end; ++p) {
        const unsigned char* page = p;
        const unsigned char* last = nullptr;
        for (size_t size = 0; page < end && (size = OggPageBytes(page, end)) > 0; page += size) {
            last = page;
        }
        if (last != nullptr && page == end) {
            constexpr unsigned char kEndOfStream = 0x04;
            return (last[5] & kEndOfStream) != 0;
        }
    }
    return false;
}
