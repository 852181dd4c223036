#include "input.h"

#include "channels.h"
#include "device/device.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// The formats a capture device is asked for, the first it offers taken: floats need no
// conversion, and 32 bits keep a quiet instrument's low bits.
constexpr snd_pcm_format_t kCaptureFormats[] = {SND_PCM_FORMAT_FLOAT_LE, SND_PCM_FORMAT_S32_LE,
                                                SND_PCM_FORMAT_S16_LE};
// A wait on the device never lasts longer than this, so that a stop is seen and the silence
// of a device that stopped giving frames is counted.
constexpr int kLongestWaitMs = 250;
// A device that gives no frame for this long has failed: a server that was killed, a card
// unplugged. A live input gives frames all the time, silence included.
constexpr std::chrono::seconds kLongestSilence{3};
// A device that loses its input this many times over without giving a frame in between has
// failed: PipeWire's plugin reports a server that went away as overrun after overrun.
constexpr int kMostGapsInARow = 3;
// A close that takes longer than this waits on a device that does not answer (a sound
// server frozen by SIGSTOP, whose plugin would wait for it for good): the program ends. After
// a stop signal, sooner, so that the signal ends listening within half a second in all.
constexpr int kLongestCloseMs = 250;
constexpr int kLongestCloseAfterStopMs = 100;
// The most periods one read takes, when that many have come in.
constexpr snd_pcm_uframes_t kPeriodsPerRead = 4;
// Periods in the buffer: room for the loop to be kept from running for a while without
// losing input.
constexpr snd_pcm_uframes_t kPeriodsPerBuffer = 8;

snd_pcm_format_t ChooseFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* params) {
    for (const snd_pcm_format_t format : kCaptureFormats) {
        if (snd_pcm_hw_params_set_format(pcm, params, format) == 0) {
            return format;
        }
    }
    return SND_PCM_FORMAT_UNKNOWN;
}

// A device that takes more channels than this lays none out (a null device, a file, take
// any count); sound servers' plugins take up to 32 (PulseAudio) and 64 (PipeWire).
constexpr unsigned kMostChannelsLaidOut = 64;

// How many channels to open to hear channel `wanted` (1 the first) alone, of a device that
// takes `least` to `most` and names layouts (channel maps) of up to `largest_layout` channels
// (0: none). Fewer than the device has would be mixed from all of them by a sound server:
// PulseAudio and PipeWire fold whatever the stream lacks into what it has. So the largest
// layout it names (PipeWire's 7.1), else all it takes (PulseAudio's 32, each of the server's
// channels then on its own); a device that takes any count has no layout, and gets the
// fewest that hold `wanted`, two at least. 0 when the device has no channel `wanted`.
unsigned ChannelsToOpen(unsigned wanted, unsigned least, unsigned most, unsigned largest_layout) {
    if (wanted > most) {
        return 0;
    }
    if (largest_layout >= std::max(wanted, least) && largest_layout <= most) {
        return largest_layout;
    }
    if (most <= kMostChannelsLaidOut) {
        return most;
    }
    return std::clamp(std::max(wanted, 2u), least, most);
}

// The most channels of a layout the device names, 0 when it names none.
unsigned LargestLayout(snd_pcm_t* pcm) {
    snd_pcm_chmap_query_t** maps = snd_pcm_query_chmaps(pcm);
    unsigned largest = 0;
    for (snd_pcm_chmap_query_t** map = maps; map != nullptr && *map != nullptr; ++map) {
        largest = std::max(largest, (*map)->map.channels);
    }
    snd_pcm_free_chmaps(maps);
    return largest;
}

// Says on `err` what the device refused when a setter's result `rc` is an error: true then.
bool Refused(int rc, const char* what, FILE* err) {
    if (rc >= 0) {
        return false;
    }
    std::fprintf(err, "Unable to set capture %s: %s\n", what, snd_strerror(rc));
    return true;
}

// Sets the channels to open: one when the device has it, else two, mixed by the reader; with
// a channel `wanted` (1 the first), as many as ChannelsToOpen says. Returns how many, or 0
// after saying why.
unsigned ChooseChannels(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, unsigned wanted, FILE* err) {
    if (wanted == 0) {
        for (const unsigned channels : {1u, 2u}) {
            if (snd_pcm_hw_params_set_channels(pcm, params, channels) == 0) {
                return channels;
            }
        }
        std::fputs("Unable to set capture channels: the device offers neither mono nor stereo\n",
                   err);
        return 0;
    }
    unsigned least = 0;
    unsigned most = 0;
    if (Refused(snd_pcm_hw_params_get_channels_min(params, &least), "channels", err) ||
        Refused(snd_pcm_hw_params_get_channels_max(params, &most), "channels", err)) {
        return 0;
    }
    const unsigned channels = ChannelsToOpen(wanted, least, most, LargestLayout(pcm));
    if (channels == 0) {
        std::fprintf(err, "Unable to set capture channels: the device has no channel %u, only %u\n",
                     wanted, most);
        return 0;
    }
    if (Refused(snd_pcm_hw_params_set_channels(pcm, params, channels), "channels", err)) {
        return 0;
    }
    return channels;
}

int Fail(const char* what, int error, FILE* err) {
    std::fprintf(err, "%s: %s\n", what, snd_strerror(error));
    return 1;
}

} // namespace

struct CaptureState {
    snd_pcm_t* pcm = nullptr;
    snd_pcm_format_t format = SND_PCM_FORMAT_UNKNOWN;
    unsigned channels = 0;
    unsigned channel = 0;             // the one heard (1 the first), 0 for the mean of all
    std::vector<unsigned char> bytes; // a read as the device gives it
    std::vector<float> samples;       // the same read, full scale 1
    std::vector<pollfd> wait_fds;     // the device's, then the stop pipe (WaitOnPcm's)
    StopSignals signals;
    bool catching = false;
    std::chrono::steady_clock::time_point last_input; // when the device last gave frames
    int gaps_in_a_row = 0;                            // input lost since it last gave frames

    // Closes the device (in time, or the program ends as `exit_status` and `stopped_by` say)
    // and gives the stop signals back.
    void Close(int exit_status, int stopped_by) {
        if (pcm != nullptr) {
            ClosePcmOrEnd(pcm, stopped_by != 0 ? kLongestCloseAfterStopMs : kLongestCloseMs,
                          exit_status, stopped_by);
            pcm = nullptr;
        }
        if (catching) {
            RestoreStopSignals(signals);
            catching = false;
        }
    }

    ~CaptureState() { Close(1, 0); }
};

Capture::Capture() = default;
Capture::~Capture() {
    if (state != nullptr) {
        state->Close(exit_status, stopped_by);
    }
}
Capture::Capture(Capture&&) noexcept = default;
Capture& Capture::operator=(Capture&&) noexcept = default;

namespace {

// Sets the hardware parameters: `rate` and `period` receive what the device takes. Returns 0,
// or 1 after saying what the device refused.
int SetHardware(CaptureState& s, uint32_t& rate, snd_pcm_uframes_t& period, FILE* out, FILE* err) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    if (Refused(snd_pcm_hw_params_any(s.pcm, params), "parameters", err) ||
        Refused(snd_pcm_hw_params_set_access(s.pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED),
                "access", err)) {
        return 1;
    }
    s.format = ChooseFormat(s.pcm, params);
    if (s.format == SND_PCM_FORMAT_UNKNOWN) {
        std::fputs("Unable to set capture format: the device offers none of S16_LE, S32_LE and "
                   "FLOAT_LE\n",
                   err);
        std::fputs("Try a different soundcard device name.\n", out);
        return 1;
    }
    s.channels = ChooseChannels(s.pcm, params, s.channel, err);
    if (s.channels == 0) {
        return 1;
    }
    snd_pcm_uframes_t buffer = period * kPeriodsPerBuffer;
    if (Refused(snd_pcm_hw_params_set_rate_near(s.pcm, params, &rate, nullptr), "rate", err) ||
        Refused(snd_pcm_hw_params_set_period_size_near(s.pcm, params, &period, nullptr),
                "period size", err) ||
        Refused(snd_pcm_hw_params_set_buffer_size_near(s.pcm, params, &buffer), "buffer size",
                err)) {
        return 1;
    }
    if (const int rc = snd_pcm_hw_params(s.pcm, params); rc < 0) {
        return Fail("unable to set hw parameters", rc, err);
    }
    snd_pcm_hw_params_get_rate(params, &rate, nullptr);
    snd_pcm_hw_params_get_period_size(params, &period, nullptr);
    return 0;
}

int Configure(CaptureState& s, uint32_t& rate, snd_pcm_uframes_t period, FILE* out, FILE* err) {
    const uint32_t requested = rate;
    if (SetHardware(s, rate, period, out, err) != 0) {
        return 1;
    }
    if (rate != requested) {
        std::fprintf(out, "Listening at %u Hz, the rate the device takes\n", rate);
    }
    // Wake once a period has come in, not at every frame.
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if (Refused(snd_pcm_sw_params_current(s.pcm, sw), "software parameters", err) ||
        Refused(snd_pcm_sw_params_set_avail_min(s.pcm, sw, period), "wake-up threshold", err) ||
        Refused(snd_pcm_sw_params(s.pcm, sw), "software parameters", err)) {
        return 1;
    }
    s.bytes.resize(kPeriodsPerRead * period * s.channels *
                   static_cast<size_t>(snd_pcm_format_physical_width(s.format) / 8));
    s.samples.resize(kPeriodsPerRead * period * s.channels);
    return 0;
}

// The first `count` samples of s.bytes, as the device gave them, into s.samples, full scale 1.
void ToFloats(CaptureState& s, size_t count) {
    const unsigned char* bytes = s.bytes.data();
    for (size_t i = 0; i < count; ++i) {
        if (s.format == SND_PCM_FORMAT_FLOAT_LE) {
            std::memcpy(&s.samples[i], bytes + 4 * i, 4);
        } else if (s.format == SND_PCM_FORMAT_S32_LE) {
            int32_t v = 0;
            std::memcpy(&v, bytes + 4 * i, 4);
            s.samples[i] = static_cast<float>(v) * (1.0f / 2147483648.0f);
        } else {
            int16_t v = 0;
            std::memcpy(&v, bytes + 2 * i, 2);
            s.samples[i] = static_cast<float>(v) * (1.0f / 32768.0f);
        }
    }
}

// Brings the device back after input was lost or the system was suspended, as playback
// does, and starts it again when it came back prepared: a capture does not start by itself.
// Returns 0, or the error.
int Recover(snd_pcm_t* pcm, int error) {
    const int rc = RecoverPcm(pcm, error);
    if (rc < 0) {
        return rc;
    }
    return snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED ? snd_pcm_start(pcm) : 0;
}

} // namespace

namespace {

// Opens, sets up and starts the device. Returns 0, or 1 after saying why.
int OpenAndStart(CaptureState& s, const char* device, uint32_t& rate, uint32_t period, FILE* out,
                 FILE* err) {
    // A channel heard alone is taken from the channels as the device lays them out, not from
    // those ALSA's plug devices would make up by mixing them.
    const int mode = SND_PCM_NONBLOCK | (s.channel > 0 ? SND_PCM_NO_AUTO_CHANNELS : 0);
    if (OpenPcm(s.pcm, device, SND_PCM_STREAM_CAPTURE, mode, err) != 0) {
        return 1;
    }
    if (Configure(s, rate, period, out, err) != 0) {
        return 1;
    }
    if (const int rc = snd_pcm_start(s.pcm); rc < 0) {
        return Fail("unable to start capture", rc, err);
    }
    return 0;
}

} // namespace

int OpenCapture(Capture& capture, const char* device, uint32_t& rate, uint32_t period, FILE* out,
                FILE* err) {
    auto state = std::make_unique<CaptureState>();
    state->channel = capture.channel;
    // A sound server's plugin waits on the server in all three, nonblocking mode or not. The
    // stop signals are not taken over yet: one meanwhile ends the program at once.
    WatchOpening(device, SND_PCM_STREAM_CAPTURE, 0, err);
    const int rc = OpenAndStart(*state, device, rate, period, out, err);
    EndWatch();
    if (rc != 0) {
        return 1; // the state's own close is watched
    }
    state->last_input = std::chrono::steady_clock::now();
    state->signals = CatchStopSignals();
    state->catching = true;
    capture.rate = rate;
    capture.state = std::move(state);
    return 0;
}

long ReadCapture(Capture& capture, std::span<float> mono, FILE* err) {
    CaptureState& s = *capture.state;
    const size_t bytes_per_frame =
        s.channels * static_cast<size_t>(snd_pcm_format_physical_width(s.format) / 8);
    const auto most =
        static_cast<snd_pcm_uframes_t>(std::min(mono.size(), s.bytes.size() / bytes_per_frame));
    for (;;) {
        if (StopSignal() != 0) {
            capture.stopped_by = StopSignal();
            return kCaptureStopped;
        }
        // All that has come in: a sound server's pieces need not match the periods, and
        // a read of a period a time would leave a few frames for another wake-up each time.
        const snd_pcm_sframes_t got = snd_pcm_readi(s.pcm, s.bytes.data(), most);
        if (got > 0) {
            s.last_input = std::chrono::steady_clock::now();
            s.gaps_in_a_row = 0;
            const auto frames = static_cast<size_t>(got);
            ToFloats(s, frames * s.channels);
            for (size_t i = 0; i < frames; ++i) {
                mono[i] = HeardInFrame(std::span(s.samples).subspan(i * s.channels, s.channels),
                                       s.channel);
            }
            return got;
        }
        if (got == -EPIPE || got == -ESTRPIPE) {
            // A device that comes back lost input; one that cannot has failed (a server that
            // went away reports its death as an overrun).
            if (const int rc = Recover(s.pcm, static_cast<int>(got)); rc < 0) {
                Fail("Capture failed", rc, err);
                capture.exit_status = 1;
                return kCaptureFailed;
            }
            if (++s.gaps_in_a_row == kMostGapsInARow) {
                std::fprintf(err, "Capture failed: input lost %d times without a frame between\n",
                             kMostGapsInARow);
                capture.exit_status = 1;
                return kCaptureFailed;
            }
            std::fputs("Overrun: input was lost; listening goes on after the gap\n", err);
            return kCaptureGap;
        }
        if (got != -EAGAIN && got != 0) {
            Fail("Capture failed", static_cast<int>(got), err);
            capture.exit_status = 1;
            return kCaptureFailed;
        }
        if (std::chrono::steady_clock::now() - s.last_input >= kLongestSilence) {
            std::fprintf(err, "Capture failed: the device gave no input for %d s\n",
                         static_cast<int>(kLongestSilence.count()));
            capture.exit_status = 1;
            return kCaptureFailed;
        }
        // A stop is seen at the top; an error the wait reports, by the next read.
        WaitOnPcm(s.pcm, s.wait_fds, kLongestWaitMs);
    }
}
