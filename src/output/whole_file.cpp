#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Writes all of `text` to `fd`, through short writes and signals.
bool WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

} // namespace

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& why) {
    // The new file stands in the same directory, so that the rename never crosses a file
    // system.
    std::string temporary = path + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    temporary = name.data();
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    const int error = errno;
    if (close(fd) != 0 || !written) {
        why = std::strerror(written ? errno : error);
        unlink(temporary.c_str());
        return false;
    }
    // mkstemp makes the file for its owner alone; a measured piano is no secret.
    const mode_t mask = umask(0);
    umask(mask);
    chmod(temporary.c_str(), 0666 & ~mask);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        why = std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
