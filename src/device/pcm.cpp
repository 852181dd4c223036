#include "device.h"

#include "common/printable.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <string>

namespace {

// A card waking from suspend may take a while: five seconds in all.
constexpr int kResumeTries = 50;
constexpr useconds_t kResumePauseUs = 100000;

// What to tell a user whose device cannot be opened, by the way it was to be used.
struct OpenHint {
    const char* verb;
    const char* lister;
    const char* instead;
};
constexpr OpenHint kPlaybackHint{"play to", "aplay -L",
                                 "'null' plays into nothing, for trying without sound"};
constexpr OpenHint kCaptureHint{"listen to", "arecord -L",
                                "a sound file or - (standard input) can be read instead"};

// ALSA's own messages as its default handler prints them ("ALSA lib pcm.c:2666:(...) Unknown
// PCM name"), but with control bytes escaped: they quote the device name as it was given.
void PrintAlsaMessage(const char* file, int line, const char* function, int error,
                      const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::string message = Printable(text);
    if (error != 0) {
        message += ": " + std::string(snd_strerror(error));
    }
    std::fprintf(stderr, "ALSA lib %s:%i:(%s) %s\n", file, line, function, message.c_str());
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

} // namespace

int OpenPcm(snd_pcm_t*& pcm, const char* device, snd_pcm_stream_t stream, int mode, FILE* err) {
    snd_lib_error_set_handler(PrintAlsaMessage);
    const int rc = snd_pcm_open(&pcm, device, stream, mode);
    if (rc == 0) {
        return 0;
    }
    pcm = nullptr;
    const OpenHint& hint = stream == SND_PCM_STREAM_CAPTURE ? kCaptureHint : kPlaybackHint;
    std::fprintf(err, "unable to open pcm device: %s\n", snd_strerror(rc));
    std::fprintf(err, "Cannot %s '%s': '%s' lists this machine's sound devices, and %s\n",
                 hint.verb, Printable(device).c_str(), hint.lister, hint.instead);
    return 1;
}

void WatchOpening(const char* device, snd_pcm_stream_t stream, int after_stop_ms, FILE* err) {
    const OpenHint& hint = stream == SND_PCM_STREAM_CAPTURE ? kCaptureHint : kPlaybackHint;
    Watch watch;
    watch.timeout_ms = kLongestOpenMs;
    watch.after_stop_ms = after_stop_ms;
    watch.message = std::string("Cannot ") + hint.verb + " '" + Printable(device) +
                    "': the device did not answer within " + std::to_string(kLongestOpenMs / 1000) +
                    " s (a sound server that is stopped or hung?)\n";
    watch.err = err;
    StartWatch(watch);
}

int RecoverPcm(snd_pcm_t* pcm, int error) {
    switch (error) {
    case -EPIPE:
        return snd_pcm_prepare(pcm);
    case -ESTRPIPE:
        return ResumeAfterSuspend(pcm);
    default:
        return error;
    }
}

int WaitOnPcm(snd_pcm_t* pcm, std::vector<pollfd>& fds, int timeout_ms) {
    // The descriptors are asked for anew before every wait, as ALSA's own wait does: plugins
    // of sound servers bring their descriptor's state up to date here (PipeWire's would
    // otherwise stay readable and turn the wait into a spin).
    const int wanted = snd_pcm_poll_descriptors_count(pcm);
    fds.resize(static_cast<size_t>(std::max(wanted, 0)) + 1);
    const int device_fds =
        snd_pcm_poll_descriptors(pcm, fds.data(), static_cast<unsigned>(fds.size() - 1));
    if (device_fds < 0) {
        return device_fds;
    }
    const auto count = static_cast<unsigned>(device_fds);
    fds[count] = pollfd{StopPipe(), POLLIN, 0};
    const int ready = poll(fds.data(), count + 1, timeout_ms);
    if (ready < 0) {
        return errno == EINTR ? 0 : -errno; // EINTR: the stop signal itself, seen by the caller
    }
    if (fds[count].revents != 0) {
        EmptyStopPipe(); // so that the next wait sleeps again
    }
    if (std::all_of(fds.begin(), fds.begin() + count,
                    [](const pollfd& fd) { return fd.revents == 0; })) {
        return 0;
    }
    unsigned short revents = 0;
    const int rc = snd_pcm_poll_descriptors_revents(pcm, fds.data(), count, &revents);
    if (rc < 0) {
        return rc;
    }
    return (revents & (POLLERR | POLLNVAL)) != 0 ? StateError(pcm) : 0;
}
