#include "curve_png.h"
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

// The plot is drawn as SVG or PNG alone: a name that promises another kind would hold a
// picture that no viewer of that kind opens.
bool SetPlot(ToneSettings& settings, const char* path) {
    const size_t length = std::strlen(path);
    if (!NamesPng(path) && (length < 5 || strcasecmp(path + length - 4, ".svg") != 0)) {
        std::fprintf(stderr,
                     "--plot draws the curve as an SVG or PNG picture: give a FILE.svg or "
                     "FILE.png, not '%s'\n",
                     path);
        return false;
    }
    settings.piano.plot = path;
    return true;
}
