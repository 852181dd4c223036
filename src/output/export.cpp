#include "output.h"

#include "app/app.h"

bool Exportable(const ToneSettings& settings, const char* endless_hint, FILE* out) {
    if (IsEndless(settings)) {
        std::fprintf(out,
                     "An endless tone cannot be exported: a length of inf plays until stopped; "
                     "%s\n",
                     endless_hint);
        return false;
    }
    if (settings.sample_rate > kMaxWavRate) {
        std::fprintf(out,
                     "Sample rate too high for a WAV file: %u Hz passes its byte rate field (at "
                     "most %u Hz)\n",
                     settings.sample_rate, kMaxWavRate);
        return false;
    }
    int32_t frames = 0;
    if (ToneFrames(settings, frames) && frames > kMaxWavFrames) {
        std::fprintf(out, "Tone too long for a WAV file: %d frames pass its 4 GiB size limit\n",
                     frames);
        return false;
    }
    return true;
}

void ExportTone(ToneSettings& settings, FILE* in, FILE* out) {
    std::fputs("Export will be to a 24-bit wave file\n", out);
    std::fputs("Enter the filename to write to\n", out);
    std::fflush(out);
    if (!ReadName(in, settings.export_file, sizeof settings.export_file, "File name", out)) {
        return;
    }
    // Refuse what cannot be written before the file is touched.
    if (!Exportable(settings, "give the tone a length with 'l' first", out)) {
        return;
    }
    RefreshNoteFrequency(settings);
    RenderedTone tone;
    if (!RenderChecked(settings, out, tone)) {
        return;
    }
    WriteWav(settings.export_file, settings.sample_rate, tone.tone, out);
}
