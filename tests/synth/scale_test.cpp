#include "support.h"
#include "synth/synth.h"
#include "tunings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// Scala files as the public archive writes them give the built-in tunings' pitches.
TEST(Scale, FilesGiveTheBuiltInPitches) {
    const struct {
        const char* file;
        const char* temperament;
    } files[] = {{"werckmeister3.scl", "werckmeister3"}, {"just.scl", "just"}};
    for (const auto& f : files) {
        for (const char* root : {"c", "f#"}) {
            Tuning scale = ScaleTuning(f.file);
            Tuning built_in;
            ASSERT_TRUE(LayTemperament(f.temperament, built_in));
            scale.root = built_in.root = SemitonesAboveA(root);
            for (const char* note :
                 {"a", "bb", "b", "c", "c#", "d", "eb", "e", "f", "f#", "g", "g#"}) {
                for (const double octave : {-3.0, 0.0}) {
                    EXPECT_NEAR(TunedFreq(scale, note, octave, 0, 440),
                                TunedFreq(built_in, note, octave, 0, 440), 0.005)
                        << f.file << " on " << root << ": " << note << " " << octave;
                }
            }
        }
    }
}

TEST(Scale, RefusalsNameTheLineAndWhy) {
    const std::string eleven = "d\n12\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n";
    const struct {
        std::string text;
        int line;
        const char* why;
    } rows[] = {
        {"", 1, "no description line"},
        {"!only comments\n!\n", 2, "no description line"},
        {"description\n", 1, "the number of notes is missing"},
        {"d\nseven\n", 2, "not a number of notes: 'seven'"},
        {"d\n 7 notes\n", 2, "a scale of 7 notes"},
        {"!\nd\n!\n12\n!\n3/2\nabc\n", 7, "not a pitch: 'abc' (a ratio such as 3/2"},
        {"d\n12\n3/0\n", 3, "not a pitch"},
        {"d\n12\n+-5.0\n", 3, "not a pitch"},
        {"d\n12\n1234567890123456789012345678901/2\n", 3, "not a pitch"},
        {"d\n12\n0/1\n", 3, "a pitch of 0 or below: '0/1'"},
        {"d\n12\n-3/2\n", 3, "a pitch of 0 or below"},
        {"d\n12\n99999.0\n", 3, "more than 4 octaves"},
        {"d\n12\n3/2\n\n", 4, "not a pitch"},
        {"d\n12\n3/2\n", 3, "the file ends after 1 of its 12 pitches"},
        {eleven + "1/2\n", 14, "the period, is not above 1/1"},
        // Typos: the whole first word is the pitch.
        {"d\n12\n1O92.18000\n", 3, "not a pitch: '1O92.18000' (a ratio such as 3/2"},
        {"d\n12\n4\\3\n", 3, "not a pitch: '4\\3'"},
        {"d\n12\n3/2.\n", 3, "not a pitch: '3/2.'"},
        {"d\n12\n1.5e3\n", 3, "not a pitch: '1.5e3'"},
        {"d\n12\n6g6.09\n", 3, "not a pitch: '6g6.09'"},
        {"d\n12\n0x2A.0\n", 3, "not a pitch: '0x2A.0'"},
        {"d\n12\n1..5\n", 3, "not a pitch: '1..5'"},
        {"d\n12\n701,955\n", 3, "cents take a '.', not a ','"},
        {"d\n12\n3/2\0x\n"s, 3, "not a pitch: '3/2\\x00x' (a ratio"},
        {"d\n1\0002\n"s, 2, "not a number of notes: '1\\x002' (a scale file"},
        {"12\n100.0\n200.0\n", 2,
         "'100.0' (a scale file holds a description line, then the "
         "number of notes, then the pitches: is the description line "
         "missing?)"},
        {"d\n12x\n", 2, "not a number of notes: '12x'"},
    };
    for (const auto& row : rows) {
        const ScaleReading reading = ParseScale(row.text);
        EXPECT_FALSE(reading.ok) << row.text;
        EXPECT_EQ(reading.line, row.line) << row.text;
        EXPECT_NE(reading.why.find(row.why), std::string::npos) << row.text << ": " << reading.why;
    }
    EXPECT_TRUE(ParseScale(eleven + "1200.").ok);
    // What follows the pitch after a blank is a comment; a leading byte-order mark is skipped.
    const ScaleReading commented = ParseScale("\xEF\xBB\xBF" + eleven + "+1200.0 ! octave\r\n");
    EXPECT_TRUE(commented.ok) << commented.why;
    EXPECT_DOUBLE_EQ(commented.period, 2);
}

} // namespace
