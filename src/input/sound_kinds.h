// What sound_file.cpp asks of a stream before and while libsndfile reads it: the formats a
// pipe cannot carry, and a decoder's own messages kept off the terminal.
#pragma once

#include <string>

// The lower-case name of a libsndfile format (SF_FORMAT_...) that libsndfile reads only from
// a file it can seek in (flac, caf, mp3), else null.
const char* NeedsAFile(int format);

// The reason that refuses such a format through a pipe, naming it and the way round.
std::string ReadFromAFile(const char* format);

// The same, for the first bytes of the pipe `fd`, looked at without being taken: libsndfile,
// given such a pipe, loses its way (FLAC) or reads outside its buffer (MP3).
const char* PipedFormatNeedingAFile(int fd);

// Why a stream on standard input could not be opened, libsndfile's reason made plain.
std::string WhyStreamNotOpened(bool pipe);

// libmpg123 writes its complaints to standard error itself. While a Hushed lives, standard
// error goes to `sink` (a memory file) instead: the chatter stays off the terminal, and its
// errors tell bytes that only looked like MPEG audio. A sink of -1 changes nothing.
class Hushed {
  public:
    explicit Hushed(int sink);
    ~Hushed();
    Hushed(const Hushed&) = delete;
    Hushed& operator=(const Hushed&) = delete;

  private:
    int saved_;
};

// Whether the decoder's chatter in `sink` holds an error, not only a warning.
bool DecoderFailed(int sink);
