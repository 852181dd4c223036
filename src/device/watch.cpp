#include "device.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// How a watch ends the program, read by its handlers: only they and StartWatch write them.
volatile sig_atomic_t g_end_status = 1;
volatile sig_atomic_t g_end_signal = 0;
volatile sig_atomic_t g_after_stop_ms = 0;
// The stop signal the watch took in place of the action it found, 0 for none.
volatile sig_atomic_t g_taken = 0;
// The line said before a status, ready to be written from a handler in one call.
char g_message[512];
volatile sig_atomic_t g_message_size = 0;
volatile sig_atomic_t g_message_fd = -1;

// The actions in force before the watch took the signals over.
struct sigaction g_saved_alarm {};
struct sigaction g_saved_interrupt {};
struct sigaction g_saved_terminate {};

// Ends the program at once, from a signal handler: only async-signal-safe calls.
[[noreturn]] void EndBy(int signal, int status) {
    if (signal != 0) {
        ::signal(signal, SIG_DFL);
        sigset_t unblocked;
        sigemptyset(&unblocked);
        sigaddset(&unblocked, signal);
        sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
        raise(signal);
        status = 128 + signal;
    }
    _exit(status);
}

// setitimer is a plain system call: safe in a handler on Linux, though POSIX does not say so.
void SetTimer(int ms) {
    itimerval timer{};
    timer.it_value.tv_sec = ms / 1000;
    timer.it_value.tv_usec = static_cast<suseconds_t>(ms % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);
}

extern "C" void TimeIsUp(int) {
    if (g_end_signal == 0 && g_message_fd >= 0 && g_message_size > 0) {
        [[maybe_unused]] const ssize_t ignored =
            write(g_message_fd, g_message, static_cast<size_t>(g_message_size));
    }
    EndBy(g_end_signal, g_end_status);
}

extern "C" void StopMeanwhile(int signal) {
    if (g_after_stop_ms == 0 || StopSignal() != 0) {
        EndBy(signal, 0);
    }
    g_end_signal = signal;
    g_taken = signal;
    AskToStopBy(signal);
    itimerval left{};
    getitimer(ITIMER_REAL, &left);
    const long left_ms = left.it_value.tv_sec * 1000L + left.it_value.tv_usec / 1000;
    // 0 left: the time is up already, and its own handler ends the program.
    if (left_ms > g_after_stop_ms) {
        SetTimer(g_after_stop_ms);
    }
}

void SetAction(int signal, void (*handler)(int), struct sigaction& saved) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, &saved);
}

// A stop signal meets the watch unless it is ignored (a background job's Ctrl-C).
void TakeOver(int signal, struct sigaction& saved) {
    sigaction(signal, nullptr, &saved);
    if (saved.sa_handler != SIG_IGN) {
        SetAction(signal, StopMeanwhile, saved);
    }
}

} // namespace

void StartWatch(const Watch& watch) {
    std::fflush(nullptr); // whatever happens next, what was printed is out
    g_end_status = watch.end_status;
    g_end_signal = watch.end_signal;
    g_after_stop_ms = watch.after_stop_ms;
    g_taken = 0;
    const size_t size = std::min(watch.message.size(), sizeof g_message);
    std::memcpy(g_message, watch.message.data(), size);
    g_message_size = static_cast<sig_atomic_t>(size);
    g_message_fd = watch.err != nullptr ? fileno(watch.err) : -1;
    SetAction(SIGALRM, TimeIsUp, g_saved_alarm);
    TakeOver(SIGINT, g_saved_interrupt);
    TakeOver(SIGTERM, g_saved_terminate);
    SetTimer(std::max(watch.timeout_ms, 1));
}

void EndWatch() {
    SetTimer(0);
    sigaction(SIGALRM, &g_saved_alarm, nullptr);
    // A signal the watch took asked to stop as the first signal does; the next one meets
    // the usual action, as after the stop handler's first signal.
    for (auto [signal, saved] :
         {std::pair{SIGINT, &g_saved_interrupt}, std::pair{SIGTERM, &g_saved_terminate}}) {
        if (g_taken == signal) {
            ::signal(signal, SIG_DFL);
        } else {
            sigaction(signal, saved, nullptr);
        }
    }
}

void ClosePcmOrEnd(snd_pcm_t* pcm, int timeout_ms, int end_status, int end_signal) {
    Watch watch;
    watch.timeout_ms = timeout_ms;
    watch.end_status = end_status;
    watch.end_signal = end_signal;
    StartWatch(watch);
    snd_pcm_close(pcm);
    EndWatch();
}
