#include "app/app.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// The open strings --strings laid, from the lowest, as "D2 73.42" each.
std::string Laid(const ToneSettings& settings) {
    std::string laid;
    for (int i = 0; i < settings.string_count; ++i) {
        char hz[32];
        std::snprintf(hz, sizeof hz, " %.2f", StringPitch(settings, settings.open_strings[i]));
        laid += (i == 0 ? "" : ", ") + std::string(settings.string_notes[i]) + hz;
    }
    return laid;
}

TEST(Strings, EveryNamedTuningHasThePublishedNotes) {
    // Published tunings, from the lowest string; equal-tempered Hz at A = 440.
    const struct {
        const char* name;
        const char* notes;
    } table[] = {
        {"standard", "E2 82.41, A2 110.00, D3 146.83, G3 196.00, B3 246.94, E4 329.63"},
        {"drop-d", "D2 73.42, A2 110.00, D3 146.83, G3 196.00, B3 246.94, E4 329.63"},
        {"dadgad", "D2 73.42, A2 110.00, D3 146.83, G3 196.00, A3 220.00, D4 293.66"},
        {"open-g", "D2 73.42, G2 98.00, D3 146.83, G3 196.00, B3 246.94, D4 293.66"},
        {"open-d", "D2 73.42, A2 110.00, D3 146.83, F#3 185.00, A3 220.00, D4 293.66"},
        {"open-e", "E2 82.41, B2 123.47, E3 164.81, G#3 207.65, B3 246.94, E4 329.63"},
        // Spelled in flats, as players write it.
        {"half-step-down", "Eb2 77.78, Ab2 103.83, Db3 138.59, Gb3 185.00, Bb3 233.08, "
                           "Eb4 311.13"},
        {"full-step-down", "D2 73.42, G2 98.00, C3 130.81, F3 174.61, A3 220.00, D4 293.66"},
        {"seven-string", "B1 61.74, E2 82.41, A2 110.00, D3 146.83, G3 196.00, B3 246.94, "
                         "E4 329.63"},
        // Each course's octave string first, as they lie; B and E are unison pairs.
        {"twelve-string", "E3 164.81, E2 82.41, A3 220.00, A2 110.00, D4 293.66, D3 146.83, "
                          "G4 392.00, G3 196.00, B3 246.94, B3 246.94, E4 329.63, E4 329.63"},
        // The high-strung set: the E, A, D and G strings an octave up.
        {"nashville", "E3 164.81, A3 220.00, D4 293.66, G4 392.00, B3 246.94, E4 329.63"},
        {"bass", "E1 41.20, A1 55.00, D2 73.42, G2 98.00"},
        {"bass-drop-d", "D1 36.71, A1 55.00, D2 73.42, G2 98.00"},
        {"bass-5", "B0 30.87, E1 41.20, A1 55.00, D2 73.42, G2 98.00"},
        // Re-entrant: the 4th string's G4 above the 3rd's C4.
        {"ukulele", "G4 392.00, C4 261.63, E4 329.63, A4 440.00"},
        {"baritone-ukulele", "D3 146.83, G3 196.00, B3 246.94, E4 329.63"},
        // Open G; the short 5th string, the drone, is the highest but lies lowest.
        {"banjo", "G4 392.00, D3 146.83, G3 196.00, B3 246.94, D4 293.66"},
        {"mandolin", "G3 196.00, D4 293.66, A4 440.00, E5 659.26"},
        {"violin", "G3 196.00, D4 293.66, A4 440.00, E5 659.26"},
        {"viola", "C3 130.81, G3 196.00, D4 293.66, A4 440.00"},
        {"cello", "C2 65.41, G2 98.00, D3 146.83, A3 220.00"},
    };
    ASSERT_EQ(NamedTunings().size(), std::size(table));
    for (const auto& row : table) {
        ToneSettings settings;
        ASSERT_TRUE(SetStrings(settings, row.name)) << row.name;
        EXPECT_EQ(Laid(settings), row.notes) << row.name;
    }
}

TEST(Strings, ReadingsNameTheStringByItsNumberFromTheHighest) {
    const struct {
        const char* strings;
        double hz;
        const char* reading;
    } table[] = {
        {"drop-d", 73.4162, "D2\t+0.00\t6"},
        {"drop-d", 82.4069, "D2\t+200.00\t6"},
        {"drop-d", 329.6276, "E4\t+0.00\t1"},
        {"drop-d", 150, "D3\t+36.95\t4"},
        {"dadgad", 220, "A3\t+0.00\t2"},
        {"bass-5", 30.8677, "B0\t+0.00\t5"},
        {"bass-5", 97.9989, "G2\t+0.00\t1"},
        // Notes in either case: the numbers follow the list's order, the first given highest,
        // whatever the pitches.
        {"E4,B3,g3,d3,A2,E2", 110, "A2\t+0.00\t2"},
        // A re-entrant ukulele, a banjo: the high G is the 4th string, the 5th.
        {"ukulele", 391.9954, "G4\t+0.00\t4"},
        {"ukulele", 261.6256, "C4\t+0.00\t3"},
        {"G4,D3,G3,B3,D4", 391.9954, "G4\t+0.00\t5"},
        {"G4,D3,G3,B3,D4", 293.6648, "D4\t+0.00\t1"},
        // A unison pair: the first of the list.
        {"twelve-string", 246.9417, "B3\t+0.00\t4"},
        // The note as the list spells it.
        {"half-step-down", 77.7817, "Eb2\t+0.00\t6"},
        {"half-step-down", 103.8262, "Ab2\t+0.00\t5"},
        {"eb2,ab2,db3,gb3,bb3,eb4", 233.0819, "Bb3\t+0.00\t2"},
    };
    for (const auto& row : table) {
        ToneSettings settings;
        ASSERT_TRUE(SetStrings(settings, row.strings)) << row.strings;
        char hz[32];
        std::snprintf(hz, sizeof hz, "%.3f", row.hz);
        EXPECT_EQ(ReadingLineOf(settings, 1.0, row.hz),
                  std::string("1.000\t") + hz + "\t" + row.reading + "\n")
            << row.strings << " " << row.hz;
    }
}

TEST(Strings, FollowTheTuningAndTakeThePlaceOfTheInstrument) {
    ToneSettings settings;
    ASSERT_TRUE(SetInstrument(settings, "guitar"));
    ASSERT_TRUE(SetStrings(settings, "open-e"));
    ASSERT_TRUE(SetTemperament(settings, "werckmeister3"));
    settings.a4 = 415;
    // E of Werckmeister III at A = 415: 311.25 Hz is E4, open E's 1st string.
    EXPECT_EQ(ReadingLineOf(settings, 0.5, 311.25), "0.500\t311.250\tE4\t+0.00\t1\n");
    // G#3 of open E: Werckmeister III lays G# at 792.18 cents above C and A at 888.27, so with
    // A held at its pitch G# is 3.91 cents above equal temperament's.
    const double g_sharp = StringPitch(settings, settings.open_strings[3]);
    EXPECT_NEAR(1200 * std::log2(g_sharp / (415 * std::exp2(-13.0 / 12))), 3.91, 0.01);
    const std::string line = ReadingLineOf(settings, 0.5, g_sharp);
    EXPECT_EQ(line.substr(line.find('\t', 6)), "\tG#3\t+0.00\t3\n");
}

TEST(Strings, ARecordedStringReadsAsItsNumber) {
    const RunResult run =
        RunOndelisPipe({"-o", "-", "d2", "1"}, {"--strings", "drop-d", "--listen", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GE(Count(run.out, "\tD2\t+0.00\t6\n"), 15u) << run.out;
    EXPECT_EQ(Count(run.out, "\n"), Count(run.out, "\tD2\t"));
}

TEST(Strings, RefusesWhatIsNoTuning) {
    const std::string tunings =
        "--strings takes a tuning (standard, drop-d, dadgad, open-g, open-d, open-e, "
        "half-step-down, full-step-down, seven-string, twelve-string, nashville, bass, "
        "bass-drop-d, bass-5, ukulele, baritone-ukulele, banjo, mandolin, violin, viola, cello) or "
        "up to 12 notes from the lowest-placed string, as D2,A2,D3,G3,B3,E4; not ";
    const struct {
        std::vector<std::string> args;
        std::string why;
    } table[] = {
        {{"--strings", "drop-c", "--listen", "-"}, tunings + "'drop-c'\n"},
        {{"--strings", "E2,,A2", "--listen", "-"}, tunings + "''\n"},
        {{"--strings", "E2,H2", "--listen", "-"}, tunings + "'H2'\n"},
        {{"--strings=C1,D1,E1,F1,G1,A1,B1,C2,D2,E2,F2,G2,A2", "--listen", "-"}, tunings + "'A2'\n"},
        {{"--strings"},
         "--strings needs a tuning ('ondelis --help' lists them) or notes, as D2,A2,D3,G3,B3,E4\n"},
        {{"--strings", "drop-d", "G6"},
         "--strings is for --listen's readings: give --listen too\n"},
        {{"--strings", "drop-d"}, "--strings is for --listen's readings: give --listen too\n"},
    };
    for (const auto& row : table) {
        const RunResult run = RunOndelis(row.args, "", 20);
        EXPECT_EQ(run.status, 1) << row.why;
        EXPECT_EQ(run.out, "") << row.why;
        EXPECT_EQ(run.err, row.why);
    }
    // Twelve strings are the most.
    ToneSettings settings;
    EXPECT_TRUE(SetStrings(settings, "C1,D1,E1,F1,G1,A1,B1,C2,D2,E2,F2,G2"));
    EXPECT_EQ(settings.string_count, 12);
}

} // namespace
