// A fuzz target without libFuzzer: every file named, or found in a directory named, is one
// input, given to the target as the fuzzer would give it. The test build links each target
// with this, so that every input that once found a fault is tried again on every change, under
// the sanitizers, with any compiler.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Targets that set up a sandbox define it; the others leave it out.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

// The inputs a path stands for: the file itself, or a directory's files in name order.
// False when the directory cannot be listed to its end.
bool InputsOf(const std::string& path, std::vector<std::string>& files) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        files = {path};
        return true;
    }
    files.clear();
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            files.push_back(path + "/" + entry->d_name);
        }
    }
    const int error = errno;
    closedir(dir);
    if (error != 0) {
        std::fprintf(stderr, "replay: cannot list %s: %s\n", path.c_str(), std::strerror(error));
        return false;
    }
    std::sort(files.begin(), files.end());
    return true;
}

bool ReadWhole(const std::string& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return file.good() || file.eof();
}

} // namespace

int main(int argc, char** argv) {
    // Read before the target's set-up, which may change the working directory.
    std::vector<std::pair<std::string, std::string>> inputs;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::string> paths;
        if (!InputsOf(argv[i], paths)) {
            return 1;
        }
        for (const std::string& path : paths) {
            std::string bytes;
            if (!ReadWhole(path, bytes)) {
                std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
                return 1;
            }
            inputs.emplace_back(path, std::move(bytes));
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no input in %d path(s)\n", argc - 1);
        return 1;
    }
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    for (const auto& [path, bytes] : inputs) {
        // A fault aborts here, under the sanitizers, with this line the last before it.
        std::fprintf(stderr, "replay: %s\n", path.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
