#include "app/app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr double kHop = 0.025; // the listener's readings at 44100 Hz, as the display gets them

// The ASCII band after readings every hop for `seconds` at `cents`, from a band at rest.
std::string BandAfter(double seconds, double cents, bool utf8 = false) {
    Strobe strobe;
    for (int i = 0; i * kHop <= seconds + 1e-9; ++i) {
        TurnStrobe(strobe, 10 + i * kHop, cents);
    }
    return StrobeBand(strobe, kHop, utf8);
}

// The cells of an ASCII band moved `cells` to the right, round.
std::string Moved(const std::string& band, int cells) {
    const std::string inside = band.substr(1, kStrobeCells);
    const size_t cut = static_cast<size_t>((kStrobeCells - cells % kStrobeCells) % kStrobeCells);
    return "[" + inside.substr(cut) + inside.substr(0, cut) + "]";
}

TEST(Strobe, StandsStillInTuneAndDriftsAPeriodASecondForEachCent) {
    const std::string rest = BandAfter(0, 0);
    EXPECT_EQ(rest, "[####....####....####....####....]");
    EXPECT_EQ(BandAfter(3, 0), rest);
    // 1/4 s at a cent sharp is a quarter period, 2 cells to the right; flat, to the left.
    EXPECT_EQ(BandAfter(0.25, 1), Moved(rest, 2));
    EXPECT_EQ(BandAfter(0.25, -1), Moved(rest, -2));
    EXPECT_NE(BandAfter(0.25, 1), BandAfter(0.25, -1));
    // A tenth of a cent creeps a cell in 1.25 s, where a needle would not move at all.
    EXPECT_EQ(BandAfter(2.5, 0.1), Moved(rest, 2));
    EXPECT_EQ(BandAfter(2.5, -0.1), Moved(rest, -2));
    // A whole second at a cent is a whole period: the same band again.
    EXPECT_EQ(BandAfter(1, 1), rest);
}

TEST(Strobe, FastErrorsShowArrowsInsteadOfRunningBackwards) {
    // At 10 cents the pattern moves 2 cells a hop, a quarter period: still shown.
    EXPECT_EQ(BandAfter(0.25, 10).find('>'), std::string::npos);
    EXPECT_EQ(BandAfter(0.25, 20), "[" + std::string(kStrobeCells, '>') + "]");
    EXPECT_EQ(BandAfter(0.25, -20), "[" + std::string(kStrobeCells, '<') + "]");
}

TEST(Strobe, HalfCellsInUtf8AndNoTurnAcrossSilence) {
    // 1/16 period, half a cell: every edge of the pattern is a half block.
    const std::string band = BandAfter(0.0625, 1, true);
    EXPECT_EQ(Columns(band), kStrobeCells + 2u);
    EXPECT_EQ(band, "[▐███▌   ▐███▌   ▐███▌   ▐███▌   ]");
    Strobe strobe;
    TurnStrobe(strobe, 1, 1);
    StopStrobe(strobe);
    TurnStrobe(strobe, 3, 1); // two seconds later, after silence
    EXPECT_EQ(StrobeBand(strobe, kHop, false), BandAfter(0, 0));
}

TEST(Strobe, TheLineShowsTheNoteTheCentsTheBandAndTheTarget) {
    NeedleView view;
    view.sounding = true;
    view.note = "E2";
    view.cents = 0.04;
    view.target_hz = 82.41;
    view.string = "6";
    view.in_tune = true;
    EXPECT_EQ(StrobeLine(view, Strobe{}, kHop, false),
              "E2     +0.0c [####....####....####....####....] ->82.41 Hz 6 OK");
    EXPECT_LE(Columns(StrobeLine(view, Strobe{}, kHop, true)), 79u);
}

// Whether the mark shows after readings at `cents` every hop for `seconds`.
bool MarkAfter(double seconds, double cents, double tolerance) {
    InTuneHold hold;
    bool in_tune = false;
    for (int i = 0; i * kHop <= seconds + 1e-9; ++i) {
        in_tune = HoldInTune(hold, "E2", 5 + i * kHop, cents, tolerance);
    }
    return in_tune;
}

TEST(InTune, TheMarkShowsAfterHalfASecondWithinTheTolerance) {
    // A string 2 cents sharp: out of the default band of 1 cent, within --tolerance 3.
    EXPECT_FALSE(MarkAfter(2, 2, 1));
    EXPECT_FALSE(MarkAfter(0.45, 2, 3));
    EXPECT_TRUE(MarkAfter(0.5, 2, 3));
    EXPECT_TRUE(MarkAfter(2, -2, 3));
    EXPECT_TRUE(MarkAfter(0.5, 1, 1));
    // A reading out of the band, or of another string, starts the half second again.
    InTuneHold hold;
    EXPECT_FALSE(HoldInTune(hold, "E2", 0, 0.5, 1));
    EXPECT_FALSE(HoldInTune(hold, "E2", 0.3, 1.5, 1));
    EXPECT_FALSE(HoldInTune(hold, "E2", 0.6, 0.5, 1));
    EXPECT_FALSE(HoldInTune(hold, "A2", 1.0, 0.5, 1));
    EXPECT_FALSE(HoldInTune(hold, "A2", 1.4, 0.5, 1));
    EXPECT_TRUE(HoldInTune(hold, "A2", 1.5, 0.5, 1));
}

// Readings of `string` at each of `cents` in turn, in tune as HoldInTune would say.
void Play(Checklist& checklist, const std::string& string, const std::vector<double>& cents,
          bool in_tune) {
    for (const double c : cents) {
        CheckString(checklist, string, c, in_tune, 1.0);
    }
}

// The checklist's lines at `columns`, one under the other.
std::string Drawn(const Checklist& checklist, bool utf8, size_t columns) {
    std::string drawn;
    for (const std::string& line : ChecklistLines(checklist, utf8, columns)) {
        drawn += line + "|\n";
    }
    return drawn;
}

Checklist ChecklistOf(const ToneSettings& settings) {
    return NewChecklist(OpenStrings(settings));
}

TEST(Checklist, EveryStringWithItsLastCentsAndTheMarkOfThoseInTune) {
    ToneSettings guitar;
    ASSERT_TRUE(SetInstrument(guitar, "guitar"));
    Checklist checklist = ChecklistOf(guitar);
    // A 6-string guitar's: the 7-string's low B is no string of it.
    EXPECT_EQ(Drawn(checklist, false, 200),
              "G6   --    G5   --    G4   --    G3   --    G2   --    G1   --  |\n");
    // Two strings played: the low E brought up into tune, the A 3.1 cents sharp.
    Play(checklist, "G6", {-4, -4, -4}, false);
    EXPECT_EQ(Drawn(checklist, false, 200).substr(0, 21), "G6  -4.0    G5   --  ");
    Play(checklist, "G6", std::vector<double>(9, -0.4), true);
    // As the string stops, a reading or two of it off, and one of another string.
    Play(checklist, "G6", {2.5}, true);
    Play(checklist, "G4", {-30}, false);
    Play(checklist, "G5", {3.1, 3.1, 3.1}, false);
    BreakRun(checklist);
    EXPECT_EQ(Drawn(checklist, false, 200),
              "G6  -0.4OK  G5  +3.1    G4   --    G3   --    G2   --    G1   --  |\n");
    EXPECT_EQ(Drawn(checklist, true, 200).substr(0, 22), "G6  -0.4✓   G5  +3.1");
    // Within the terminal's width: as many lines as the strings take, each string whole.
    EXPECT_EQ(Drawn(checklist, false, 30), "G6  -0.4OK  G5  +3.1  |\n"
                                           "G4   --    G3   --  |\n"
                                           "G2   --    G1   --  |\n");
    // Tuned past the band, the string is out of tune again though it was held in tune.
    Play(checklist, "G6", {0.1, 0.1, 0.1}, true);
    Play(checklist, "G6", std::vector<double>(9, 2), false);
    EXPECT_EQ(Drawn(checklist, false, 200).substr(0, 10), "G6  +2.0  ");

    ToneSettings drop_d;
    ASSERT_TRUE(SetStrings(drop_d, "drop-d"));
    checklist = ChecklistOf(drop_d);
    Play(checklist, "6", {0.2, 0.2, 0.2}, true);
    Play(checklist, "5", {-0.02, -0.02, -0.02}, true); // in tune from below: never "-0.0"
    EXPECT_EQ(Drawn(checklist, false, 200),
              "6:D2  +0.2OK  5:A2  +0.0OK  4:D3   --    3:G3   --    2:B3   --    1:E4   --  |\n");
    EXPECT_TRUE(ChecklistOf(ToneSettings{}).strings.empty());
}

TEST(Checklist, ATwelveStringShowsEveryStringAndAReadingCountsForBothOfAUnisonPair) {
    ToneSettings twelve;
    ASSERT_TRUE(SetStrings(twelve, "twelve-string"));
    Checklist checklist = ChecklistOf(twelve);
    ASSERT_EQ(checklist.strings.size(), 12u);
    // The B3 pair are strings 4 and 3; a reading names the first of the list, 4.
    Play(checklist, "4", {1.5, 1.5, 1.5}, false);
    const std::string drawn = Drawn(checklist, false, 79);
    EXPECT_EQ(drawn,
              "12:E3   --    11:E2   --    10:A3   --    9:A2   --    8:D4   --    7:D3   --  |\n"
              "6:G4   --    5:G3   --    4:B3  +1.5    3:B3  +1.5    2:E4   --    1:E4   --  |\n");
}

} // namespace
