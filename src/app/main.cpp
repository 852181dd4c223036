#include "app.h"

#include "device/device.h"

#include <csignal>
#include <cstdio>

namespace {

// A tone that a signal stopped ends the program as that signal would have, so that a calling
// shell or script sees the interruption (status 130 for Ctrl-C) and stops too.
int EndAs(int status) {
    if (status > kStoppedBySignal) {
        const int signal = status - kStoppedBySignal;
        std::fflush(nullptr);
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    ToneSettings settings;
    return EndAs(RunCommandLine(settings, argc, argv, stdin, stdout));
}
