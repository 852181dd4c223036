#include "playback.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// A device that cannot take back what it holds is asked for periods of 1536 frames in a
// buffer of three, at 44100 Hz, and for the same times at other rates. The loop sleeps a
// period at a time, and a busy machine may keep it or the sound server from running for up
// to two periods (70 ms) without a gap in the tone; 1024 frames in 2048 left 23 ms, and
// sound servers under load played gaps. A longer buffer would be safer still, but a stop
// plays out what the buffer holds (104 ms here), and PipeWire adds a few periods of its own.
//
// A device that rewinds gets aplay's buffer instead, half a second in four periods: the loop
// wakes as seldom as aplay's, and a stop takes back all but a margin of what the device holds.
// Once the last frame is written there is nothing to take back, so the end of a tone is
// written as to the short buffer: the device then holds no more than that buffer.
struct Timing {
    snd_pcm_uframes_t period;
    snd_pcm_uframes_t buffer;
};
constexpr Timing kShortBuffer{1536, 4608};
constexpr Timing kLongBuffer{5512, 22050};
// What a rewinding stop leaves the device: PipeWire takes its next quantum out of the buffer
// before the plugin counts it as played, and what is rewound from under it is lost. 30 ms
// kept the cycle whole in the end-to-end tests; this leaves room for the write after the
// rewind on a busy machine too, and the stop still ends within 0.2 s.
constexpr snd_pcm_uframes_t kStopMarginFrames = 3308; // 75 ms
constexpr double kReferenceRate = 44100;
// How PipeWire's ALSA plugin names itself in snd_pcm_dump.
constexpr std::string_view kPipeWirePlugin = "ALSA <-> PipeWire PCM I/O Plugin";

// The pulse plugin offers interleaved access only; a refused access mode would otherwise
// pass hw_params and fail on every write. PipeWire's plugin offers both, but its conversion
// of non-interleaved frames costs it six times the instructions (6.7 million against 1.1 for
// 5 s of tone, counted by callgrind), so it is written interleaved.
void ChooseAccess(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, bool interleaved_first,
                  Stream& stream) {
    const snd_pcm_access_t first =
        interleaved_first ? SND_PCM_ACCESS_RW_INTERLEAVED : SND_PCM_ACCESS_RW_NONINTERLEAVED;
    const snd_pcm_access_t second =
        interleaved_first ? SND_PCM_ACCESS_RW_NONINTERLEAVED : SND_PCM_ACCESS_RW_INTERLEAVED;
    snd_pcm_access_t chosen = first;
    if (snd_pcm_hw_params_set_access(pcm, params, first) < 0) {
        chosen = second;
        snd_pcm_hw_params_set_access(pcm, params, second);
    }
    stream.interleaved = chosen == SND_PCM_ACCESS_RW_INTERLEAVED;
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

// Asks for the hardware parameters with the buffer of `timing`. Returns 0, or 1 after
// printing why the device cannot be used.
int Negotiate(Stream& stream, snd_pcm_hw_params_t* params, uint32_t& rate, int channels,
              const Timing& timing, FILE* out, FILE* err) {
    snd_pcm_t* pcm = stream.pcm;
    snd_pcm_hw_params_any(pcm, params);
    ChooseAccess(pcm, params, stream.interleaved, stream);

    int rc = snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S24_3LE);
    if (rc < 0) {
        std::fprintf(err, "Unable to set playback format: %s\n", snd_strerror(rc));
        std::fputs("Try a different soundcard device name.\n", out);
        return 1;
    }
    snd_pcm_hw_params_set_channels(pcm, params, static_cast<unsigned>(channels));
    snd_pcm_hw_params_set_rate_near(pcm, params, &rate, nullptr);
    snd_pcm_uframes_t period = FramesAt(rate, timing.period);
    snd_pcm_hw_params_set_period_size_near(pcm, params, &period, nullptr);
    snd_pcm_uframes_t buffer = FramesAt(rate, timing.buffer);
    snd_pcm_hw_params_set_buffer_size_near(pcm, params, &buffer);

    rc = snd_pcm_hw_params(pcm, params);
    if (rc < 0) {
        std::fprintf(err, "unable to set hw parameters: %s\n", snd_strerror(rc));
        return 1;
    }
    return 0;
}

// The device as ALSA describes it, its slaves included.
std::string Described(snd_pcm_t* pcm) {
    snd_output_t* output = nullptr;
    if (snd_output_buffer_open(&output) < 0) {
        return "";
    }
    snd_pcm_dump(pcm, output);
    char* text = nullptr;
    const size_t size = snd_output_buffer_string(output, &text);
    std::string described(text, size);
    snd_output_close(output);
    return described;
}

// Negotiates the hardware parameters, with the long buffer for a device that rewinds. Which
// plugins a plug device puts in front of its slave shows only once it is set up: one that
// cannot rewind (a rate converter) sends it back to the short buffer. Returns 0, or 1 after
// printing why the device cannot be used.
int Configure(Stream& stream, uint32_t& rate, int channels, FILE* out, FILE* err) {
    snd_pcm_t* pcm = stream.pcm;
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    const unsigned requested = rate;
    const std::string described = Described(pcm);
    stream.rewinds = RewindsInPlace(described);
    stream.interleaved = described.starts_with(kPipeWirePlugin); // the access to try first
    if (Negotiate(stream, params, rate, channels, stream.rewinds ? kLongBuffer : kShortBuffer, out,
                  err) != 0) {
        return 1;
    }
    if (stream.rewinds && !RewindsInPlace(Described(pcm))) {
        stream.rewinds = false;
        rate = requested;
        snd_pcm_hw_free(pcm);
        if (Negotiate(stream, params, rate, channels, kShortBuffer, out, err) != 0) {
            return 1;
        }
    }
    WarnIfRateChanged(params, requested, rate, out);
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_hw_params_get_buffer_size(params, &buffer);
    snd_pcm_hw_params_get_channels(params, &stream.channels);
    stream.stop_margin = static_cast<snd_pcm_sframes_t>(FramesAt(rate, kStopMarginFrames));
    stream.buffer_frames = static_cast<snd_pcm_sframes_t>(buffer);
    stream.rate = rate;
    if (stream.rewinds) {
        stream.last_fill = static_cast<snd_pcm_sframes_t>(FramesAt(rate, kShortBuffer.buffer));
        stream.last_piece = static_cast<snd_pcm_sframes_t>(FramesAt(rate, kShortBuffer.period));
    }

    stream.channel_data.assign(stream.channels, nullptr);
    if (stream.interleaved) {
        stream.scratch_frames = buffer;
        stream.scratch.resize(buffer * stream.channels * kBytesPerSample);
    }
    return 0;
}

} // namespace

int OpenDevice(Stream& stream, const char* device, uint32_t& rate, int channels, FILE* out,
               FILE* err) {
    // A sound server's plugin waits on the server in the open and in the set-up. A stop
    // meanwhile is seen by the write loop once the device is open.
    WatchOpening(device, SND_PCM_STREAM_PLAYBACK, kLongestStopMs, err);
    int rc = OpenPcm(stream.pcm, device, SND_PCM_STREAM_PLAYBACK, 0, err);
    if (rc == 0 && Configure(stream, rate, channels, out, err) != 0) {
        snd_pcm_close(stream.pcm);
        rc = 1;
    }
    EndWatch();
    return rc;
}

namespace {

// How each kind of PCM that ALSA describes (snd_pcm_dump's heading of it) takes a rewind: as
// the end of the chain, by passing it on to its slave, or not at all (anything not named).
// PulseAudio's plugin reports everything it was handed as rewindable, but its server already
// holds it: rewound frames still sound there, and a jump follows. PipeWire's plugin takes
// them back from its own ring. Both are external plugins of one type (ioplug); only the name
// they give themselves tells them apart.
enum class Rewind { Ends, PassesOn };
constexpr std::pair<std::string_view, Rewind> kRewindingKinds[] = {
    {"Hardware PCM card", Rewind::Ends},        {kPipeWirePlugin, Rewind::Ends},
    {"Plug PCM: ", Rewind::PassesOn},           {"Linear conversion PCM", Rewind::PassesOn},
    {"Route conversion PCM", Rewind::PassesOn},
};

// The kind of the PCM whose heading starts `heading`; null when it is none of the above.
const Rewind* KindOf(std::string_view heading) {
    for (const auto& [name, kind] : kRewindingKinds) {
        if (heading.starts_with(name)) {
            return &kind;
        }
    }
    return nullptr;
}

} // namespace

bool RewindsInPlace(std::string_view described) {
    constexpr std::string_view kSlave = "\nSlave: ";
    // A plug device's heading runs on into its slave's on the same line.
    constexpr std::string_view kPlug = "Plug PCM: ";
    std::string_view heading = described;
    for (;;) {
        const Rewind* kind = KindOf(heading);
        if (kind == nullptr) {
            return false;
        }
        if (*kind == Rewind::Ends) {
            return true;
        }
        if (heading.starts_with(kPlug)) {
            heading.remove_prefix(kPlug.size());
            continue;
        }
        const size_t slave = heading.find(kSlave);
        if (slave == std::string_view::npos) {
            return false;
        }
        heading.remove_prefix(slave + kSlave.size());
    }
}
