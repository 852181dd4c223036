#include "app.h"

#include <cctype>
#include <cstring>
#include <vector>

size_t ReadWord(FILE* in, char* buffer, size_t capacity) {
    int c = std::getc(in);
    while (c != EOF && std::isspace(c)) {
        c = std::getc(in);
    }
    if (c == EOF) {
        return kNoWord;
    }
    size_t length = 0;
    for (; c != EOF && !std::isspace(c); c = std::getc(in), ++length) {
        if (length + 1 < capacity) {
            buffer[length] = static_cast<char>(c);
        }
    }
    // Like "%s", leave the blank that ended the word in the input.
    if (c != EOF) {
        std::ungetc(c, in);
    }
    buffer[length + 1 < capacity ? length : capacity - 1] = '\0';
    return length;
}

bool StoredWhole(const char* buffer, size_t capacity, size_t length) {
    return length < capacity && std::strlen(buffer) == length;
}

bool ReadName(FILE* in, char* field, size_t capacity, const char* what, FILE* out) {
    std::vector<char> word(capacity);
    const size_t length = ReadWord(in, word.data(), capacity);
    if (length == kNoWord) {
        return false;
    }
    if (length >= capacity) {
        std::fprintf(out, "%s too long (at most %zu characters), keeping '%s'\n", what,
                     capacity - 1, field);
        return false;
    }
    if (!StoredWhole(word.data(), capacity, length)) {
        std::fprintf(out, "%s contains a zero byte, keeping '%s'\n", what, field);
        return false;
    }
    std::memcpy(field, word.data(), length + 1);
    return true;
}
