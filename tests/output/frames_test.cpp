#include "output/output.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

TEST(FrameSource, PiecesOfAnySizeHoldTheBytesOfTheWholeTone) {
    const struct {
        float hz;
        uint32_t rate;
        int32_t frames;
        float level;
    } tones[] = {
        {441, 44100, 44100, 25},   // whole cycles would fill it exactly: the last is left out
        {1, 44100, 22050, 25},     // no whole cycle
        {30000, 44100, 44100, 25}, // above half the rate
        {441, 44100, 44100, 100},  // full scale, sine of exactly 1.0
        {82.40689f, 8000, 40000, 25}, {440, 96000, 96000, 70},
    };
    for (const auto& t : tones) {
        const std::vector<unsigned char> whole = PackedTone(t.hz, t.rate, t.frames, t.level);
        // Frames asked for and frames taken, as from a device that takes part of a write.
        for (auto [asked, taken] :
             {std::pair{1, 1}, {7, 7}, {1536, 1536}, {12345, 12345}, {4608, 7}, {16384, 5000}}) {
            FrameSource source = RenderedPieces(ShapeTone(t.hz, t.rate, t.frames, t.level));
            std::vector<unsigned char> pieces;
            int64_t made = 0; // frames rendered, piece by piece
            for (int32_t first = 0; first < t.frames;) {
                const auto count = static_cast<int32_t>(
                    std::min<int64_t>({asked, t.frames - first, MostAtOnce(source, first)}));
                const int64_t piece_before = source.packed_first + source.packed_count;
                const unsigned char* bytes = PackedFrames(source, first, count);
                if (source.packed_first + source.packed_count != piece_before) {
                    made += source.packed_count;
                }
                const int32_t took = std::min(taken, count);
                pieces.insert(pieces.end(), bytes, bytes + 3 * took);
                first += took;
            }
            EXPECT_EQ(pieces, whole)
                << t.hz << " Hz at " << t.rate << ", " << taken << " of " << asked;
            EXPECT_EQ(made, t.frames) << "frames made twice, " << taken << " of " << asked;
        }
    }
}

} // namespace
