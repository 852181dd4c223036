#include "playback.h"

#include <algorithm>

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

// Room in the wait's list for the device's poll descriptors and the stop pipe after them.
void SetUpWait(Stream& stream) {
    const int count = snd_pcm_poll_descriptors_count(stream.pcm);
    stream.wait_fds.resize(static_cast<size_t>(std::max(count, 0)) + 1);
}

int ReportOpenFailure(const char* device, int error, FILE* err) {
    std::fprintf(err, "unable to open pcm device: %s\n", snd_strerror(error));
    std::fprintf(err,
                 "Cannot play to '%s': 'aplay -L' lists this machine's sound devices, and "
                 "'null' plays into nothing, for trying without sound\n",
                 device);
    return 1;
}

} // namespace

int OpenDevice(Stream& stream, const char* device, uint32_t& rate, int channels, FILE* out,
               FILE* err) {
    const int rc = snd_pcm_open(&stream.pcm, device, SND_PCM_STREAM_PLAYBACK, 0);
    if (rc < 0) {
        return ReportOpenFailure(device, rc, err);
    }
    if (Configure(stream, rate, channels, out, err) != 0) {
        snd_pcm_close(stream.pcm);
        return 1;
    }
    SetUpWait(stream);
    return 0;
}
