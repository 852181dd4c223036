// The sound device, either way: what playback (output/) and capture (input/) both need of an
// ALSA device — opening it with one message when it cannot be had, one way back from lost
// frames or a suspend, a wait that a stop signal ends, and the stop signals themselves.
#pragma once

#include <alsa/asoundlib.h>
#include <poll.h>
#include <signal.h>

#include <cstdio>
#include <vector>

// What playing or listening returns when SIGINT or SIGTERM cut it short: this plus the
// signal's number, the status a shell shows for a program that the signal ended.
constexpr int kStoppedBySignal = 128;

// Opens `device` for `stream` (SND_PCM_STREAM_PLAYBACK or _CAPTURE) in `mode` (0 or
// SND_PCM_NONBLOCK). Returns 0, or 1 after saying on `err` why it cannot be opened and where
// to look for a device that can.
int OpenPcm(snd_pcm_t*& pcm, const char* device, snd_pcm_stream_t stream, int mode, FILE* err);

// Brings a device back after frames were lost (-EPIPE: an underrun or an overrun) or the
// system was suspended (-ESTRPIPE): prepared again, or resumed where it can be. Returns 0, or
// the error that could not be cleared; any other error is handed back as it is.
int RecoverPcm(snd_pcm_t* pcm, int error);

// Sleeps until the device wakes the program (its avail_min is reached), a stop signal
// arrives, or `timeout_ms` pass. `fds` is reused from wait to wait. Returns 0, or a negative
// ALSA error that the device reported instead.
int WaitOnPcm(snd_pcm_t* pcm, std::vector<pollfd>& fds, int timeout_ms);

// The signal handlers in force before the program took SIGINT and SIGTERM over.
struct StopSignals {
    struct sigaction interrupt {};
    struct sigaction terminate {};
};

// While a device is in use, SIGINT and SIGTERM ask it to stop instead of ending the program;
// a second signal meets the usual action.
StopSignals CatchStopSignals();
void RestoreStopSignals(const StopSignals& saved);

// The signal that asked to stop, or 0.
int StopSignal();

// A descriptor that becomes readable when a stop signal arrives (-1 when there is none), and
// how to make it quiet again once it woke a wait.
int StopPipe();
void EmptyStopPipe();

// Closes `pcm`, but a device that does not answer (a sound server frozen by SIGSTOP, which
// would keep the close waiting for good) cannot keep the program: once `timeout_ms` pass, or
// as soon as SIGINT or SIGTERM comes meanwhile, the program ends at once, its output flushed:
// by that signal, else by `end_signal` when it is not 0, else with the status `end_status`.
void ClosePcmOrEnd(snd_pcm_t* pcm, int timeout_ms, int end_status, int end_signal);
