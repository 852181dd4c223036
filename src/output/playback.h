// Playback's own parts, shared by its files: the device's set-up (device.cpp) and the write
// loop (play.cpp). What capture shares with them is in device/device.h.
#pragma once

#include "device/device.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

constexpr size_t kBytesPerSample = 3;

// Once a stop is asked for, how much longer than the time of the frames it holds (and of the
// rest of the cycle) a device may take to play them out: a sound server's own latency, and a
// busy machine's. One that does not answer meanwhile ends the program by the signal, however
// far the tone came: its opening included.
constexpr int kLongestStopMs = 250;

// An open device, as its set-up left it for the write loop.
struct Stream {
    snd_pcm_t* pcm = nullptr;
    unsigned channels = 0;
    bool interleaved = false;
    std::vector<void*> channel_data;    // non-interleaved: every channel reads the mono data
    std::vector<unsigned char> scratch; // interleaved: the mono data copied to each channel
    snd_pcm_uframes_t scratch_frames = 0;
    // The device's poll descriptors, then the read end of the stop pipe (WaitOnPcm's).
    std::vector<pollfd> wait_fds;
    // A device that rewinds has a long buffer, and a stop takes back what it holds beyond
    // stop_margin frames.
    bool rewinds = false;
    snd_pcm_sframes_t stop_margin = 0;
    // A long buffer holds no more than a short one once the last frame is written, so that
    // a stop then, with nothing left to take back, still ends the tone soon: the last
    // last_piece frames wait until the device holds little enough. 0 for a short buffer.
    snd_pcm_sframes_t last_fill = 0;
    snd_pcm_sframes_t last_piece = 0;
    snd_pcm_sframes_t buffer_frames = 0;
    uint32_t rate = 0;
};

// True for a device that really takes back the frames it gives back to a rewind, by what
// snd_pcm_dump says it is (`described`): a sound card, PipeWire's plugin, or plugins of
// ALSA's own that pass the rewind on to one of those frame for frame. False for any other,
// and for one of a kind it does not know.
bool RewindsInPlace(std::string_view described);

// Opens the device and negotiates the hardware parameters. Returns 0, or 1 after printing why
// the device cannot be used (the device is closed again then).
int OpenDevice(Stream& stream, const char* device, uint32_t& rate, int channels, FILE* out,
               FILE* err);
