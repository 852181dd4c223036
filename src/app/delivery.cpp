#include "delivery.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

namespace {

// The error of a descriptor that can take no more: a pipe without a reader, a closed one;
// 0 when it looks writable. Asked without waiting.
int DescriptorError(int fd) {
    pollfd state{fd, 0, 0};
    if (poll(&state, 1, 0) != 1) {
        return 0;
    }
    if ((state.revents & POLLNVAL) != 0) {
        return EBADF;
    }
    return (state.revents & POLLERR) != 0 ? EPIPE : 0;
}

// The error of the writes to `out` so far, after flushing it; 0 when every one went through.
int WriteError(FILE* out) {
    // A write that failed just before (a caller's own flush) left its error here.
    const int earlier = errno;
    errno = 0;
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        return errno != 0 ? errno : (earlier != 0 ? earlier : EIO);
    }
    return 0;
}

bool Reported(int error) {
    if (error == 0) {
        return true;
    }
    std::fprintf(stderr, "Cannot write the readings to standard output: %s\n",
                 std::strerror(error));
    return false;
}

} // namespace

bool ReadingsDelivered(FILE* out) {
    const int error = WriteError(out);
    return Reported(error != 0 ? error : DescriptorError(fileno(out)));
}

bool ReadingsWritten(FILE* out) {
    return Reported(WriteError(out));
}
