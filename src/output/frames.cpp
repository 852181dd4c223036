#include "output.h"

FrameSource RenderedPieces(const ToneShape& tone) {
    FrameSource source;
    source.tone = tone;
    source.samples.resize(kPieceFrames);
    source.packed.resize(3 * static_cast<size_t>(kPieceFrames));
    return source;
}

int64_t MostAtOnce(const FrameSource& source) {
    return source.data != nullptr ? source.tone.frames : static_cast<int64_t>(kPieceFrames);
}

const unsigned char* PackedFrames(FrameSource& source, int64_t first, int32_t count) {
    if (source.data != nullptr) {
        return source.data + 3 * first;
    }
    RenderSpan(source.tone, first, count, source.samples.data());
    NUM24_TO_CHAR(source.samples.data(), source.packed.data(), count);
    return source.packed.data();
}
