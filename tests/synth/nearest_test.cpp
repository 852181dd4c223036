#include "support.h"
#include "synth/synth.h"
#include "tunings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The note and the cents as --listen prints them.
std::string Heard(const Tuning& tuning, double hz, double a4) {
    const HeardNote heard = NearestNote(tuning, hz, a4);
    return ScientificName(heard.note) + " " + CentsShown(heard.cents);
}

TEST(NearestNote, NotesAndCentsInEveryKindOfTuning) {
    // Equal temperament from the published table; Werckmeister III from its published cents
    // above C (E 390.225, F# 588.270, A 888.270, Bb 996.090): with A at 415, E5 is a pure
    // fifth above it, 622.5 Hz, which equal temperament places 1.955 cents lower. Just
    // intonation on C has its E5 a pure fifth above A too: 660 Hz at A = 440.
    const Tuning equal;
    const Tuning werckmeister3 = Temperament("werckmeister3");
    const Tuning just_file = ScaleTuning("just.scl");
    const Tuning werckmeister3_file = ScaleTuning("werckmeister3.scl");
    const struct {
        const char* tuning_name;
        const Tuning& tuning;
        double a4;
        double hz;
        const char* heard;
    } table[] = {
        {"equal", equal, 440, 440.0, "A4 +0.00"},
        {"equal", equal, 440, 82.4069, "E2 +0.00"},
        {"equal", equal, 440, 261.6256, "C4 +0.00"},
        {"equal", equal, 440, 27.5, "A0 +0.00"},
        {"equal", equal, 440, 30.8677, "B0 +0.00"},
        {"equal", equal, 440, 16.3516, "C0 +0.00"},
        {"equal", equal, 440, 4186.009, "C8 +0.00"},
        {"equal", equal, 440, 466.1638, "Bb4 +0.00"},
        {"equal", equal, 440, 277.1826, "C#4 +0.00"},
        {"equal", equal, 440, 311.1270, "Eb4 +0.00"},
        {"equal", equal, 440, 445.0, "A4 +19.56"},
        {"equal", equal, 440, 430.0, "A4 -39.80"},
        {"equal", equal, 440, 452.0, "A4 +46.58"},
        {"equal", equal, 440, 123.4708, "B2 +0.00"},
        {"equal", equal, 440, 130.8128, "C3 +0.00"},
        {"equal", equal, 415, 622.5, "E5 +1.96"},
        {"equal", equal, 415, 415.0, "A4 +0.00"},
        {"werckmeister3", werckmeister3, 415, 622.5, "E5 +0.00"},
        {"werckmeister3", werckmeister3, 415, 311.25, "E4 +0.00"},
        {"werckmeister3", werckmeister3, 415, 248.43808, "C4 +0.00"},
        {"werckmeister3", werckmeister3, 415, 348.97201, "F#4 +0.00"},
        {"werckmeister3", werckmeister3, 415, 441.668, "Bb4 +0.00"},
        {"werckmeister3", werckmeister3, 415, 415.0, "A4 +0.00"},
        {"werckmeister3.scl", werckmeister3_file, 415, 622.5, "E5 +0.00"},
        {"just.scl", just_file, 440, 660.0, "E5 +0.00"},
        {"just.scl", just_file, 440, 330.0, "E4 +0.00"},
        {"just.scl", just_file, 440, 264.0, "C4 +0.00"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(Heard(row.tuning, row.hz, row.a4), row.heard)
            << row.tuning_name << " at " << row.a4 << ": " << row.hz << " Hz";
    }
}

// Whatever TunedFreq lays, NearestNote reads back as that note, at 0 cents.
TEST(NearestNote, ReadsBackEveryNoteTunedFreqLays) {
    for (size_t t = 0; t < TemperamentCount(); ++t) {
        for (const char* root : {"c", "d", "f#", "a", "bb"}) {
            const Tuning tuning = Temperament(TemperamentName(t), root);
            for (double a4 : {400.0, 415.0, 440.0, 466.0, 480.0}) {
                for (int octave = -5; octave <= 3; ++octave) {
                    for (int above_a = 0; above_a < 12; ++above_a) {
                        const double hz = TunedFreq(tuning, NoteNameAboveA(above_a), octave, 0, a4);
                        const HeardNote heard = NearestNote(tuning, hz, a4);
                        EXPECT_EQ(heard.note.above_a, above_a) << TemperamentName(t) << root;
                        EXPECT_EQ(heard.note.octave, octave) << TemperamentName(t) << root;
                        EXPECT_LT(std::abs(heard.cents), 1e-9) << TemperamentName(t) << root;
                    }
                }
            }
        }
    }
}

TEST(NearestNote, HalfwayIsStillWithinFiftyCentsAndTheNextNoteBeyond) {
    const Tuning equal;
    const double a_sharp_49 = 440 * std::pow(2.0, 49.0 / 1200);
    const double a_sharp_51 = 440 * std::pow(2.0, 51.0 / 1200);
    EXPECT_EQ(Heard(equal, a_sharp_49, 440), "A4 +49.00");
    EXPECT_EQ(Heard(equal, a_sharp_51, 440), "Bb4 -49.00");
}

TEST(ScientificName, OctaveNumbersChangeAtC) {
    const struct {
        int above_a;
        int octave;
        const char* name;
    } table[] = {
        {0, 0, "A4"},    {2, 0, "B4"},   {3, 0, "C5"},   {3, -1, "C4"}, {1, 0, "Bb4"},
        {7, -3, "E2"},   {2, -4, "B0"},  {0, -4, "A0"},  {3, -5, "C0"}, {3, 3, "C8"},
        {11, -1, "G#4"}, {4, -1, "C#4"}, {6, -1, "Eb4"}, {9, 0, "F#5"}, {0, -5, "A-1"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(ScientificName({row.above_a, row.octave}), row.name)
            << row.above_a << " " << row.octave;
    }
}

TEST(CentsShown, TwoDecimalsWithASignAndNoNegativeZero) {
    const struct {
        double cents;
        const char* shown;
    } table[] = {
        {0.0, "+0.00"},      {-0.0, "+0.00"},      {-0.004, "+0.00"},
        {0.004, "+0.00"},    {-0.005001, "-0.01"}, {19.562, "+19.56"},
        {-200.0, "-200.00"}, {49.999, "+50.00"},   {-1e-12, "+0.00"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(CentsShown(row.cents), row.shown) << row.cents;
    }
}

TEST(ParseScientificName, LowerCaseNotesWithTheirOctaveNumber) {
    const struct {
        const char* text;
        const char* name; // as ScientificName spells it back
    } table[] = {
        {"a4", "A4"},   {"e2", "E2"},   {"c4", "C4"},   {"b3", "B3"},   {"bb3", "Bb3"},
        {"c#4", "C#4"}, {"db4", "C#4"}, {"a#0", "Bb0"}, {"b0", "B0"},   {"a0", "A0"},
        {"c8", "C8"},   {"g#9", "G#9"}, {"c0", "C0"},   {"ab2", "G#2"}, {"gb5", "F#5"},
    };
    for (const auto& row : table) {
        NoteAboveA note;
        ASSERT_TRUE(ParseScientificName(row.text, note)) << row.text;
        EXPECT_EQ(ScientificName(note), row.name) << row.text;
    }
    // e2 is the guitar's low E, 82.41 Hz, three octaves and a fifth down from A4's offset.
    NoteAboveA e2;
    ASSERT_TRUE(ParseScientificName("e2", e2));
    EXPECT_EQ(e2.above_a, 7);
    EXPECT_EQ(e2.octave, -3);
    for (const char* word : {"", "e", "E2", "G6", "B1", "e10", "e-1", "h2", "cb4", "e#2", "c##4",
                             "e2 ", "4", "bb", "a4a", "violin1"}) {
        NoteAboveA note;
        EXPECT_FALSE(ParseScientificName(word, note)) << word;
    }
}

TEST(NoteNameAboveA, TheTablesNamesInOrder) {
    const char* names[] = {"a", "a#", "b", "c", "c#", "d", "d#", "e", "f", "f#", "g", "g#"};
    for (int s = 0; s < 12; ++s) {
        EXPECT_STREQ(NoteNameAboveA(s), names[s]);
        EXPECT_EQ(SemitonesAboveA(NoteNameAboveA(s)), s);
    }
}

} // namespace
