#include "terminal.h"

#include "needle.h"

#include <sys/ioctl.h>

#include <cstdlib>
#include <cstring>

size_t TerminalColumns(int fd, const char* columns_variable) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    if (columns_variable != nullptr) {
        char* end = nullptr;
        const long columns = std::strtol(columns_variable, &end, 10);
        if (end != columns_variable && *end == '\0' && columns > 0 && columns < 100000) {
            return static_cast<size_t>(columns);
        }
    }
    return 80;
}

bool ErasesLine(const char* term) {
    return term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

std::string FitToColumns(const std::string& line, size_t columns) {
    size_t seen = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const bool starts_a_character = (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
        if (starts_a_character && seen++ == columns) {
            return line.substr(0, i);
        }
    }
    return line;
}

std::string Redraw(const std::string& line, bool erases, size_t& shown) {
    const size_t columns = Columns(line);
    std::string bytes = "\r" + line;
    if (erases) {
        bytes += "\x1b[K";
    } else if (shown > columns) {
        bytes += std::string(shown - columns, ' ');
    }
    shown = columns;
    return bytes;
}

HeldMessages::HeldMessages() : stream_(open_memstream(&text_, &size_)) {
    if (stream_ == nullptr) {
        stream_ = stderr;
    }
}

HeldMessages::~HeldMessages() {
    if (stream_ != stderr) {
        std::fclose(stream_);
    }
    std::free(text_);
}

std::string HeldMessages::Take() {
    if (stream_ == stderr || std::fflush(stream_) != 0 || size_ == 0) {
        return "";
    }
    std::string taken(text_, size_);
    std::rewind(stream_);
    return taken;
}
