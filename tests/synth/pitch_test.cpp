#include "synth/synth.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Shown(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", hz);
    return text;
}

TEST(GetFreq, NoteTableAtOffsetZero) {
    const struct {
        const char* note;
        const char* hz;
    } table[] = {
        {"a", "440.00"},  {"a#", "466.16"}, {"bb", "466.16"}, {"b", "493.88"},  {"c", "523.25"},
        {"c#", "554.37"}, {"db", "554.37"}, {"d", "587.33"},  {"d#", "622.25"}, {"eb", "622.25"},
        {"e", "659.26"},  {"f", "698.46"},  {"f#", "739.99"}, {"gb", "739.99"}, {"g", "783.99"},
        {"g#", "830.61"}, {"ab", "830.61"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(Shown(Get_Freq(row.note, 0, 0)), row.hz) << row.note;
    }
}

TEST(GetFreq, ReferencePitchScalesEveryNote) {
    for (const char* note : {"a", "c#", "eb", "e", "g#"}) {
        for (double octave : {-4.0, -3.0, 0.0, 2.0}) {
            const double at_440 = Get_Freq(note, octave, -20);
            EXPECT_NEAR(Get_Freq(note, octave, -20, 442), at_440 * 442 / 440, 1e-12 * at_440)
                << note;
        }
    }
    EXPECT_DOUBLE_EQ(Get_Freq("a", 0, 0, 415), 415.0);
    EXPECT_EQ(Get_Freq("e", -3, 0, 440), Get_Freq("e", -3, 0));
}

TEST(GetFreq, OnlyTheTableHoldsNoteNames) {
    for (const char* note : {"a", "a#", "bb", "c", "f#", "gb", "g#", "ab"}) {
        EXPECT_TRUE(IsNoteName(note)) << note;
    }
    for (const char* word : {"", "A", "E", "h", "h2", "cb", "e#", "c##", "G6", "a "}) {
        EXPECT_FALSE(IsNoteName(word)) << word;
    }
}

TEST(GetFreq, OctaveOffsetsAndCents) {
    EXPECT_EQ(Shown(Get_Freq("c", -1, 0)), "261.63");
    EXPECT_DOUBLE_EQ(Get_Freq("a", 4, 0), 16 * 440.0);
    EXPECT_EQ(Shown(Get_Freq("a", 0, 100)), "466.16");
    EXPECT_EQ(Shown(Get_Freq("a", 0, -100)), "415.30");
    EXPECT_EQ(Shown(Get_Freq("e", -3, 0)), "82.41");
    EXPECT_EQ(Shown(Get_Freq("e", -4, 0)), "41.20");
    EXPECT_EQ(Shown(Get_Freq("g", -3, 0)), "98.00");
}

TEST(GetFreq, UnknownNamesSoundAsA) {
    for (const char* note : {"A", "h", "G7", "cb", "e#", "b#", "fb", "", "a#x", "G6"}) {
        EXPECT_DOUBLE_EQ(Get_Freq(note, 0, 0), 440.0) << note;
    }
}

TEST(GetFreq, HugeOffsetFactorThatVanishesCountsAsOne) {
    // 0.5^2000 underflows to 0, which is replaced by 1.
    EXPECT_DOUBLE_EQ(Get_Freq("a", -2000, 0), 440.0);
}

} // namespace
