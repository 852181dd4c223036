#include "output.h"
#include "playback.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// The longest the loop sleeps on a device without room. The device wakes it as soon as a
// period fits and a stop signal wakes it at once, so this only bounds how late a device that
// stopped taking audio is noticed.
constexpr int kWaitMs = 500;
// A device that takes nothing for this long, or keeps failing without taking a frame, is
// gone: better a clear failure than a program that never returns.
constexpr double kStallSeconds = 5.0;
constexpr int kMaxIdleRecoveries = 8;

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Copies each mono sample into every channel of its frame. Two channels, the usual case, have
// a loop of their own: copies of a fixed size the compiler makes a few moves.
void Interleave(const unsigned char* mono, snd_pcm_uframes_t frames, unsigned channels,
                unsigned char* dst) {
    if (channels == 2) {
        for (snd_pcm_uframes_t i = 0; i < frames; ++i, mono += kBytesPerSample) {
            std::memcpy(dst, mono, kBytesPerSample);
            std::memcpy(dst + kBytesPerSample, mono, kBytesPerSample);
            dst += 2 * kBytesPerSample;
        }
        return;
    }
    for (snd_pcm_uframes_t i = 0; i < frames; ++i, mono += kBytesPerSample) {
        for (unsigned c = 0; c < channels; ++c, dst += kBytesPerSample) {
            std::memcpy(dst, mono, kBytesPerSample);
        }
    }
}

snd_pcm_sframes_t WriteChunk(Stream& stream, const unsigned char* mono, snd_pcm_uframes_t frames) {
    if (!stream.interleaved) {
        std::fill(stream.channel_data.begin(), stream.channel_data.end(),
                  const_cast<unsigned char*>(mono));
        return snd_pcm_writen(stream.pcm, stream.channel_data.data(), frames);
    }
    Interleave(mono, frames, stream.channels, stream.scratch.data());
    return snd_pcm_writei(stream.pcm, stream.scratch.data(), frames);
}

// Clears an error of the write loop. Returns 0 when playback can go on, or the error that
// could not be cleared. A sound server that went away reports an underrun too; only the
// failing prepare tells it apart.
int Recover(snd_pcm_t* pcm, int error, FILE* out) {
    switch (error) {
    case -EPIPE:
        std::fputs("RX\n", out);
        return RecoverPcm(pcm, error);
    case -EAGAIN:
    case -EINTR: // a signal asking the tone to stop; the write loop sees it next
        return 0;
    default:
        return RecoverPcm(pcm, error);
    }
}

// What the write loop returns for a device that stopped taking audio; ALSA's errors are
// negative.
constexpr int kStalled = 1;

// How many of the `remaining` frames to write now into the `room` the device has. The last
// frames of a long buffer wait until they leave it holding no more than its last_fill.
int64_t FramesToWrite(const Stream& stream, snd_pcm_sframes_t room, int64_t remaining) {
    if (stream.last_fill == 0) {
        return std::min<int64_t>(room, remaining);
    }
    if (remaining > stream.last_piece) {
        return std::min<int64_t>(room, remaining - stream.last_piece);
    }
    const int64_t held = std::max<int64_t>(0, stream.buffer_frames - room);
    return held + remaining <= stream.last_fill ? std::min<int64_t>(room, remaining) : 0;
}

// Sleeps until a device holding `held` frames has played down to `target`, or a stop signal
// arrives. The device wakes no one at that level, so the sleep is timed.
void WaitToHold(const Stream& stream, int64_t held, int64_t target) {
    const int64_t ms = (held - target) * 1000 / stream.rate + 1;
    pollfd stop{StopPipe(), POLLIN, 0};
    if (poll(&stop, 1, static_cast<int>(std::min<int64_t>(ms, kWaitMs))) > 0) {
        EmptyStopPipe();
    }
}

// Writes as much as the device has room for, or sleeps until it has room when it has none.
// Returns the frames it took (0 for none) or a negative ALSA error.
// The frames are rendered (or found in the buffer) just before they are written; those the
// device did not take are asked for again by the next write.
snd_pcm_sframes_t WriteWhatFits(Stream& stream, FrameSource& source, int64_t end, int64_t offset) {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(stream.pcm);
    if (room == 0) {
        return WaitOnPcm(stream.pcm, stream.wait_fds, kWaitMs);
    }
    if (room < 0) {
        return room;
    }
    int64_t chunk = FramesToWrite(stream, room, end - offset);
    if (chunk == 0) {
        WaitToHold(stream, stream.buffer_frames - room, stream.last_fill - (end - offset));
        return 0;
    }
    chunk = std::min(chunk, MostAtOnce(source, offset));
    if (stream.interleaved) {
        chunk = std::min(chunk, static_cast<int64_t>(stream.scratch_frames));
    }
    const auto frames = static_cast<int32_t>(chunk);
    return WriteChunk(stream, PackedFrames(source, offset, frames),
                      static_cast<snd_pcm_uframes_t>(frames));
}

// On a stop, the frames a rewinding device gives back of what it holds beyond its margin; 0
// when it holds no more, or for any other device. What a rewind gave back is written again,
// so a rewind that fails or gives back less than asked leaves neither a gap nor a jump.
int64_t TakeBack(const Stream& stream, int64_t offset) {
    if (!stream.rewinds) {
        return 0;
    }
    // What the device played since the loop last asked counts only once it is asked again:
    // after a long sleep, a rewind by the old count would take back frames already played.
    if (snd_pcm_avail_update(stream.pcm) < 0) {
        return 0;
    }
    const snd_pcm_sframes_t held = snd_pcm_rewindable(stream.pcm);
    const int64_t asked = std::min<int64_t>(held - stream.stop_margin, offset);
    if (asked <= 0) {
        return 0;
    }
    const snd_pcm_sframes_t given =
        snd_pcm_rewind(stream.pcm, static_cast<snd_pcm_uframes_t>(asked));
    return std::clamp<int64_t>(given, 0, asked);
}

// Hands every frame to the device, advancing only by what it accepted. The frames of a
// failed write are written again after recovery. Once a signal asks the tone to stop, a
// rewinding device gives back what it need not play, and the end moves to the close of the
// cycle then in progress, so the tone still ends at a zero crossing soon. Returns 0,
// kStalled, or the ALSA error that recovery could not clear.
int WriteAllFrames(Stream& stream, FrameSource& source, FILE* out) {
    int64_t offset = 0;
    int64_t end = source.tone.frames;
    bool stopping = false;
    int idle_recoveries = 0;
    double last_progress = Now();
    while (offset < end) {
        if (StopSignal() != 0 && !stopping) {
            stopping = true;
            offset -= TakeBack(stream, offset);
            end = CycleEnd(source.tone, offset);
            continue;
        }
        const snd_pcm_sframes_t result = WriteWhatFits(stream, source, end, offset);
        if (result > 0) {
            offset += result;
            idle_recoveries = 0;
            last_progress = Now();
        } else if (result == 0) {
            if (Now() - last_progress > kStallSeconds) {
                return kStalled;
            }
        } else {
            const int rc = Recover(stream.pcm, static_cast<int>(result), out);
            if (rc < 0 || ++idle_recoveries > kMaxIdleRecoveries) {
                return rc < 0 ? rc : static_cast<int>(result);
            }
        }
    }
    return 0;
}

int Drain(snd_pcm_t* pcm) {
    int rc = snd_pcm_drain(pcm);
    // A signal asking the tone to stop may cut the wait short; what the device holds is
    // still to be played out. The second signal ends the program, so this repeats once.
    for (int tries = 0; rc == -EINTR && tries < 2; ++tries) {
        rc = snd_pcm_drain(pcm);
    }
    // An underrun at the very end means the device already played everything it held.
    return rc == -EPIPE ? 0 : rc;
}

int CloseWith(snd_pcm_t* pcm, int status) {
    snd_pcm_close(pcm);
    return status;
}

int ReportPlaybackFailure(int error, FILE* err) {
    if (error == kStalled) {
        std::fprintf(err, "Playback failed: the device took no audio for %.0f seconds\n",
                     kStallSeconds);
    } else {
        std::fprintf(err, "Playback failed: %s\n", snd_strerror(error));
    }
    return 1;
}

int PlayOn(Stream& stream, FrameSource& source, const char* device, uint32_t& rate, int channels,
           FILE* out, FILE* err) {
    if (OpenDevice(stream, device, rate, channels, out, err) != 0) {
        return 1;
    }
    int rc = WriteAllFrames(stream, source, out);
    if (rc == 0) {
        rc = Drain(stream.pcm);
    }
    if (rc != 0) {
        return CloseWith(stream.pcm, ReportPlaybackFailure(rc, err));
    }
    return CloseWith(stream.pcm, StopSignal() == 0 ? 0 : kStoppedBySignal + StopSignal());
}

// The one road from a source of frames to the device, with the stop signals taken over meanwhile.
int Play(FrameSource& source, const char* device, uint32_t& rate, int channels, FILE* out,
         FILE* err) {
    Stream stream;
    const StopSignals saved = CatchStopSignals();
    const int status = PlayOn(stream, source, device, rate, channels, out, err);
    RestoreStopSignals(saved);
    return status;
}

} // namespace

int PLAY(const char* device, uint32_t& rate, int channels, int32_t frames,
         const unsigned char* data, FILE* out, FILE* err, float frequency) {
    FrameSource source;
    source.tone = ShapeTone(frequency, rate, frames, 0);
    source.data = data;
    return Play(source, device, rate, channels, out, err);
}

int PlayTone(const char* device, uint32_t& rate, int channels, const ToneShape& tone, FILE* out,
             FILE* err) {
    FrameSource source = RenderedPieces(tone);
    return Play(source, device, rate, channels, out, err);
}
