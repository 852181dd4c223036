#include "piano_command.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

bool SetPianoFile(ToneSettings& settings, const char* path) {
    settings.piano.file = path;
    return true;
}

bool SetOctaves(ToneSettings& settings, const char* text) {
    std::string why;
    if (!ParseOctaves(text, settings.piano.octaves, why)) {
        std::fprintf(stderr, "The octaves (--octaves) are %s\n", why.c_str());
        return false;
    }
    settings.piano.octaves_given = true;
    return true;
}

// The plot is written as SVG alone: a name that promises another kind would hold text that
// no viewer of that kind opens.
bool SetPlot(ToneSettings& settings, const char* path) {
    const size_t length = std::strlen(path);
    if (length < 5 || strcasecmp(path + length - 4, ".svg") != 0) {
        std::fprintf(stderr,
                     "--plot draws the curve as an SVG picture: give a FILE.svg, not '%s'\n", path);
        return false;
    }
    settings.piano.plot = path;
    return true;
}
