#include "device.h"

#include <fcntl.h>
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
    AskToStopBy(signal);
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

} // namespace

void AskToStopBy(int signal) {
    g_stop_signal = signal;
    const int saved_errno = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = write(g_stop_pipe[1], &byte, 1);
    errno = saved_errno;
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
