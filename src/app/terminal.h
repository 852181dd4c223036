// The terminal the tuner draws on: its width and capabilities, a line drawn over in place,
// and messages held back while it is.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Columns of the terminal on `fd`: its window's width, else the number in `columns_variable`
// (COLUMNS), else 80.
size_t TerminalColumns(int fd, const char* columns_variable);

// Whether a terminal of the type `term` (TERM) erases to the end of the line with ESC[K: not
// a dumb one, nor one of no type.
bool ErasesLine(const char* term);

// `line` cut after `columns` columns, a UTF-8 character never split.
std::string FitToColumns(const std::string& line, size_t columns);

// The bytes that draw `line` over the line drawn before in place: back to its start, the new
// line, the rest of the old one erased (ESC[K where the terminal `erases`, else blanks over
// the `shown` columns of the old one). `shown` becomes the columns of `line`.
std::string Redraw(const std::string& line, bool erases, size_t& shown);

// Messages held back while a line is drawn in place, so that they can follow it on lines of
// their own instead of being glued to it.
class HeldMessages {
  public:
    HeldMessages();
    ~HeldMessages();
    HeldMessages(const HeldMessages&) = delete;
    HeldMessages& operator=(const HeldMessages&) = delete;
    FILE* stream() const { return stream_; } // stderr when no memory stream could be made
    std::string Take();                      // what was written since the last Take
  private:
    char* text_ = nullptr;
    size_t size_ = 0;
    FILE* stream_ = nullptr;
};
