#include "listen_out.h"

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

} // namespace

bool ReadingsDelivered(FILE* out) {
    // A write that failed just before (a caller's own flush) left its error here.
    const int earlier = errno;
    errno = 0;
    int error = 0;
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        error = errno != 0 ? errno : (earlier != 0 ? earlier : EIO);
    } else {
        error = DescriptorError(fileno(out));
    }
    if (error == 0) {
        return true;
    }
    std::fprintf(stderr, "Cannot write the readings to standard output: %s\n",
                 std::strerror(error));
    return false;
}
