#include "sound_kinds.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

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

// The format of a pipe's first bytes when it is one that libsndfile reads only from a file,
// else null. The bytes are looked at without being taken (tee), so that libsndfile, which
// misreads such a pipe (FLAC loses sync, MP3 reads before its buffer), never gets one.
const char* PipedFormatNeedingAFile(int fd) {
    int copy[2];
    if (pipe2(copy, O_CLOEXEC | O_NONBLOCK) != 0) {
        return nullptr;
    }
    unsigned char head[4] = {};
    ssize_t got = 0;
    // A writer may not have written 4 bytes yet: a few tries, a second in all.
    for (int tries = 0; tries < 100 && got < 4; ++tries) {
        const ssize_t copied = tee(fd, copy[1], sizeof head, 0);
        if (copied <= 0) {
            break;
        }
        got = read(copy[0], head, sizeof head); // all that was copied: at most 4 bytes
        if (got < 4) {
            usleep(10000);
        }
    }
    close(copy[0]);
    close(copy[1]);
    if (got >= 4 && std::memcmp(head, "fLaC", 4) == 0) {
        return "flac";
    }
    if (got >= 4 && std::memcmp(head, "caff", 4) == 0) {
        return "caf";
    }
    const bool mpeg_sync = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    if (got >= 3 && (std::memcmp(head, "ID3", 3) == 0 || mpeg_sync)) {
        return "mp3";
    }
    return nullptr;
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
