// The files that options name (a scale, a piano's measured keys): read whole, within a bound,
// and refused naming the file and the line.
#pragma once

#include "synth/piano.h"

#include <cstddef>
#include <string>
#include <vector>

// The text of the file at `path`, at most `limit` bytes: false, with `why` as
// "PATH: cannot read the WHAT: reason".
bool ReadOptionFile(const char* path, size_t limit, const char* what, std::string& text,
                    std::string& why);

// A refusal of line `line` of the file at `path`: "PATH:LINE: why".
std::string AtLine(const char* path, int line, const std::string& why);

// The keys of the piano file at `path`; a file not there yet holds none when `missing_is_empty`
// (the file --measure begins). False with `why`, naming the file and the line.
bool ReadPianoFile(const char* path, bool missing_is_empty, std::vector<MeasuredKey>& keys,
                   std::string& why);
