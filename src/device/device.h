// The sound device, either way: what playback (output/) and capture (input/) both need of an
// ALSA device — opening it with one message when it cannot be had, one way back from lost
// frames or a suspend, a wait that a stop signal ends, the stop signals themselves, and a
// watch over the calls that a device which does not answer would keep waiting.
#pragma once

#include <alsa/asoundlib.h>
#include <poll.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

// What playing or listening returns when SIGINT or SIGTERM cut it short: this plus the
// signal's number, the status a shell shows for a program that the signal ended.
constexpr int kStoppedBySignal = 128;

// Opens `device` for `stream` (SND_PCM_STREAM_PLAYBACK or _CAPTURE) in `mode` (0 or
// SND_PCM_NONBLOCK). Returns 0, or 1 after saying on `err` why it cannot be opened and where
// to look for a device that can.
int OpenPcm(snd_pcm_t*& pcm, const char* device, snd_pcm_stream_t stream, int mode, FILE* err);

// The longest opening a device may take, its set-up and start included.
constexpr int kLongestOpenMs = 3000;

// Watches the opening of `device` for `stream` (see StartWatch): a device that does not
// answer within kLongestOpenMs ends the program with status 1, after a line on `err` that
// says so; SIGINT or SIGTERM meanwhile end it once `after_stop_ms` pass (0: at once). EndWatch
// once it is open.
void WatchOpening(const char* device, snd_pcm_stream_t stream, int after_stop_ms, FILE* err);

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

// What SIGINT and SIGTERM do while a device is in use: notes the stop and wakes the wait on
// the device. Safe in a signal handler.
void AskToStopBy(int signal);

// A descriptor that becomes readable when a stop signal arrives (-1 when there is none), and
// how to make it quiet again once it woke a wait.
int StopPipe();
void EmptyStopPipe();

// A sound server frozen by SIGSTOP, or hung, answers nothing, and ALSA's plugins wait for it
// for good, deaf to signals, in an open, a drain or a close. While a watch is on, such a wait
// cannot keep the program: once `timeout_ms` pass, it ends at once, its output flushed when
// the watch began, by `end_signal` when that is not 0, else with `end_status` after `message`
// on `err`. SIGINT or SIGTERM meanwhile end it by that signal: at once when `after_stop_ms` is
// 0 or a stop was asked for before, else once `after_stop_ms` pass (sooner when the time left
// is shorter), so that a device that answers can still play out what it holds; the stop is
// noted as AskToStopBy notes it. Watches do not nest.
struct Watch {
    int timeout_ms = 0;
    int after_stop_ms = 0;
    int end_status = 1;
    int end_signal = 0;
    std::string message;
    FILE* err = stderr;
};
void StartWatch(const Watch& watch);
void EndWatch();

// Closes `pcm` under a watch of `timeout_ms` that ends the program by `end_signal`, else with
// `end_status`, and that a stop signal ends at once.
void ClosePcmOrEnd(snd_pcm_t* pcm, int timeout_ms, int end_status, int end_signal);
