#include "synth/synth.h"
#include "tunings.h"

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

namespace {

// Figures from the published tables of each tuning (cents above C, or its ratios), at A = 440
// on C unless a root is given: A stays at 440 and each note lies the table's interval from it.
TEST(TunedFreq, EveryTuningPlacesItsNotesFromA) {
    const struct {
        const char* tuning;
        const char* root;
        const char* note;
        double octave;
        const char* hz;
    } rows[] = {
        {"equal", "c", "g#", 0, "830.61"},        {"equal", "d", "c", -1, "261.63"},
        {"pythagorean", "c", "c", 0, "521.48"},   {"pythagorean", "c", "g#", 0, "835.31"},
        {"just", "c", "c", 0, "528.00"},          {"just", "c", "g", 0, "792.00"},
        {"just", "c", "bb", 0, "475.20"},         {"meantone", "c", "c", 0, "526.36"},
        {"meantone", "c", "e", 0, "657.95"},      {"meantone", "c", "g#", 0, "822.44"},
        {"meantone", "d", "d#", 0, "614.92"},     {"meantone3", "c", "c", 0, "528.00"},
        {"meantone3", "c", "e", 0, "657.27"},     {"meantone5", "c", "g#", 0, "825.00"},
        {"werckmeister3", "c", "c", 0, "526.81"}, {"werckmeister3", "c", "e", 0, "660.00"},
        {"werckmeister3", "c", "g", 0, "787.54"}, {"werckmeister3", "c", "bb", 0, "468.27"},
        {"werckmeister3", "g", "c", 0, "525.03"}, {"werckmeister3", "c", "e", -3, "82.50"},
        {"werckmeister4", "c", "c", 0, "526.21"}, {"werckmeister5", "c", "c", 0, "523.25"},
        {"werckmeister6", "c", "c", 0, "525.31"}, {"werckmeister6", "c", "e", 0, "660.00"},
        {"kirnberger1", "c", "c", 0, "528.00"},   {"kirnberger1", "c", "c#", 0, "556.25"},
        {"kirnberger2", "c", "e", 0, "655.91"},   {"kirnberger3", "c", "e", 0, "657.95"},
        {"neidhardt1", "c", "c", 0, "525.03"},    {"neidhardt2", "c", "d", 0, "587.99"},
        {"neidhardt3", "c", "f", 0, "700.83"},    {"vallotti", "c", "f", 0, "701.62"},
        {"young2", "c", "f#", 0, "737.49"},
    };
    for (const auto& row : rows) {
        const Tuning tuning = Temperament(row.tuning, row.root);
        EXPECT_EQ(Shown(TunedFreq(tuning, row.note, row.octave, 0, 440)), row.hz)
            << row.tuning << " on " << row.root << ": " << row.note;
        EXPECT_DOUBLE_EQ(TunedFreq(tuning, "a", 0, 0, 415), 415.0) << row.tuning;
    }
    EXPECT_EQ(Shown(TunedFreq(Temperament("werckmeister3"), "e", -3, 0, 415)), "77.81");
    EXPECT_EQ(Shown(TunedFreq(Temperament("just"), "a", 0, 100, 440)), "466.16");
    Tuning unknown;
    EXPECT_FALSE(LayTemperament("werckmeister", unknown));
}

TEST(TunedFreq, EqualTemperamentIsGetFreqOnEveryRoot) {
    for (const char* root : {"c", "d", "a", "g#"}) {
        for (const char* note : {"a", "bb", "c", "e", "g#", "G6"}) {
            for (const double octave : {-4.0, 0.0, 3.0}) {
                EXPECT_EQ(TunedFreq(Temperament("equal", root), note, octave, -17, 442),
                          Get_Freq(note, octave, -17, 442));
            }
        }
    }
}

} // namespace
