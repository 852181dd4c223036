#include "input.h"

#include <cerrno>
#include <cstring>
#include <memory>

bool ReadTextFile(const char* path, size_t limit, std::string& text, std::string& why) {
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (file == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    // One byte past the limit tells a file at the limit from a larger one, so that a device
    // or a pipe without end is refused instead of read for ever.
    text.resize(limit + 1);
    const size_t size = std::fread(text.data(), 1, text.size(), file.get());
    if (std::ferror(file.get()) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (size > limit) {
        why = "larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    text.resize(size);
    return true;
}
