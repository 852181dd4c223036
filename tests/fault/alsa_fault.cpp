// Preloaded into the ondelis binary, this stands in for a few ALSA calls so that a test can
// make a device misbehave on demand. Every call goes on to the real ALSA unless the
// environment asks for a fault:
//
//   FAULT_WRITE=ERR[:FIRST[:COUNT[:STEP]]]
//                                     writes FIRST, FIRST+STEP, ... (1-based, STEP 1 unless
//                                     given), COUNT of them or all when COUNT is absent,
//                                     return -ERR, nothing written
//   FAULT_WRITE_MAX=K                 a write takes at most K frames (0: none at all)
//   FAULT_READ=ERR[:FIRST[:COUNT[:STEP]]]
//                                     the same rule for a capture's reads (snd_pcm_readi),
//                                     which then read nothing
//   FAULT_RESUME, FAULT_PREPARE,      the same ERR[:FIRST[:COUNT]] rule for those calls; a
//   FAULT_AVAIL, FAULT_DRAIN,         resume outside its rule answers 0 without asking ALSA,
//   FAULT_HW_PARAMS, FAULT_FORMAT     since only a faked suspend ever leads to one
//   FAULT_ANY, FAULT_ACCESS,          the same rule for the setters of a device's parameters:
//   FAULT_CHANNELS, FAULT_SET_RATE,   snd_pcm_hw_params_any, _set_access, _set_channels,
//   FAULT_PERIOD, FAULT_BUFFER,       _set_rate_near, _set_period_size_near and
//   FAULT_SW_CURRENT, FAULT_AVAIL_MIN, _set_buffer_size_near; snd_pcm_sw_params_current,
//   FAULT_SW_PARAMS                   _set_avail_min and snd_pcm_sw_params
//   FAULT_REWIND=ERR[:FIRST[:COUNT]]  the same rule for rewinds, which then take nothing back
//   FAULT_REWIND_MAX=K                a rewind takes back at most K frames
//   FAULT_RATE=R                      the device grants R Hz whatever was asked
//   FAULT_INTERLEAVED_ONLY=1          only interleaved access is offered, as sound servers do
//   FAULT_NO_ROOM=1                   the device never has room: avail 0, and its poll
//                                     descriptor never becomes ready, so waits time out
//   FAULT_FAST_WAITS=1                with FAULT_NO_ROOM, a wait that would time out returns
//                                     at once and the program's monotonic clock moves on by
//                                     its timeout, as if it had slept it: minutes of a stalled
//                                     device pass in milliseconds, and the count of waits says
//                                     how long the program waited
//   FAULT_SIGNAL_AT=N[:SIG]           the write that reaches frame N takes no frame past it,
//                                     then the program gets SIGINT (or SIG: INT, TERM), as
//                                     from a key press while that frame plays
//   FAULT_LOG=PATH                    one line per write, prepare, resume and drain
//   FAULT_SIGINT_IGNORED=1            the program starts with SIGINT ignored, as a shell
//                                     without job control starts a background job
//   FAULT_SIGNAL_IN_DRAIN=1           drain first gets the signal of FAULT_SIGNAL_AT again,
//                                     as from a second key press while the device plays
//                                     out what it holds
//   FAULT_SIGNAL_IN_WAIT=K            the program's K-th wait on the device gets the signal
//                                     of FAULT_SIGNAL_AT 100 ms in, from a timer, as from a
//                                     key press while the program sleeps
//   FAULT_DEAF=CALL                   the program's hw_params, drain or close (CALL) never
//                                     returns, whatever signal comes: the plugin of a sound
//                                     server frozen by SIGSTOP waits on it so
//
// FAULT_LOG also has a line "rewind ASKED GIVEN" for each rewind, and a line "wait N" for each of
// the program's waits, N being poll's result. ALSA's plugins call these same functions on their
// slaves; only the program's own calls (the outermost ones) are counted, logged or failed.
#include <alsa/asoundlib.h>

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename F> F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int ErrorNumber(const char* name) {
    static constexpr struct {
        const char* name;
        int value;
    } kErrors[] = {{"EPIPE", EPIPE},   {"ESTRPIPE", ESTRPIPE}, {"EIO", EIO},
                   {"EAGAIN", EAGAIN}, {"ENOSYS", ENOSYS},     {"EINVAL", EINVAL},
                   {"ENODEV", ENODEV}, {"EBADFD", EBADFD},     {"EINTR", EINTR}};
    for (const auto& error : kErrors) {
        if (std::strcmp(name, error.name) == 0) {
            return error.value;
        }
    }
    std::fprintf(stderr, "alsa_fault: unknown error %s\n", name);
    std::abort();
}

// The fault rule of one call, counting the program's calls to it.
class Rule {
  public:
    explicit Rule(const char* variable) {
        const char* text = std::getenv(variable);
        if (text == nullptr || *text == '\0') {
            return;
        }
        char name[16] = "";
        std::sscanf(text, "%15[A-Z]:%ld:%ld:%ld", name, &first_, &count_, &step_);
        step_ = std::max(step_, 1L);
        error_ = ErrorNumber(name);
    }

    // The error this call returns, or 0 when it goes on to ALSA.
    int Next() {
        ++calls_;
        const long since = calls_ - first_;
        const bool hit = error_ != 0 && since >= 0 && since % step_ == 0 &&
                         (count_ < 0 || since / step_ < count_);
        return hit ? -error_ : 0;
    }

    bool Set() const { return error_ != 0; }

  private:
    int error_ = 0;
    long first_ = 1;
    long count_ = -1;
    long step_ = 1;
    long calls_ = 0;
};

long EnvNumber(const char* variable, long unset = 0) {
    const char* text = std::getenv(variable);
    return text == nullptr ? unset : std::strtol(text, nullptr, 10);
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
    static FILE* log = [] {
        const char* path = std::getenv("FAULT_LOG");
        return path == nullptr ? nullptr : std::fopen(path, "a");
    }();
    if (log == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(log, format, args);
    va_end(args);
    std::fflush(log);
}

// True for the program's own call, false inside a call that is already being handled.
thread_local int depth = 0;
struct Outer {
    Outer() { ++depth; }
    ~Outer() { --depth; }
    Outer(const Outer&) = delete;
    Outer& operator=(const Outer&) = delete;
    bool operator()() const { return depth == 1; }
};

// Interleaved and non-interleaved writes count as one sequence of writes.
Rule& WriteRule() {
    static Rule rule("FAULT_WRITE");
    return rule;
}

// Frames the program has handed over so far, and the signal due at frame N.
struct SignalAt {
    long frame = -1;
    int signal = SIGINT;
    long written = 0;
};

SignalAt& PendingSignal() {
    static SignalAt pending = [] {
        SignalAt at;
        at.frame = EnvNumber("FAULT_SIGNAL_AT", -1);
        const char* text = std::getenv("FAULT_SIGNAL_AT");
        const char* name = text == nullptr ? nullptr : std::strchr(text, ':');
        if (name != nullptr && std::strcmp(name + 1, "TERM") == 0) {
            at.signal = SIGTERM;
        }
        return at;
    }();
    return pending;
}

// Caps a write at the signal's frame.
snd_pcm_uframes_t UpToSignal(snd_pcm_uframes_t frames) {
    const SignalAt& at = PendingSignal();
    if (at.frame >= at.written && frames > static_cast<snd_pcm_uframes_t>(at.frame - at.written)) {
        return static_cast<snd_pcm_uframes_t>(at.frame - at.written);
    }
    return frames;
}

// Counts what a write took and raises the signal once its frame is reached.
void CountWritten(snd_pcm_sframes_t result) {
    SignalAt& at = PendingSignal();
    if (result <= 0) {
        return;
    }
    at.written += result;
    if (at.frame >= 0 && at.written >= at.frame) {
        at.frame = -1;
        raise(at.signal);
    }
}

bool NoRoom() {
    static const bool no_room = EnvNumber("FAULT_NO_ROOM") != 0;
    return no_room;
}

// The read end of a pipe nobody writes to.
int NeverReady() {
    static const int fd = [] {
        int fds[2] = {-1, -1};
        return pipe(fds) == 0 ? fds[0] : -1;
    }();
    return fd;
}

// Sends `signal` to the process 100 ms from now.
void SignalSoon(int signal) {
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = signal;
    timer_t timer{};
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0) {
        std::abort();
    }
    itimerspec soon{};
    soon.it_value.tv_nsec = 100'000'000;
    timer_settime(timer, 0, &soon, nullptr);
}

// Once: the program's drain comes first, the drains of ALSA's plugins on their slaves after.
void SignalAgainInDrain() {
    static bool due = EnvNumber("FAULT_SIGNAL_IN_DRAIN") != 0;
    if (due) {
        due = false;
        raise(PendingSignal().signal);
    }
}

// Waits for good in `call` when FAULT_DEAF names it: a signal's handler runs, and the wait
// goes on.
void DeafIn(const char* call) {
    const char* deaf = std::getenv("FAULT_DEAF");
    if (deaf != nullptr && std::strcmp(deaf, call) == 0) {
        for (;;) {
            pause();
        }
    }
}

// Before main, so that the program finds SIGINT as such a shell would have left it.
__attribute__((constructor)) void StartWithInterruptIgnored() {
    if (EnvNumber("FAULT_SIGINT_IGNORED") != 0) {
        signal(SIGINT, SIG_IGN);
    }
}

template <typename Buffer>
snd_pcm_sframes_t Write(const char* call, Buffer buffer, snd_pcm_uframes_t frames,
                        snd_pcm_sframes_t (*real)(snd_pcm_t*, Buffer, snd_pcm_uframes_t),
                        snd_pcm_t* pcm) {
    const Outer outer;
    if (!outer()) {
        return real(pcm, buffer, frames);
    }
    snd_pcm_sframes_t result = WriteRule().Next();
    if (result == 0) {
        const long max_frames = EnvNumber("FAULT_WRITE_MAX", -1);
        if (max_frames >= 0 && frames > static_cast<snd_pcm_uframes_t>(max_frames)) {
            frames = static_cast<snd_pcm_uframes_t>(max_frames);
        }
        frames = UpToSignal(frames);
        result = real(pcm, buffer, frames);
        CountWritten(result);
    }
    Log("%s %lu %ld\n", call, frames, result);
    return result;
}

// Runs the real call unless `rule` fails it; logs the outcome under `call` when given.
template <typename Call> int Guarded(Rule& rule, const char* call, Call real) {
    const Outer outer;
    if (!outer()) {
        return real();
    }
    int result = rule.Next();
    if (result == 0) {
        result = real();
    }
    if (call != nullptr) {
        Log("%s %d\n", call, result);
    }
    return result;
}

} // namespace

extern "C" {

snd_pcm_sframes_t snd_pcm_writen(snd_pcm_t* pcm, void** bufs, snd_pcm_uframes_t size) {
    static const auto real =
        Real<snd_pcm_sframes_t (*)(snd_pcm_t*, void**, snd_pcm_uframes_t)>("snd_pcm_writen");
    return Write("writen", bufs, size, real, pcm);
}

snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t* pcm, const void* buffer, snd_pcm_uframes_t size) {
    static const auto real =
        Real<snd_pcm_sframes_t (*)(snd_pcm_t*, const void*, snd_pcm_uframes_t)>("snd_pcm_writei");
    return Write("writei", buffer, size, real, pcm);
}

snd_pcm_sframes_t snd_pcm_readi(snd_pcm_t* pcm, void* buffer, snd_pcm_uframes_t size) {
    static const auto real =
        Real<snd_pcm_sframes_t (*)(snd_pcm_t*, void*, snd_pcm_uframes_t)>("snd_pcm_readi");
    static Rule rule("FAULT_READ");
    const Outer outer;
    if (!outer()) {
        return real(pcm, buffer, size);
    }
    const int error = rule.Next();
    const snd_pcm_sframes_t result = error != 0 ? error : real(pcm, buffer, size);
    Log("readi %lu %ld\n", size, result);
    return result;
}

int snd_pcm_prepare(snd_pcm_t* pcm) {
    static const auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_prepare");
    static Rule rule("FAULT_PREPARE");
    return Guarded(rule, "prepare", [&] { return real(pcm); });
}

int snd_pcm_resume(snd_pcm_t* pcm) {
    static const auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_resume");
    static Rule rule("FAULT_RESUME");
    // The stream was never really suspended, so ALSA has nothing to resume.
    return Guarded(rule, "resume", [&] { return rule.Set() ? 0 : real(pcm); });
}

int snd_pcm_drain(snd_pcm_t* pcm) {
    static const auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_drain");
    static Rule rule("FAULT_DRAIN");
    return Guarded(rule, "drain", [&] {
        SignalAgainInDrain();
        DeafIn("drain");
        return real(pcm);
    });
}

int snd_pcm_close(snd_pcm_t* pcm) {
    static const auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_close");
    static Rule rule("FAULT_CLOSE");
    return Guarded(rule, nullptr, [&] {
        DeafIn("close");
        return real(pcm);
    });
}

snd_pcm_sframes_t snd_pcm_avail_update(snd_pcm_t* pcm) {
    static const auto real = Real<snd_pcm_sframes_t (*)(snd_pcm_t*)>("snd_pcm_avail_update");
    static Rule rule("FAULT_AVAIL");
    const Outer outer;
    if (!outer()) {
        return real(pcm);
    }
    if (const int error = rule.Next(); error != 0) {
        return error;
    }
    return NoRoom() ? 0 : real(pcm);
}

int snd_pcm_poll_descriptors_count(snd_pcm_t* pcm) {
    static const auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_poll_descriptors_count");
    const Outer outer;
    return outer() && NoRoom() ? 1 : real(pcm);
}

int snd_pcm_poll_descriptors(snd_pcm_t* pcm, struct pollfd* fds, unsigned int space) {
    static const auto real =
        Real<int (*)(snd_pcm_t*, struct pollfd*, unsigned int)>("snd_pcm_poll_descriptors");
    const Outer outer;
    if (outer() && NoRoom() && space >= 1) {
        fds[0] = pollfd{NeverReady(), POLLIN, 0};
        return 1;
    }
    return real(pcm, fds, space);
}

// Nanoseconds of waits FAULT_FAST_WAITS skipped: the program's clock is that far ahead.
long long skipped_ns = 0;

bool FastWaits() {
    static const bool fast = NoRoom() && EnvNumber("FAULT_FAST_WAITS") != 0;
    return fast;
}

// The program's own waits: on its main thread, outside every ALSA call.
int poll(struct pollfd* fds, nfds_t count, int timeout) {
    static const auto real = Real<int (*)(struct pollfd*, nfds_t, int)>("poll");
    if (depth != 0 || gettid() != getpid()) {
        return real(fds, count, timeout);
    }
    static long waits = 0;
    if (++waits == EnvNumber("FAULT_SIGNAL_IN_WAIT", -1)) {
        SignalSoon(PendingSignal().signal);
    }
    int result = 0;
    if (FastWaits() && timeout > 0) {
        result = real(fds, count, 0);
        if (result == 0) {
            skipped_ns += timeout * 1'000'000LL;
        }
    } else {
        result = real(fds, count, timeout);
    }
    Log("wait %d\n", result);
    return result;
}

int clock_gettime(clockid_t clock, struct timespec* now) {
    static const auto real = Real<int (*)(clockid_t, struct timespec*)>("clock_gettime");
    const int result = real(clock, now);
    if (result == 0 && clock == CLOCK_MONOTONIC && skipped_ns != 0) {
        const long long ns = now->tv_nsec + skipped_ns % 1'000'000'000LL;
        now->tv_sec += static_cast<time_t>(skipped_ns / 1'000'000'000LL + ns / 1'000'000'000LL);
        now->tv_nsec = static_cast<long>(ns % 1'000'000'000LL);
    }
    return result;
}

snd_pcm_sframes_t snd_pcm_rewind(snd_pcm_t* pcm, snd_pcm_uframes_t frames) {
    static const auto real =
        Real<snd_pcm_sframes_t (*)(snd_pcm_t*, snd_pcm_uframes_t)>("snd_pcm_rewind");
    static Rule rule("FAULT_REWIND");
    const Outer outer;
    if (!outer()) {
        return real(pcm, frames);
    }
    snd_pcm_sframes_t result = rule.Next();
    if (result == 0) {
        const long most = EnvNumber("FAULT_REWIND_MAX", -1);
        result =
            real(pcm, most >= 0 ? std::min(frames, static_cast<snd_pcm_uframes_t>(most)) : frames);
    }
    Log("rewind %lu %ld\n", frames, result);
    return result;
}

int snd_pcm_hw_params(snd_pcm_t* pcm, snd_pcm_hw_params_t* params) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*)>("snd_pcm_hw_params");
    static Rule rule("FAULT_HW_PARAMS");
    return Guarded(rule, nullptr, [&] {
        DeafIn("hw_params");
        return real(pcm, params);
    });
}

int snd_pcm_hw_params_set_format(snd_pcm_t* pcm, snd_pcm_hw_params_t* params,
                                 snd_pcm_format_t format) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*, snd_pcm_format_t)>(
        "snd_pcm_hw_params_set_format");
    static Rule rule("FAULT_FORMAT");
    return Guarded(rule, nullptr, [&] { return real(pcm, params, format); });
}

int snd_pcm_hw_params_set_access(snd_pcm_t* pcm, snd_pcm_hw_params_t* params,
                                 snd_pcm_access_t access) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*, snd_pcm_access_t)>(
        "snd_pcm_hw_params_set_access");
    static const bool interleaved_only = EnvNumber("FAULT_INTERLEAVED_ONLY") != 0;
    static Rule rule("FAULT_ACCESS");
    const Outer outer;
    if (outer() && interleaved_only && access != SND_PCM_ACCESS_RW_INTERLEAVED) {
        return -EINVAL;
    }
    const int error = outer() ? rule.Next() : 0;
    return error != 0 ? error : real(pcm, params, access);
}

int snd_pcm_hw_params_set_rate_near(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, unsigned int* rate,
                                    int* dir) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned int*, int*)>(
        "snd_pcm_hw_params_set_rate_near");
    static const long granted = EnvNumber("FAULT_RATE");
    static Rule rule("FAULT_SET_RATE");
    const Outer outer;
    if (outer() && granted > 0) {
        *rate = static_cast<unsigned int>(granted);
    }
    const int error = outer() ? rule.Next() : 0;
    return error != 0 ? error : real(pcm, params, rate, dir);
}

int snd_pcm_hw_params_any(snd_pcm_t* pcm, snd_pcm_hw_params_t* params) {
    static const auto real =
        Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*)>("snd_pcm_hw_params_any");
    static Rule rule("FAULT_ANY");
    return Guarded(rule, nullptr, [&] { return real(pcm, params); });
}

int snd_pcm_hw_params_set_channels(snd_pcm_t* pcm, snd_pcm_hw_params_t* params,
                                   unsigned int channels) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned int)>(
        "snd_pcm_hw_params_set_channels");
    static Rule rule("FAULT_CHANNELS");
    return Guarded(rule, nullptr, [&] { return real(pcm, params, channels); });
}

int snd_pcm_hw_params_set_period_size_near(snd_pcm_t* pcm, snd_pcm_hw_params_t* params,
                                           snd_pcm_uframes_t* frames, int* dir) {
    static const auto real =
        Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*, snd_pcm_uframes_t*, int*)>(
            "snd_pcm_hw_params_set_period_size_near");
    static Rule rule("FAULT_PERIOD");
    return Guarded(rule, nullptr, [&] { return real(pcm, params, frames, dir); });
}

int snd_pcm_hw_params_set_buffer_size_near(snd_pcm_t* pcm, snd_pcm_hw_params_t* params,
                                           snd_pcm_uframes_t* frames) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*, snd_pcm_uframes_t*)>(
        "snd_pcm_hw_params_set_buffer_size_near");
    static Rule rule("FAULT_BUFFER");
    return Guarded(rule, nullptr, [&] { return real(pcm, params, frames); });
}

int snd_pcm_sw_params_current(snd_pcm_t* pcm, snd_pcm_sw_params_t* params) {
    static const auto real =
        Real<int (*)(snd_pcm_t*, snd_pcm_sw_params_t*)>("snd_pcm_sw_params_current");
    static Rule rule("FAULT_SW_CURRENT");
    return Guarded(rule, nullptr, [&] { return real(pcm, params); });
}

int snd_pcm_sw_params_set_avail_min(snd_pcm_t* pcm, snd_pcm_sw_params_t* params,
                                    snd_pcm_uframes_t frames) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_sw_params_t*, snd_pcm_uframes_t)>(
        "snd_pcm_sw_params_set_avail_min");
    static Rule rule("FAULT_AVAIL_MIN");
    return Guarded(rule, nullptr, [&] { return real(pcm, params, frames); });
}

int snd_pcm_sw_params(snd_pcm_t* pcm, snd_pcm_sw_params_t* params) {
    static const auto real = Real<int (*)(snd_pcm_t*, snd_pcm_sw_params_t*)>("snd_pcm_sw_params");
    static Rule rule("FAULT_SW_PARAMS");
    return Guarded(rule, nullptr, [&] { return real(pcm, params); });
}

} // extern "C"
