// What sound_file.cpp asks of a stream before and while libsndfile reads it: the formats a
// pipe cannot carry, and a decoder's own messages kept off the terminal.
#pragma once

#include <string>

// The lower-case name of a libsndfile format (SF_FORMAT_...) that libsndfile reads only from
// a file it can seek in (flac, caf, mp3), else null.
const char* NeedsAFile(int format);

// The reason that refuses such a format through a pipe, naming it and the way round.
std::string ReadFromAFile(const char* format);

// The reason to refuse the pipe `fd` before libsndfile is given it, from its first bytes,
// looked at without being taken; empty when libsndfile may read it. libsndfile, given a pipe
// of FLAC or MP3, loses its way (FLAC) or reads outside its buffer (MP3); bytes that only begin
// as MPEG audio's do are no sound file at all, and it would take them for MP3.
std::string PipeRefused(int fd);

// The reason that refuses bytes that are no sound file libsndfile reads.
constexpr const char* kNoSoundFile = "it is not a sound file it can read";

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
