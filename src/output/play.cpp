#include "output.h"

#include "synth/synth.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

// The device is asked for periods of 1536 frames in a buffer of three, at 44100 Hz, and for
// the same times at other rates. The loop sleeps a period at a time, and a busy machine may
// keep it or the sound server from running for up to two periods (70 ms) without a gap in
// the tone; 1024 frames in 2048 left 23 ms, and sound servers under load played gaps. A
// longer buffer would be safer still, but a stop plays out what the buffer holds (104 ms
// here), and PipeWire adds a few periods of its own to that.
constexpr snd_pcm_uframes_t kPeriodFrames = 1536;
constexpr snd_pcm_uframes_t kBufferFrames = 4608;
constexpr double kReferenceRate = 44100;
// The longest the loop sleeps on a device without room. The device wakes it as soon as a
// period fits and a stop signal wakes it at once, so this only bounds how late a device that
// stopped taking audio is noticed.
constexpr int kWaitMs = 500;
constexpr size_t kBytesPerSample = 3;
// A device that takes nothing for this long, or keeps failing without taking a frame, is
// gone: better a clear failure than a program that never returns.
constexpr double kStallSeconds = 5.0;
constexpr int kMaxIdleRecoveries = 8;
constexpr int kResumeTries = 50;
constexpr useconds_t kResumePauseUs = 100000;

struct Stream {
    snd_pcm_t* pcm = nullptr;
    float frequency = 0;    // of the tone, for the cycle a stop may end on
    uint32_t tone_rate = 0; // the rate it was rendered at, whatever the device granted
    unsigned channels = 0;
    bool interleaved = false;
    std::vector<void*> channel_data;    // non-interleaved: every channel reads the mono data
    std::vector<unsigned char> scratch; // interleaved: the mono data copied to each channel
    snd_pcm_uframes_t scratch_frames = 0;
    // The device's poll descriptors, then the read end of the stop pipe.
    std::vector<pollfd> wait_fds;
};

// The signal that asked the tone to stop, 0 for none. Only the handler writes it.
volatile sig_atomic_t g_stop_signal = 0;

// The stop pipe: the handler writes a byte to it, so that the loop's wait on the device ends
// at once, whichever thread the signal lands on (sound server plugins run threads of their
// own) and however close to the start of the wait it comes.
int g_stop_pipe[2] = {-1, -1};

extern "C" void AskToStop(int signal) {
    g_stop_signal = signal;
    const int saved_errno = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = write(g_stop_pipe[1], &byte, 1);
    errno = saved_errno;
}

struct StopSignals {
    struct sigaction interrupt {};
    struct sigaction terminate {};
};

// Takes over one signal for the length of a tone, unless it is ignored (a program started in
// the background keeps ignoring Ctrl-C). SA_RESETHAND: the first signal asks for a clean
// stop, a second meets the usual action and ends the program at once.
void CatchStopSignal(int signal, struct sigaction& saved) {
    sigaction(signal, nullptr, &saved);
    if (saved.sa_handler == SIG_IGN) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal, &action, nullptr);
}

StopSignals CatchStopSignals() {
    g_stop_signal = 0;
    // Without the pipe a stop still ends the wait when the signal lands on this thread.
    if (pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_stop_pipe[0] = g_stop_pipe[1] = -1;
    }
    StopSignals saved;
    CatchStopSignal(SIGINT, saved.interrupt);
    CatchStopSignal(SIGTERM, saved.terminate);
    return saved;
}

void RestoreStopSignals(const StopSignals& saved) {
    sigaction(SIGINT, &saved.interrupt, nullptr);
    sigaction(SIGTERM, &saved.terminate, nullptr);
    for (int& fd : g_stop_pipe) {
        if (fd >= 0) {
            close(fd);
        }
        fd = -1;
    }
}

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int CloseWith(snd_pcm_t* pcm, int status) {
    snd_pcm_close(pcm);
    return status;
}

// Plugins of sound servers (PulseAudio, PipeWire, ...) offer interleaved access only; a
// refused access mode would otherwise pass hw_params and fail on every write.
void ChooseAccess(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, Stream& stream) {
    stream.interleaved =
        snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_NONINTERLEAVED) < 0;
    if (stream.interleaved) {
        snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    }
}

snd_pcm_uframes_t FramesAt(uint32_t rate, snd_pcm_uframes_t frames_at_reference) {
    const double frames = static_cast<double>(frames_at_reference) * rate / kReferenceRate;
    return std::max<snd_pcm_uframes_t>(1, static_cast<snd_pcm_uframes_t>(frames));
}

void WarnIfRateChanged(snd_pcm_hw_params_t* params, unsigned requested, uint32_t& rate, FILE* out) {
    unsigned granted = rate;
    snd_pcm_hw_params_get_rate(params, &granted, nullptr);
    rate = granted;
    if (granted != requested) {
        std::fputs(
            "Warning Soundcard Did Not Return Requested Samplerate...this will affect tuning\n",
            out);
        std::fprintf(out, "Samplerate = %u\n", granted);
    }
}

// Room in the wait's list for the device's poll descriptors and the stop pipe after them.
void SetUpWait(Stream& stream) {
    const int count = snd_pcm_poll_descriptors_count(stream.pcm);
    stream.wait_fds.resize(static_cast<size_t>(std::max(count, 0)) + 1);
}

// Negotiates the hardware parameters. Returns 0, or 1 after printing why the device cannot
// be used.
int Configure(Stream& stream, uint32_t& rate, int channels, FILE* out, FILE* err) {
    snd_pcm_t* pcm = stream.pcm;
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    snd_pcm_hw_params_any(pcm, params);
    ChooseAccess(pcm, params, stream);

    int rc = snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S24_3LE);
    if (rc < 0) {
        std::fprintf(err, "Unable to set playback format: %s\n", snd_strerror(rc));
        std::fputs("Try a different soundcard device name.\n", out);
        return 1;
    }
    snd_pcm_hw_params_set_channels(pcm, params, static_cast<unsigned>(channels));
    const unsigned requested = rate;
    snd_pcm_hw_params_set_rate_near(pcm, params, &rate, nullptr);
    snd_pcm_uframes_t period = FramesAt(rate, kPeriodFrames);
    snd_pcm_hw_params_set_period_size_near(pcm, params, &period, nullptr);
    snd_pcm_uframes_t buffer = FramesAt(rate, kBufferFrames);
    snd_pcm_hw_params_set_buffer_size_near(pcm, params, &buffer);

    rc = snd_pcm_hw_params(pcm, params);
    if (rc < 0) {
        std::fprintf(err, "unable to set hw parameters: %s\n", snd_strerror(rc));
        return 1;
    }
    WarnIfRateChanged(params, requested, rate, out);
    snd_pcm_hw_params_get_buffer_size(params, &buffer);
    snd_pcm_hw_params_get_channels(params, &stream.channels);

    stream.channel_data.assign(stream.channels, nullptr);
    if (stream.interleaved) {
        stream.scratch_frames = buffer;
        stream.scratch.resize(buffer * stream.channels * kBytesPerSample);
    }
    return 0;
}

snd_pcm_sframes_t WriteChunk(Stream& stream, const unsigned char* mono, snd_pcm_uframes_t frames) {
    if (!stream.interleaved) {
        std::fill(stream.channel_data.begin(), stream.channel_data.end(),
                  const_cast<unsigned char*>(mono));
        return snd_pcm_writen(stream.pcm, stream.channel_data.data(), frames);
    }
    unsigned char* dst = stream.scratch.data();
    for (snd_pcm_uframes_t i = 0; i < frames; ++i, mono += kBytesPerSample) {
        for (unsigned c = 0; c < stream.channels; ++c, dst += kBytesPerSample) {
            std::memcpy(dst, mono, kBytesPerSample);
        }
    }
    return snd_pcm_writei(stream.pcm, stream.scratch.data(), frames);
}

int ResumeAfterSuspend(snd_pcm_t* pcm) {
    int rc = snd_pcm_resume(pcm);
    for (int tries = 1; rc == -EAGAIN && tries < kResumeTries; ++tries) {
        usleep(kResumePauseUs);
        rc = snd_pcm_resume(pcm);
    }
    // Devices that cannot resume in place start again from a fresh prepare.
    return rc < 0 ? snd_pcm_prepare(pcm) : rc;
}

// Clears an error of the write loop. Returns 0 when playback can go on, or the error that
// could not be cleared. A sound server that went away reports an underrun too; only the
// failing prepare tells it apart.
int Recover(snd_pcm_t* pcm, int error, FILE* out) {
    switch (error) {
    case -EPIPE:
        std::fputs("RX\n", out);
        return snd_pcm_prepare(pcm);
    case -ESTRPIPE:
        return ResumeAfterSuspend(pcm);
    case -EAGAIN:
    case -EINTR: // a signal asking the tone to stop; the write loop sees it next
        return 0;
    default:
        return error;
    }
}

// What the write loop returns for a device that stopped taking audio; ALSA's errors are
// negative.
constexpr int kStalled = 1;

// The error behind a device's POLLERR, as ALSA's own wait reports it.
int StateError(snd_pcm_t* pcm) {
    switch (snd_pcm_state(pcm)) {
    case SND_PCM_STATE_XRUN:
        return -EPIPE;
    case SND_PCM_STATE_SUSPENDED:
        return -ESTRPIPE;
    case SND_PCM_STATE_DISCONNECTED:
        return -ENODEV;
    default:
        return -EIO;
    }
}

// Empties the stop pipe once its bytes woke the wait, so that the next wait sleeps again.
void EmptyStopPipe() {
    char bytes[16];
    while (read(g_stop_pipe[0], bytes, sizeof bytes) > 0) {
    }
}

// Sleeps until the device has room for a period (its avail_min), a stop signal arrives, or
// kWaitMs pass. Returns 0, or a negative ALSA error the device reported instead.
int WaitForRoom(Stream& stream) {
    // The descriptors are asked for anew before every wait, as ALSA's own wait does: plugins
    // of sound servers bring their descriptor's state up to date here (PipeWire's would
    // otherwise stay readable and turn the wait into a spin).
    pollfd* fds = stream.wait_fds.data();
    const int device_fds = snd_pcm_poll_descriptors(
        stream.pcm, fds, static_cast<unsigned>(stream.wait_fds.size() - 1));
    if (device_fds < 0) {
        return device_fds;
    }
    const auto count = static_cast<unsigned>(device_fds);
    fds[count] = pollfd{g_stop_pipe[0], POLLIN, 0};
    const int ready = poll(fds, count + 1, kWaitMs);
    if (ready < 0) {
        return errno == EINTR ? 0 : -errno; // EINTR: the stop signal itself, seen by the loop
    }
    if (fds[count].revents != 0) {
        EmptyStopPipe();
    }
    if (std::all_of(fds, fds + count, [](const pollfd& fd) { return fd.revents == 0; })) {
        return 0;
    }
    unsigned short revents = 0;
    const int rc = snd_pcm_poll_descriptors_revents(stream.pcm, fds, count, &revents);
    if (rc < 0) {
        return rc;
    }
    return (revents & (POLLERR | POLLNVAL)) != 0 ? StateError(stream.pcm) : 0;
}

// Writes as much as the device has room for, or sleeps until it has room when it has none.
// Returns the frames it took (0 for none) or a negative ALSA error.
snd_pcm_sframes_t WriteWhatFits(Stream& stream, const unsigned char* data, int32_t end,
                                int32_t offset) {
    const snd_pcm_sframes_t room = snd_pcm_avail_update(stream.pcm);
    if (room == 0) {
        return WaitForRoom(stream);
    }
    if (room < 0) {
        return room;
    }
    snd_pcm_uframes_t chunk = std::min<snd_pcm_uframes_t>(
        static_cast<snd_pcm_uframes_t>(room), static_cast<snd_pcm_uframes_t>(end - offset));
    if (stream.interleaved) {
        chunk = std::min(chunk, stream.scratch_frames);
    }
    return WriteChunk(stream, data + kBytesPerSample * static_cast<size_t>(offset), chunk);
}

// Hands every frame to the device, advancing only by what it accepted. The frames of a
// failed write are written again after recovery. Once a signal asks the tone to stop, the
// end moves to the close of the cycle in progress, so the tone still ends at a zero
// crossing. Returns 0, kStalled, or the ALSA error that recovery could not clear.
int WriteAllFrames(Stream& stream, const unsigned char* data, int32_t frames, FILE* out) {
    int32_t offset = 0;
    int32_t end = frames;
    bool stopping = false;
    int idle_recoveries = 0;
    double last_progress = Now();
    while (offset < end) {
        if (g_stop_signal != 0 && !stopping) {
            stopping = true;
            end = CycleEnd(stream.frequency, stream.tone_rate, frames, offset);
            continue;
        }
        const snd_pcm_sframes_t result = WriteWhatFits(stream, data, end, offset);
        if (result > 0) {
            offset += static_cast<int32_t>(result);
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

int ReportPlaybackFailure(int error, FILE* err) {
    if (error == kStalled) {
        std::fprintf(err, "Playback failed: the device took no audio for %.0f seconds\n",
                     kStallSeconds);
    } else {
        std::fprintf(err, "Playback failed: %s\n", snd_strerror(error));
    }
    return 1;
}

int ReportOpenFailure(const char* device, int error, FILE* err) {
    std::fprintf(err, "unable to open pcm device: %s\n", snd_strerror(error));
    std::fprintf(err,
                 "Cannot play to '%s': 'aplay -L' lists this machine's sound devices, and "
                 "'null' plays into nothing, for trying without sound\n",
                 device);
    return 1;
}

int PlayOn(Stream& stream, const char* device, uint32_t& rate, int channels, int32_t frames,
           const unsigned char* data, FILE* out, FILE* err) {
    int rc = snd_pcm_open(&stream.pcm, device, SND_PCM_STREAM_PLAYBACK, 0);
    if (rc < 0) {
        return ReportOpenFailure(device, rc, err);
    }
    if (Configure(stream, rate, channels, out, err) != 0) {
        return CloseWith(stream.pcm, 1);
    }
    SetUpWait(stream);
    rc = WriteAllFrames(stream, data, frames, out);
    if (rc == 0) {
        rc = Drain(stream.pcm);
    }
    if (rc != 0) {
        return CloseWith(stream.pcm, ReportPlaybackFailure(rc, err));
    }
    return CloseWith(stream.pcm, g_stop_signal == 0 ? 0 : kStoppedBySignal + g_stop_signal);
}

} // namespace

int PLAY(const char* device, uint32_t& rate, int channels, int32_t frames,
         const unsigned char* data, FILE* out, FILE* err, float frequency) {
    Stream stream;
    stream.frequency = frequency;
    stream.tone_rate = rate;
    const StopSignals saved = CatchStopSignals();
    const int status = PlayOn(stream, device, rate, channels, frames, data, out, err);
    RestoreStopSignals(saved);
    return status;
}
