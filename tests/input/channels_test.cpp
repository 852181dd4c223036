#include "input/channels.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

// A frame is heard as the mean of its channels, or as the one chosen alone: never the mean
// of some, nor a neighbour of the one chosen.
TEST(Channels, AFrameIsTheMeanOfAllOrTheChosenChannelAlone) {
    const std::array<float, 4> four{0.5f, -0.25f, 0.125f, 0.875f};
    const struct {
        std::vector<float> frame;
        unsigned channel;
        float heard;
    } rows[] = {
        {{0.5f}, 0, 0.5f},                        // mono: itself
        {{0.5f}, 1, 0.5f},                        // its one channel
        {{0.25f, -0.25f}, 0, 0.0f},               // one upside down from the other cancels it
        {{0.25f, -0.25f}, 1, 0.25f},              // the first alone
        {{0.25f, -0.25f}, 2, -0.25f},             // the second alone
        {{four.begin(), four.end()}, 0, 0.3125f}, // (0.5 - 0.25 + 0.125 + 0.875) / 4
        {{four.begin(), four.end()}, 3, 0.125f},
        {{four.begin(), four.end()}, 4, 0.875f},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HeardInFrame(row.frame, row.channel), row.heard)
            << row.frame.size() << " channels, channel " << row.channel;
    }
}

// The mean is the exact one, rounded once: quiet channels beside a loud one still count,
// where a sum kept in floats would round each of them away.
TEST(Channels, QuietChannelsBesideALoudOneCountInTheMean) {
    const float step = 1.0f / 16777216.0f; // half a float's step at 1
    const std::vector<float> frame{1.0f, step, step};
    EXPECT_EQ(HeardInFrame(frame, 0), static_cast<float>((1.0 + 2.0 * step) / 3));
    EXPECT_NE(HeardInFrame(frame, 0), (1.0f + step + step) / 3); // what floats would give
}

} // namespace
