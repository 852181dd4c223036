#include "output.h"

#include "app/app.h"

void ExportTone(ToneSettings& settings, FILE* in, FILE* out) {
    std::fputs("Export will be to a 24-bit wave file\n", out);
    std::fputs("Enter the filename to write to\n", out);
    std::fflush(out);
    if (!ReadName(in, settings.export_file, sizeof settings.export_file, "File name", out)) {
        return;
    }
    // Refuse what cannot be written before the file is touched.
    if (IsEndless(settings)) {
        std::fputs("An endless tone cannot be exported: a length of inf plays until stopped; "
                   "give the tone a length with 'l' first\n",
                   out);
        return;
    }
    int32_t frames = 0;
    if (ToneFrames(settings, frames) && frames > kMaxWavFrames) {
        std::fprintf(out, "Tone too long for a WAV file: %d frames pass its 4 GiB size limit\n",
                     frames);
        return;
    }
    RefreshNoteFrequency(settings);
    const RenderedTone tone = RenderTone(settings);
    if (tone.status != RenderStatus::Ok) {
        ReportRenderFailure(settings, tone, out);
        return;
    }
    // A header that failed does not stop the data: the append reports its own failure.
    MAKE_HEADER(settings.export_file, settings.sample_rate, 24,
                static_cast<int32_t>(tone.tone.frames), out);
    WriteTone(settings.export_file, tone.tone, out);
}
