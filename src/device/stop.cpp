#include "device.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

// The signal that asked playing or listening to stop, 0 for none. Only the handler writes it.
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

// Takes over one signal while a device is in use, unless it is ignored (a program started in
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

// How the program ends when a close does not return in time: by a signal, else a status.
volatile sig_atomic_t g_end_status = 0;
volatile sig_atomic_t g_end_signal = 0;

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

extern "C" void EndWithoutClosing(int signal) {
    EndBy(signal == SIGALRM ? static_cast<int>(g_end_signal) : signal,
          static_cast<int>(g_end_status));
}

void SetAction(int signal, void (*handler)(int), struct sigaction& saved) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, &saved);
}

} // namespace

void ClosePcmOrEnd(snd_pcm_t* pcm, int timeout_ms, int end_status, int end_signal) {
    std::fflush(nullptr); // whatever happens next, what was printed is out
    g_end_status = end_status;
    g_end_signal = end_signal;
    struct sigaction alarm_saved {};
    struct sigaction interrupt_saved {};
    struct sigaction terminate_saved {};
    SetAction(SIGALRM, EndWithoutClosing, alarm_saved);
    // A stop signal ends the program unless it is ignored (a background job's Ctrl-C).
    sigaction(SIGINT, nullptr, &interrupt_saved);
    sigaction(SIGTERM, nullptr, &terminate_saved);
    if (interrupt_saved.sa_handler != SIG_IGN) {
        SetAction(SIGINT, EndWithoutClosing, interrupt_saved);
    }
    if (terminate_saved.sa_handler != SIG_IGN) {
        SetAction(SIGTERM, EndWithoutClosing, terminate_saved);
    }
    itimerval timer{};
    timer.it_value.tv_sec = timeout_ms / 1000;
    timer.it_value.tv_usec = static_cast<suseconds_t>(timeout_ms % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);
    snd_pcm_close(pcm);
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &alarm_saved, nullptr);
    sigaction(SIGINT, &interrupt_saved, nullptr);
    sigaction(SIGTERM, &terminate_saved, nullptr);
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

int StopSignal() {
    return g_stop_signal;
}

int StopPipe() {
    return g_stop_pipe[0];
}

void EmptyStopPipe() {
    char bytes[16];
    while (read(g_stop_pipe[0], bytes, sizeof bytes) > 0) {
    }
}
