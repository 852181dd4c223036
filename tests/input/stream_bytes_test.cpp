#include "input/stream_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// `count` MPEG-1 layer III frames of 128 kbit/s at 44100 Hz, 417 bytes each, their bodies
// of `fill`.
std::vector<unsigned char> Frames(int count, unsigned char fill = 0x55) {
    std::vector<unsigned char> bytes;
    for (int i = 0; i < count; ++i) {
        const std::vector<unsigned char> frame = {0xFF, 0xFB, 0x90, 0x44};
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        bytes.insert(bytes.end(), 417 - frame.size(), fill);
    }
    return bytes;
}

std::vector<unsigned char> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<unsigned char> Joined(std::vector<unsigned char> a,
                                  const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(StreamBytes, MpegAudioIsFramesThatFollowOneAnother) {
    std::vector<unsigned char> broken = Frames(4);
    broken[417 * 2 + 1] = 0x00; // the third frame's sync word
    std::vector<unsigned char> reserved = Frames(4);
    reserved[2] = 0x9C; // rate index 3 is reserved
    std::vector<unsigned char> free_rate = Frames(4);
    free_rate[2] = 0x00;
    const std::vector<unsigned char> tag = Bytes(std::string("ID3\x04\0\0\0\0\0\x20", 10));
    const std::vector<unsigned char> long_tag = Bytes(std::string("ID3\x04\0\0\0\0\x40\0", 10));
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        MpegLook look;
    } rows[] = {
        {"four frames", Frames(4), MpegLook::kMpeg},
        {"three frames so far", Frames(3), MpegLook::kMoreBytes},
        {"a header, then bytes", Joined(Frames(1), std::vector<unsigned char>(2000, 0x55)),
         MpegLook::kNone},
        {"a third frame without its sync word", broken, MpegLook::kNone},
        {"a reserved rate", reserved, MpegLook::kNone},
        {"a free bitrate", free_rate, MpegLook::kNone},
        {"no sync word", Bytes("RIFF....WAVEfmt "), MpegLook::kNone},
        {"a tag, then frames", Joined(Joined(tag, std::vector<unsigned char>(32)), Frames(4)),
         MpegLook::kMpeg},
        {"a tag, then bytes", Joined(tag, std::vector<unsigned char>(2000, 0x55)), MpegLook::kNone},
        {"a tag longer than a look", long_tag, MpegLook::kMpeg},
        {"a tag whose size is no ID3 size",
         Joined(Bytes(std::string("ID3\x04\0\0\x80\0\0\0", 10)), std::vector<unsigned char>(20)),
         MpegLook::kNone},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(LookForMpeg(row.bytes), row.look) << row.what;
    }
}

} // namespace
