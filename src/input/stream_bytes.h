// What the bytes of a stream say about it where libsndfile's own account cannot be trusted:
// whether bytes that begin as MPEG audio's do are MPEG audio, and whether an Ogg file ends
// where its writer ended it.
#pragma once

#include <cstddef>
#include <span>

// Whether `bytes` (the first of a stream) are MPEG audio: an ID3v2 tag, or frames whose
// headers follow one another, each where the one before ends.
enum class MpegLook {
    kNone,     // not MPEG audio: no valid frame header, or one the next frame does not follow
    kMpeg,     // kMpegFrames frames in a row, or an ID3v2 tag longer than kLongestTagLooked
    kMoreBytes // the frames so far fit: more bytes are needed to tell
};
// Frames in a row that make bytes MPEG audio: random bytes after a valid header would make
// a second one once in thousands.
constexpr int kMpegFrames = 4;
// An ID3v2 tag longer than this (a cover picture) is taken at its word, its frames unseen.
constexpr size_t kLongestTagLooked = 8192;
// Bytes that hold such a tag and kMpegFrames frames of any bitrate and rate (2881 bytes at
// most), with room to spare.
constexpr size_t kMpegLookBytes = 24576;
MpegLook LookForMpeg(std::span<const unsigned char> bytes);

// Whether the Ogg stream in the file `fd` (read with pread, its offset left where it was)
// ends with a whole page that carries the end-of-stream flag: a file cut short ends within
// a page, or after one without the flag.
bool OggEndsWhole(int fd);
