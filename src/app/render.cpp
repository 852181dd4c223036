#include "app.h"

#include "synth/synth.h"

#include <sys/mman.h>

#include <algorithm>
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

// The 4-byte samples of a tone, mapped on their own so that the part already packed can go
// back to the system while the rest is packed: the packed bytes then reuse those pages
// instead of adding 3 bytes per frame to the 4 the samples hold.
class SampleBuffer {
  public:
    explicit SampleBuffer(size_t frames) : size_(frames * sizeof(int32_t)) {
        if (size_ == 0) {
            return;
        }
        void* memory =
            mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            failed_ = true;
            return;
        }
        // Left as the kernel hands it over: the generator writes every sample.
        data_ = static_cast<int32_t*>(memory);
        PreferHugePages(memory, size_);
    }
    SampleBuffer(const SampleBuffer&) = delete;
    SampleBuffer& operator=(const SampleBuffer&) = delete;
    ~SampleBuffer() {
        if (data_ != nullptr && released_ < size_) {
            munmap(Address(released_), size_ - released_);
        }
    }

    bool Failed() const { return failed_; }
    int32_t* Data() const { return data_; }

    // Hands back the memory of the first `frames` samples, in whole 2 MiB blocks: cutting
    // into a huge page would only make the kernel split it.
    void ReleaseBefore(size_t frames) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(data_);
        const uintptr_t end = HugePageDown(base + frames * sizeof(int32_t));
        if (data_ == nullptr || end <= base + released_) {
            return;
        }
        if (munmap(Address(released_), end - (base + released_)) == 0) {
            released_ = end - base;
        }
    }

  private:
    void* Address(size_t offset) const { return reinterpret_cast<char*>(data_) + offset; }

    size_t size_;
    int32_t* data_ = nullptr;
    size_t released_ = 0; // bytes at the start already handed back
    bool failed_ = false;
};

// Frames packed between two releases of sample memory: 4 MiB of samples.
constexpr int32_t kPackFrames = 1 << 20;

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
    SampleBuffer samples(frames);
    // Left uninitialised: the packing writes every byte.
    tone.packed.reset(new (std::nothrow) unsigned char[frames * 3]);
    if (samples.Failed() || !tone.packed) {
        tone.packed.reset();
        tone.status = RenderStatus::NoMemory;
        return tone;
    }
    PreferHugePages(tone.packed.get(), frames * 3);
    MakeTone(samples.Data(), settings.frequency, settings.sample_rate, tone.frames, settings.level);
    for (int32_t done = 0; done < tone.frames;) {
        const int32_t count = std::min(kPackFrames, tone.frames - done);
        NUM24_TO_CHAR(samples.Data() + done, tone.packed.get() + 3 * static_cast<size_t>(done),
                      count);
        done += count;
        samples.ReleaseBefore(static_cast<size_t>(done));
    }
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
        settings.frequency =
            static_cast<float>(Get_Freq(settings.note, settings.octave, settings.cents));
    }
}
