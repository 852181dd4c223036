// The bytes are up to ten command-line arguments (options with their values, then the four
// positional ones), each ended by a zero byte or a newline.
#include "app/app.h"
#include "sandbox.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Options alone lead to the menu: it finds no input and its text goes nowhere.
FILE* Empty() {
    static FILE* in = std::fopen("/dev/null", "r");
    return in;
}

FILE* Discard() {
    static FILE* out = std::fopen("/dev/null", "w");
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    EnterSandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // -o takes a path: with a slash it could write outside the scratch directory.
    if (size > 0 && std::memchr(data, '/', size) != nullptr) {
        return 0;
    }
    constexpr size_t kMaxArguments = 10;
    std::vector<std::string> arguments(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\n') {
            if (arguments.size() == kMaxArguments) {
                break; // direct mode reads no further
            }
            arguments.emplace_back();
        } else {
            arguments.back() += c;
        }
    }

    std::vector<char*> argv{const_cast<char*>("ondelis")};
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    ToneSettings settings;
    const int status = RunCommandLine(settings, static_cast<int>(argv.size() - 1), argv.data(),
                                      Empty(), Discard());
    ClearScratch();
    if (status != 0 && status != 1) {
        std::abort();
    }
    // The program closes no descriptor it did not open: a later open would take its number,
    // and what read the old one would read the new.
    struct stat in_stat {};
    if (fstat(fileno(Empty()), &in_stat) != 0 || !S_ISCHR(in_stat.st_mode)) {
        std::abort();
    }
    return 0;
}
