#include "output.h"

#include <algorithm>

FrameSource RenderedPieces(const ToneShape& tone) {
    FrameSource source;
    source.tone = tone;
    source.samples.resize(kPieceFrames);
    source.packed.resize(3 * static_cast<size_t>(kPieceFrames));
    return source;
}

int64_t MostAtOnce(const FrameSource& source, int64_t first) {
    if (source.data != nullptr) {
        return source.tone.frames;
    }
    const int64_t piece_end = source.packed_first + source.packed_count;
    const bool in_piece = first >= source.packed_first && first < piece_end;
    return in_piece ? piece_end - first : kPieceFrames;
}

const unsigned char* PackedFrames(FrameSource& source, int64_t first, int32_t count) {
    if (source.data != nullptr) {
        return source.data + 3 * first;
    }
    // A device that took only part of a write asks for the rest next: those frames are made
    // already, and making them again for every few frames it takes would cost a whole piece
    // each time.
    const bool held =
        first >= source.packed_first && first + count <= source.packed_first + source.packed_count;
    if (!held) {
        const auto piece =
            static_cast<int32_t>(std::min<int64_t>(kPieceFrames, source.tone.frames - first));
        RenderSpan(source.tone, first, piece, source.samples.data());
        NUM24_TO_CHAR(source.samples.data(), source.packed.data(), piece);
        source.packed_first = first;
        source.packed_count = piece;
    }
    return source.packed.data() + 3 * (first - source.packed_first);
}
