#include "sandbox.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string scratch;

void RemoveScratch() {
    ClearScratch();
    if (!scratch.empty() && chdir("/") == 0) {
        rmdir(scratch.c_str());
    }
}

} // namespace

void EnterSandbox() {
    // Without this file ALSA would fall back to nothing useful and every input would look
    // the same; better to stop at once.
    if (access(ONDELIS_FUZZ_ALSA_CONFIG, R_OK) != 0) {
        std::fprintf(stderr, "fuzz: cannot read %s\n", ONDELIS_FUZZ_ALSA_CONFIG);
        std::abort();
    }
    setenv("ALSA_CONFIG_PATH", ONDELIS_FUZZ_ALSA_CONFIG, 1);

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ondelis-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
        std::perror("fuzz: scratch directory");
        std::abort();
    }
    scratch = pattern;
    std::atexit(RemoveScratch);
}

void ClearScratch() {
    if (scratch.empty()) {
        return;
    }
    DIR* dir = opendir(scratch.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    closedir(dir);
}
