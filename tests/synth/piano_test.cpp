#include "synth/piano.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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

TEST(PianoFile, KeysReadBackAsWrittenAndAKeyMeasuredAgainReplacesItsLine) {
    std::vector<MeasuredKey> keys = {{49, 440.0, 3.9e-4, 14}, {1, 27.512, 2.1e-4, 30}};
    keys = WithKey(keys, {88, 4190.25, 0.021, 2});
    keys = WithKey(keys, {49, 440.5, 4.0e-4, 12});
    const std::string text = FormatPianoFile(keys);
    EXPECT_NE(text.find("A0\t27.512\t2.1000e-04\t30\nA4\t440.500\t4.0000e-04\t12\n"
                        "C8\t4190.250\t2.1000e-02\t2\n"),
              std::string::npos)
        << text;
    const PianoFileReading read = ParsePianoFile(text);
    ASSERT_TRUE(read.ok) << read.line << ": " << read.why;
    ASSERT_EQ(read.keys.size(), 3u);
    EXPECT_EQ(read.keys[1].key, 49);
    EXPECT_EQ(read.keys[1].f1, 440.5);
    EXPECT_EQ(read.keys[1].b, 4e-4);
    EXPECT_EQ(read.keys[1].partials, 12);
    // Written by hand: spaces, comments, blank lines, a flat, a note in lower case.
    const PianoFileReading by_hand =
        ParsePianoFile("\n  # my piano\nbb0 29.1 3e-4 8 # wound\n\r\n");
    ASSERT_TRUE(by_hand.ok) << by_hand.why;
    EXPECT_EQ(by_hand.keys.at(0).key, 2);
}

TEST(PianoFile, ATypoIsRefusedNamingItsLine) {
    const struct {
        const char* text;
        int line;
        const char* why;
    } rows[] = {
        {"A4 440 3e-4 12\nH4 440 3e-4 12\n", 2, "'H4' is no key of a piano, A0 to C8"},
        {"# x\nA4 44O 3e-4 12\n", 2, "the first partial of A4 is a number of Hz, not '44O'"},
        {"A4 440 -1e-4 12\n", 1, "the stiffness B of A4 is a number from 0 below 0.5, not '-1e-4'"},
        {"A4 440 3e-4 1\n", 1, "the partials of A4's fit are a whole number from 2 to 99, not '1'"},
        {"A4 440 3e-4 2.5\n", 1,
         "the partials of A4's fit are a whole number from 2 to 99, not '2.5'"},
        {"A4 440 3e-4\n", 1,
         "a key's line is NOTE F1 B PARTIALS (as A4 440.000 3.90e-04 14), not 3 words"},
        {"A4 440 3e-4 12\n\na4 441 3e-4 12\n", 3, "A4 is measured on line 1 already"},
        {"A4 inf 3e-4 12\n", 1, "the first partial of A4 is a number of Hz, not 'inf'"},
    };
    for (const auto& row : rows) {
        const PianoFileReading read = ParsePianoFile(row.text);
        EXPECT_FALSE(read.ok) << row.text;
        EXPECT_EQ(read.line, row.line) << row.text;
        EXPECT_EQ(read.why, row.why) << row.text;
    }
    EXPECT_FALSE(ParsePianoFile(std::string("A4 440 3e-4 12\0\n", 17)).ok);
}

} // namespace
