#include "synth/piano.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(PianoKeys, NumberedFromA0ToC8AndNamedAsTheKeyboard) {
    const struct {
        int key;
        const char* name;
    } rows[] = {{1, "A0"},   {2, "Bb0"}, {3, "B0"},  {4, "C1"},  {40, "C4"},
                {48, "G#4"}, {49, "A4"}, {52, "C5"}, {87, "B7"}, {88, "C8"}};
    for (const auto& row : rows) {
        EXPECT_EQ(KeyName(row.key), row.name) << row.key;
        EXPECT_EQ(KeyOfName(row.name), row.key) << row.name;
    }
    EXPECT_EQ(KeyOfName("a#0"), 2);
    EXPECT_EQ(KeyOfName("c4"), 40);
    // Off the keyboard, or no note.
    for (const char* name : {"G#0", "C#8", "H4", "", "A", "A44"}) {
        EXPECT_EQ(KeyOfName(name), 0) << name;
    }
}

TEST(PianoKeys, AStiffStringsPartialsRunSharp) {
    // f_k = k f0 sqrt(1 + B k^2): B = 1e-3 puts the 10th partial 10 * sqrt(1.1) / sqrt(1.001)
    // times the first, 81.64 cents above 10 f1.
    EXPECT_DOUBLE_EQ(PartialHz(100, 0, 7), 700);
    EXPECT_DOUBLE_EQ(PartialHz(100, 1e-3, 1), 100);
    EXPECT_NEAR(1200 * std::log2(PartialHz(100, 1e-3, 10) / 1000), 81.64, 0.01);
}

} // namespace
