// The bytes are everything a user types into the menu.
#include "app/app.h"
#include "sandbox.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    EnterSandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exports take their file name from the input; with a slash it could be written outside
    // the scratch directory.
    if (size > 0 && std::memchr(data, '/', size) != nullptr) {
        return 0;
    }
    std::vector<char> bytes(data, data + size);
    // fmemopen refuses an empty buffer.
    FILE* in = size == 0 ? std::fopen("/dev/null", "r") : fmemopen(bytes.data(), size, "r");
    static FILE* out = std::fopen("/dev/null", "w");
    if (in == nullptr || out == nullptr) {
        std::abort();
    }

    ToneSettings settings;
    std::strcpy(settings.device, "null");
    settings.length = 0.01f;
    const int status = RunMenuLoop(settings, in, out);
    std::fclose(in);
    ClearScratch();
    if (status != 0 && status != 1) {
        std::abort();
    }
    return 0;
}
