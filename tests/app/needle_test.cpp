#include "app/app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

NeedleView Sounding(const char* note, double hz, double cents, double target,
                    const char* string = "") {
    NeedleView view;
    view.sounding = true;
    view.note = note;
    view.hz = hz;
    view.cents = cents;
    view.target_hz = target;
    view.string = string;
    return view;
}

TEST(NeedleLine, ShowsTheNoteTheCentsOnTheNeedleAndTheTarget) {
    NeedleView quiet;
    quiet.level_dbfs = -30;
    NeedleView in_tune = Sounding("A4", 440.1, 0.4, 440, "violin2");
    in_tune.in_tune = true;
    const struct {
        NeedleView view;
        const char* ascii;
    } rows[] = {
        // The scale is finer near the middle: -12.3 cents is 6 cells below it, of 10.
        {Sounding("E2", 81.83, -12.3, 82.41),
         "E2      81.83 Hz  -12.3c [----o----=|=---------] ->82.41 Hz"},
        // The in-tune band of +-1 cent is the middle cell and one each side.
        {Sounding("A4", 440.1, 0.4, 440, "violin2"),
         "A4     440.10 Hz   +0.4c [---------=|o---------] ->440.00 Hz violin2"},
        {in_tune, "A4     440.10 Hz   +0.4c [---------=|o---------] ->440.00 Hz violin2 OK"},
        {Sounding("A4", 440, 0.01, 440),
         "A4     440.00 Hz   +0.0c [---------=O=---------] ->440.00 Hz"},
        {Sounding("E2", 73.42, -200, 82.41, "G6"),
         "E2      73.42 Hz -200.0c [o--------=|=---------] ->82.41 Hz G6"},
        {Sounding("C8", 4190, 49.9, 4186.01),
         "C8    4190.00 Hz  +49.9c [---------=|=--------o] ->4186.01 Hz"},
        // Nothing sounds: a dash, and the level on a meter from -60 dBFS to full scale.
        {quiet, "-                    input  -30.0 dBFS [##########...........]"},
        {NeedleView{}, "-                    input  -99.0 dBFS [.....................]"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NeedleLine(row.view, false), row.ascii);
        EXPECT_LE(Columns(NeedleLine(row.view, true)), Columns(row.ascii)) << row.ascii;
    }
    NeedleView flat = Sounding("A4", 440, -1, 440);
    flat.in_tune = true;
    EXPECT_EQ(NeedleLine(flat, true),
              "A4     440.00 Hz   -1.0c [─────────●┼═─────────] →440.00 Hz ✓");
}

// The cell the needle is on, counted from the middle, and the band's cells each side.
struct NeedleAt {
    int cell;
    int band;
};
NeedleAt Read(double cents, double tolerance) {
    NeedleView view = Sounding("A4", 440, cents, 440);
    view.tolerance = tolerance;
    const std::string line = NeedleLine(view, false);
    const size_t open = line.find('[');
    const std::string needle = line.substr(open + 1, 21);
    const size_t at = needle.find_first_of("oO");
    return {static_cast<int>(at) - 10,
            static_cast<int>(std::count(needle.begin(), needle.end(), '=')) / 2};
}

TEST(NeedleLine, TheInTuneBandSpansThreeCellsOrMoreAndHoldsTheTolerance) {
    for (const double tolerance : {0.5, 1.0, 3.0, 7.5, 10.0, 25.0}) {
        const int band = Read(0, tolerance).band;
        EXPECT_GE(band, 1) << tolerance;
        for (const double within : {1.0, 0.5, 0.0, -0.5, -1.0}) {
            EXPECT_LE(std::abs(Read(within * tolerance, tolerance).cell), band)
                << tolerance << " " << within;
        }
        for (const double beyond : {1.6, -1.6}) {
            EXPECT_GT(std::abs(Read(beyond * tolerance, tolerance).cell), band)
                << tolerance << " " << beyond;
        }
        EXPECT_EQ(Read(50, tolerance).cell, 10) << tolerance;
        EXPECT_EQ(Read(-50, tolerance).cell, -10) << tolerance;
    }
    // Past 7.5 cents the even scale gives the band more cells: 25 cents is 5 cells of 10.
    EXPECT_EQ(Read(0, 25).band, 5);
    EXPECT_EQ(Read(0, 1).band, 1);
}

TEST(NeedleLine, ANarrowTerminalKeepsTheNoteAndTheCentsToTheLast) {
    NeedleView view = Sounding("A4", 440.1, 0.4, 440, "violin2");
    view.in_tune = true;
    const struct {
        size_t columns;
        const char* ascii;
    } rows[] = {
        {79, "A4     440.10 Hz   +0.4c [---------=|o---------] ->440.00 Hz violin2 OK"},
        // The target goes first, then the Hz, the string, the needle and the mark.
        {60, "A4     440.10 Hz   +0.4c [---------=|o---------] violin2 OK"},
        {50, "A4     +0.4c [---------=|o---------] violin2 OK"},
        {40, "A4     +0.4c [---------=|o---------] OK"},
        {19, "A4     +0.4c OK"},
        {12, "A4     +0.4c"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NeedleLine(view, false, row.columns), row.ascii) << row.columns;
        EXPECT_LE(Columns(NeedleLine(view, true, row.columns)), row.columns) << row.columns;
    }
}

TEST(NeedleLine, TheWidestLineFitsEightyColumns) {
    const NeedleView widest = Sounding("C#10", 19999.99, -2400, 19999.99, "mandolin4");
    for (const bool utf8 : {false, true}) {
        EXPECT_LE(Columns(NeedleLine(widest, utf8)), 79u) << NeedleLine(widest, utf8);
    }
}

} // namespace
