#include "listen_command.h"

#include <cstdio>

bool SetListening(ToneSettings& settings) {
    if (settings.listening) {
        std::fputs("--listen is given twice: it reads one source at a time\n", stderr);
        return false;
    }
    settings.listening = true;
    return true;
}

bool SetListenSource(ToneSettings& settings, const char* source) {
    settings.listen_source = source;
    return SetListening(settings);
}

bool SetInstrument(ToneSettings& settings, const char* name) {
    if (!IsInstrument(name)) {
        std::fprintf(stderr, "Unknown instrument: '%s'; the instruments are %s\n", name,
                     InstrumentNames().c_str());
        return false;
    }
    settings.instrument = name;
    return true;
}
