#include "app.h"

#include "synth/synth.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

// The frame count is a signed 32-bit number. Fuzzing builds lower the limit so that no input
// can ask for gigabytes of tone.
#ifndef ONDELIS_MAX_FRAMES
#define ONDELIS_MAX_FRAMES 2147483647
#endif
constexpr double kMaxFrames = ONDELIS_MAX_FRAMES;

namespace {

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;

uintptr_t HugePageDown(uintptr_t address) {
    return address & ~(kHugePage - 1);
}
uintptr_t HugePageUp(uintptr_t address) {
    return HugePageDown(address + kHugePage - 1);
}

// A long tone touches hundreds of thousands of fresh 4 KiB pages, each a page fault. Where the
// kernel gives transparent huge pages on request, ask for them for the 2 MiB blocks that lie
// wholly inside the buffer. Only advice: when it is refused nothing changes.
void PreferHugePages(void* buffer, size_t size) {
    const auto start = reinterpret_cast<uintptr_t>(buffer);
    const uintptr_t begin = HugePageUp(start);
    const uintptr_t end = HugePageDown(start + size);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}

} // namespace

bool ToneFrames(const ToneSettings& settings, int32_t& frames) {
    const double product = static_cast<double>(settings.sample_rate) * settings.length;
    if (!(product < kMaxFrames + 1)) { // also refuses NaN
        return false;
    }
    frames = product > 0 ? static_cast<int32_t>(product) : 0;
    return true;
}

RenderedTone RenderTone(const ToneSettings& settings) {
    RenderedTone tone;
    if (!ToneFrames(settings, tone.frames)) {
        tone.status = RenderStatus::TooLong;
        return tone;
    }
    const auto frames = static_cast<size_t>(tone.frames);
    // Left uninitialised: the generator writes every sample and the packing every byte.
    std::unique_ptr<int32_t[]> samples(new (std::nothrow) int32_t[frames]);
    tone.packed.reset(new (std::nothrow) unsigned char[frames * 3]);
    if (!samples || !tone.packed) {
        tone.packed.reset();
        tone.status = RenderStatus::NoMemory;
        return tone;
    }
    PreferHugePages(samples.get(), frames * sizeof(int32_t));
    PreferHugePages(tone.packed.get(), frames * 3);
    MakeTone(samples.get(), settings.frequency, settings.sample_rate, tone.frames, settings.level);
    NUM24_TO_CHAR(samples.get(), tone.packed.get(), tone.frames);
    return tone;
}

void ReportRenderFailure(const ToneSettings& settings, const RenderedTone& tone, FILE* stream) {
    if (tone.status == RenderStatus::TooLong) {
        std::fprintf(stream, "Tone too long: %.2f seconds at %u Hz is more than %.0f frames\n",
                     settings.length, settings.sample_rate, kMaxFrames);
    } else if (tone.status == RenderStatus::NoMemory) {
        std::fprintf(stream, "Not enough memory for a tone of %d frames\n", tone.frames);
    }
}

void RefreshNoteFrequency(ToneSettings& settings) {
    if (settings.pitch_source == NOTE) {
        settings.frequency = static_cast<float>(
            Get_Freq(settings.note, settings.octave, settings.cents, settings.a4));
    }
}
