#include "output.h"
#include "playback.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// The longest the loop sleeps on a device without room. The device wakes it as soon as a
// period fits and a stop signal wakes it at once, so this only bounds how late a device that
// stopped taking audio is noticed.
constexpr int kWaitMs = 500;
// A device that takes nothing for this long, or keeps failing without taking a frame, is
// gone: better a clear failure than a program that never returns.
constexpr double kStallSeconds = 5.0;
constexpr int kMaxIdleRecoveries = 8;
// A sound server frozen by SIGSTOP, or hung, takes nothing and answers nothing, and its plugin
// waits for it for good in a drain or a close, deaf to signals. So every wait is bounded:
// - once a stop is asked for, the rest of the cycle and what the device holds play out within
//   a fifth of a second (0.12 s on PulseAudio, 0.17 s on PipeWire, measured); the writing and
//   the drain get the time of those frames and kLongestStopMs more, the close what is left of
//   that and at least kShortestCloseAfterStopMs (it takes a few milliseconds), and then the
//   program ends by the signal, the device left as it is: a stop is over within half a second
//   (but for tones of a few hertz, and a long buffer whose rewind failed);
// - a tone that ends by itself leaves the device a short buffer to play out (0.1 s) and the
//   server's latency: a drain that takes kLongestDrainMs, or a close kLongestCloseMs, waits
//   on a device that does not answer, and the program ends with status 1.
constexpr int kShortestCloseAfterStopMs = 100;
constexpr int kLongestDrainMs = 3000;
constexpr int kLongestCloseMs = 1000;

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The milliseconds until `when` (seconds of Now), 0 once it passed.
int MsUntil(double when) {
    return std::max(0, static_cast<int>((when - Now()) * 1000));
}

// The time by which a stop must be done (seconds of Now), set when the stop is first seen,
// with `frames` still to be played out; 0 while no stop was asked for.
void NoteStop(double& stop_by, const Stream& stream, int64_t frames) {
    if (StopSignal() != 0 && stop_by == 0) {
        stop_by = Now() + kLongestStopMs / 1000.0 + static_cast<double>(frames) / stream.rate;
    }
}

// The most a device holds once the last frame is written.
int64_t MostHeldAtTheEnd(const Stream& stream) {
    return stream.last_fill != 0 ? stream.last_fill : stream.buffer_frames;
}

// The longest the write loop may sleep: a stop's time left bounds it too.
int WaitMs(double stop_by) {
    return stop_by == 0 ? kWaitMs : std::clamp(MsUntil(stop_by), 1, kWaitMs);
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

// What the write loop returns for a device that stopped taking audio, and for one that did
// not take the end of a stopped tone in time; ALSA's errors are negative.
constexpr int kStalled = 1;
constexpr int kStopOverdue = 2;

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
void WaitToHold(const Stream& stream, int64_t held, int64_t target, int wait_ms) {
    const int64_t ms = (held - target) * 1000 / stream.rate + 1;
    pollfd stop{StopPipe(), POLLIN, 0};
    if (poll(&stop, 1, static_cast<int>(std::min<int64_t>(ms, wait_ms))) > 0) {
        EmptyStopPipe();
    }
}

// Writes as much as the device has room for, or sleeps (at most wait_ms) until it has room
// when it has none. Returns the frames it took (0 for none) or a negative ALSA error.
// The frames are rendered (or found in the buffer) just before they are written; those the
// device did not take are asked for again by the next write.
snd_pcm_sframes_t WriteWhatFits(Stream& stream, FrameSource& source, int64_t end, int64_t offset,
                                int wait_ms) {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(stream.pcm);
    if (room == 0) {
        return WaitOnPcm(stream.pcm, stream.wait_fds, wait_ms);
    }
    if (room < 0) {
        return room;
    }
    int64_t chunk = FramesToWrite(stream, room, end - offset);
    if (chunk == 0) {
        WaitToHold(stream, stream.buffer_frames - room, stream.last_fill - (end - offset), wait_ms);
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
// `held` receives what the device still holds then: at most its buffer, for one that does
// not rewind.
int64_t TakeBack(const Stream& stream, int64_t offset, int64_t& held) {
    held = stream.buffer_frames;
    if (!stream.rewinds) {
        return 0;
    }
    // What the device played since the loop last asked counts only once it is asked again:
    // after a long sleep, a rewind by the old count would take back frames already played.
    if (snd_pcm_avail_update(stream.pcm) < 0) {
        return 0;
    }
    const snd_pcm_sframes_t rewindable = snd_pcm_rewindable(stream.pcm);
    held = std::clamp<int64_t>(rewindable, 0, stream.buffer_frames);
    const int64_t asked = std::min<int64_t>(rewindable - stream.stop_margin, offset);
    if (asked <= 0) {
        return 0;
    }
    const snd_pcm_sframes_t given =
        snd_pcm_rewind(stream.pcm, static_cast<snd_pcm_uframes_t>(asked));
    const int64_t taken = std::clamp<int64_t>(given, 0, asked);
    held -= taken;
    return taken;
}

// Hands every frame to the device, advancing only by what it accepted. The frames of a
// failed write are written again after recovery. Once a signal asks the tone to stop, a
// rewinding device gives back what it need not play, and the tone becomes its StoppedTone
// from there: it ends soon at a zero crossing, each of its partials at one; `stop_by` is set
// then. Returns 0, kStalled, kStopOverdue, or the ALSA error that recovery could not clear.
int WriteAllFrames(Stream& stream, FrameSource& source, FILE* out, double& stop_by) {
    int64_t offset = 0;
    int64_t end = source.tone.frames;
    int idle_recoveries = 0;
    double last_progress = Now();
    while (offset < end) {
        if (StopSignal() != 0 && stop_by == 0) {
            int64_t held = 0;
            offset -= TakeBack(stream, offset, held);
            source.tone = StoppedTone(source.tone, offset);
            source.packed_count = 0; // a piece made before holds partials past their new ends
            end = source.tone.frames;
            // What the device holds and the rest of the cycle play out first: all of a long
            // buffer whose rewind failed, the whole cycle of a tone of a few hertz.
            NoteStop(stop_by, stream, held + end - offset);
            continue;
        }
        const snd_pcm_sframes_t result =
            WriteWhatFits(stream, source, end, offset, WaitMs(stop_by));
        if (result > 0) {
            offset += result;
            idle_recoveries = 0;
            last_progress = Now();
        } else if (result == 0) {
            if (stop_by != 0 && MsUntil(stop_by) == 0) {
                return kStopOverdue;
            }
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

// Waits until the device has played what it holds, under a watch: after a stop, until the
// stop's time is up; else for kLongestDrainMs, and a stop meanwhile leaves it the time of what
// it may hold then and kLongestStopMs more.
int Drain(const Stream& stream, double stop_by, FILE* err) {
    snd_pcm_t* pcm = stream.pcm;
    Watch watch;
    if (stop_by != 0) {
        watch.timeout_ms = MsUntil(stop_by);
        watch.end_signal = StopSignal();
    } else {
        watch.timeout_ms = kLongestDrainMs;
        watch.after_stop_ms =
            kLongestStopMs + static_cast<int>(MostHeldAtTheEnd(stream) * 1000 / stream.rate);
        watch.message = "Playback failed: the device did not play out the end of the tone within " +
                        std::to_string(kLongestDrainMs / 1000) + " s\n";
        watch.err = err;
    }
    StartWatch(watch);
    int rc = snd_pcm_drain(pcm);
    // A signal asking the tone to stop may cut the wait short; what the device holds is
    // still to be played out. The second signal ends the program, so this repeats once.
    for (int tries = 0; rc == -EINTR && tries < 2; ++tries) {
        rc = snd_pcm_drain(pcm);
    }
    EndWatch();
    // An underrun at the very end means the device already played everything it held.
    return rc == -EPIPE ? 0 : rc;
}

// Closes the device under a watch, and returns `status`. A device that does not answer ends
// the program: after a stop, by the signal once the stop's time is up; else with status 1,
// after a line that says so unless a failure was reported already.
int CloseWith(snd_pcm_t* pcm, int status, double stop_by, FILE* err) {
    Watch watch;
    if (stop_by != 0) {
        watch.timeout_ms = std::max(MsUntil(stop_by), kShortestCloseAfterStopMs);
        watch.end_signal = StopSignal();
    } else {
        watch.timeout_ms = kLongestCloseMs;
        if (status == 0) {
            watch.message = "Playback failed: the device did not answer when it was closed\n";
        }
        watch.err = err;
    }
    StartWatch(watch);
    snd_pcm_close(pcm);
    EndWatch();
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
    double stop_by = 0;
    int rc = WriteAllFrames(stream, source, out, stop_by);
    if (rc == 0) {
        // A stop that came after the last frame was written.
        NoteStop(stop_by, stream, MostHeldAtTheEnd(stream));
        rc = Drain(stream, stop_by, err);
    }
    NoteStop(stop_by, stream, 0); // one that came during the drain
    if (rc != 0 && rc != kStopOverdue) {
        return CloseWith(stream.pcm, ReportPlaybackFailure(rc, err), stop_by, err);
    }
    return CloseWith(stream.pcm, StopSignal() == 0 ? 0 : kStoppedBySignal + StopSignal(), stop_by,
                     err);
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
