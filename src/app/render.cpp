#include "app.h"
#include "piano_play.h"

#include <cmath>
#include <cstdio>

// The frame count of a finite tone is a signed 32-bit number. Fuzzing builds lower the limit
// so that no input can ask for hours of tone.
#ifndef ONDELIS_MAX_FRAMES
#define ONDELIS_MAX_FRAMES 2147483647
#endif
constexpr double kMaxFrames = ONDELIS_MAX_FRAMES;
// They also refuse a length of inf, since nothing but a signal would end such a tone.
#ifdef ONDELIS_NO_ENDLESS_TONES
constexpr bool kEndlessTones = false;
#else
constexpr bool kEndlessTones = true;
#endif

bool ToneFrames(const ToneSettings& settings, int32_t& frames) {
    const double product = static_cast<double>(settings.sample_rate) * settings.length;
    if (!(product < kMaxFrames + 1)) { // also refuses NaN
        return false;
    }
    frames = product > 0 ? static_cast<int32_t>(product) : 0;
    return true;
}

bool IsEndless(const ToneSettings& settings) {
    return kEndlessTones && std::isinf(settings.length) && settings.length > 0;
}

RenderedTone RenderTone(const ToneSettings& settings) {
    RenderedTone tone;
    int32_t frames = 0;
    // A frequency given in Hz is no key's: its partials are whole multiples.
    const double b = settings.pitch_source == NOTE ? settings.piano.b : 0.0;
    if (IsEndless(settings)) {
        tone.tone = ShapeTone(settings.frequency, settings.sample_rate, kEndless, settings.level,
                              settings.harmonics, b);
    } else if (ToneFrames(settings, frames)) {
        tone.tone = ShapeTone(settings.frequency, settings.sample_rate, frames, settings.level,
                              settings.harmonics, b);
    } else {
        tone.status = RenderStatus::TooLong;
    }
    return tone;
}

void ReportRenderFailure(const ToneSettings& settings, const RenderedTone& tone, FILE* stream) {
    if (tone.status == RenderStatus::TooLong) {
        std::fprintf(stream,
                     "Tone too long: %.2f seconds at %u Hz is more than %.0f frames; a length "
                     "of inf plays until stopped\n",
                     settings.length, settings.sample_rate, kMaxFrames);
    }
}

std::string WhySilent(float frequency, uint32_t rate, const ToneShape& tone) {
    const double hz = std::fabs(static_cast<double>(frequency));
    const double half_rate = rate * 0.5;
    char why[200] = "";
    if (!(hz > 0)) {
        std::snprintf(why, sizeof why, "%.2f Hz is no frequency: nothing can sound", hz);
    } else if (hz >= half_rate) {
        std::snprintf(why, sizeof why,
                      "%.2f Hz is at or above half the sample rate (%.10g Hz): nothing can sound",
                      hz, half_rate);
    } else if (tone.frames > 0 && tone.sounding == 0) {
        std::snprintf(why, sizeof why,
                      "One cycle of %.2f Hz is longer than the whole tone (%.2f sec): nothing can "
                      "sound",
                      hz, static_cast<double>(tone.frames) / rate);
    }
    return why;
}

void WarnIfSilent(const ToneSettings& settings, const RenderedTone& tone, FILE* stream) {
    const std::string why = WhySilent(settings.frequency, settings.sample_rate, tone.tone);
    if (!why.empty()) {
        std::fprintf(stream, "%s\n", why.c_str());
        std::fflush(stream);
    }
}

void RefreshNoteFrequency(ToneSettings& settings) {
    if (settings.pitch_source != NOTE) {
        return;
    }
    if (const int key = CurrentKey(settings); PlaysPianoKeys(settings) && key != 0) {
        SoundKey(settings, key, settings.cents);
    } else {
        settings.piano.b = 0;
        settings.frequency = static_cast<float>(TunedFreq(
            settings.tuning, settings.note, settings.octave, settings.cents, settings.a4));
    }
}

bool RenderChecked(const ToneSettings& settings, FILE* failure, RenderedTone& tone) {
    tone = RenderTone(settings);
    if (tone.status != RenderStatus::Ok) {
        ReportRenderFailure(settings, tone, failure);
        return false;
    }
    WarnIfSilent(settings, tone, stderr);
    return true;
}
