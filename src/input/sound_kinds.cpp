#include "sound_kinds.h"

#include "stream_bytes.h"

#include <fcntl.h>
#include <poll.h>
#include <sndfile.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

// Formats that libsndfile reads only from a file it can seek in, not through a pipe.
const char* NeedsAFile(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_FLAC:
        return "flac";
    case SF_FORMAT_CAF:
        return "caf";
    case SF_FORMAT_MPEG:
        return "mp3";
    default:
        return nullptr;
    }
}

std::string ReadFromAFile(const char* format) {
    std::string name = format;
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name + " is read from a file, not through a pipe: give the file's name, or " +
           "standard input from the file itself (ondelis --listen - < take." + format + ")";
}

namespace {

// What the first bytes of a pipe are, once they are enough to tell.
enum class Head { kUnknown, kFlac, kCaf, kMpeg, kNotMpeg, kMoreBytes };

Head Identify(std::span<const unsigned char> head) {
    if (head.size() < 4) {
        return Head::kMoreBytes;
    }
    if (std::memcmp(head.data(), "fLaC", 4) == 0) {
        return Head::kFlac;
    }
    if (std::memcmp(head.data(), "caff", 4) == 0) {
        return Head::kCaf;
    }
    const bool mpeg_sync = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    if (!mpeg_sync && std::memcmp(head.data(), "ID3", 3) != 0) {
        return Head::kUnknown;
    }
    switch (LookForMpeg(head)) {
    case MpegLook::kMpeg:
        return Head::kMpeg;
    case MpegLook::kNone:
        return Head::kNotMpeg;
    default:
        return Head::kMoreBytes;
    }
}

// Whether no writer holds the pipe `fd` open any more: what it holds is all there will be.
bool WriterGone(int fd) {
    pollfd hangup{fd, 0, 0};
    return poll(&hangup, 1, 0) == 1 && (hangup.revents & POLLHUP) != 0;
}

// What the first bytes of the pipe `fd` are, looked at without being taken (tee). A writer
// may not have written enough yet: a few tries, a second in all. Bytes that do not tell once
// the writer has gone (the pipe hangs up), or by then, are no MPEG audio.
Head PeekHead(int fd) {
    int copy[2];
    if (pipe2(copy, O_CLOEXEC | O_NONBLOCK) != 0) {
        return Head::kUnknown;
    }
    std::vector<unsigned char> head(kMpegLookBytes);
    size_t got = 0;
    Head found = Head::kMoreBytes;
    for (int tries = 0; tries < 100 && found == Head::kMoreBytes; ++tries) {
        // The copy pipe does not block, and so nor does tee: an empty pipe is waited for here,
        // as long as libsndfile would wait for it.
        pollfd readable{fd, POLLIN, 0};
        if (got == 0 && poll(&readable, 1, -1) < 0 && errno != EINTR) {
            break;
        }
        const ssize_t copied = tee(fd, copy[1], head.size(), 0);
        if (copied == 0 || (copied < 0 && errno != EAGAIN && errno != EINTR)) {
            break; // the writer has gone, and all it wrote was looked at
        }
        if (copied > 0) {
            got = 0;
            for (ssize_t n = 0; got < static_cast<size_t>(copied); got += static_cast<size_t>(n)) {
                n = read(copy[0], head.data() + got, static_cast<size_t>(copied) - got);
                if (n <= 0) {
                    break;
                }
            }
            found = Identify(std::span(head.data(), got));
        }
        if (found == Head::kMoreBytes && copied > 0 && WriterGone(fd)) {
            break;
        }
        if (found == Head::kMoreBytes) {
            usleep(10000);
        }
    }
    close(copy[0]);
    close(copy[1]);
    if (found != Head::kMoreBytes) {
        return found;
    }
    // Bytes that began as MPEG audio's do and never became it are none; others are left to
    // libsndfile, which waits for a slow writer.
    const bool sync = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    const bool began_as_mpeg = got >= 3 && (sync || std::memcmp(head.data(), "ID3", 3) == 0);
    return began_as_mpeg ? Head::kNotMpeg : Head::kUnknown;
}

} // namespace

std::string PipeRefused(int fd) {
    switch (PeekHead(fd)) {
    case Head::kFlac:
        return ReadFromAFile("flac");
    case Head::kCaf:
        return ReadFromAFile("caf");
    case Head::kMpeg:
        return ReadFromAFile("mp3");
    case Head::kNotMpeg:
        return kNoSoundFile;
    default:
        return "";
    }
}

// Why a stream on standard input could not be opened: FLAC's decoder, given a pipe, loses
// its way in the header before libsndfile names the format.
std::string WhyStreamNotOpened(bool pipe) {
    const std::string error = sf_strerror(nullptr);
    if (pipe && error.find("flac") != std::string::npos) {
        return ReadFromAFile("flac");
    }
    return error;
}

// libmpg123 writes its complaints to standard error itself. While libsndfile works, standard
// error goes to a memory file instead: the chatter stays off the terminal, and its errors
// tell bytes that only looked like MPEG audio.
Hushed::Hushed(int sink) : saved_(sink >= 0 ? dup(STDERR_FILENO) : -1) {
    if (saved_ >= 0) {
        std::fflush(stderr);
        dup2(sink, STDERR_FILENO);
    }
}

Hushed::~Hushed() {
    if (saved_ >= 0) {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
}

// Whether the decoder's chatter in `sink` holds an error, not only a warning.
bool DecoderFailed(int sink) {
    if (sink < 0) {
        return false;
    }
    char text[4096];
    const ssize_t got = pread(sink, text, sizeof text - 1, 0);
    if (got <= 0) {
        return false;
    }
    text[got] = '\0';
    return std::strstr(text, "error") != nullptr || std::strstr(text, "Illegal") != nullptr;
}
