#include "app/app.h"

#include <gtest/gtest.h>

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
    const struct {
        NeedleView view;
        const char* ascii;
    } rows[] = {
        // 5 cents a cell: -12.3 cents is two cells and a half below the middle, rounded.
        {Sounding("E2", 81.83, -12.3, 82.41),
         "E2      81.83 Hz  -12.3c [--------o-|----------] ->82.41 Hz"},
        {Sounding("A4", 440.1, 0.4, 440, "violin2"),
         "A4     440.10 Hz   +0.4c [----------O----------] ->440.00 Hz violin2 OK"},
        {Sounding("E2", 73.42, -200, 82.41, "G6"),
         "E2      73.42 Hz -200.0c [o---------|----------] ->82.41 Hz G6"},
        {Sounding("C8", 4190, 49.9, 4186.01),
         "C8    4190.00 Hz  +49.9c [----------|---------o] ->4186.01 Hz"},
        // Nothing sounds: a dash, and the level on a meter from -60 dBFS to full scale.
        {quiet, "-                    input  -30.0 dBFS [##########...........]"},
        {NeedleView{}, "-                    input  -99.0 dBFS [.....................]"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NeedleLine(row.view, false), row.ascii);
        EXPECT_LE(Columns(NeedleLine(row.view, true)), Columns(row.ascii)) << row.ascii;
    }
    EXPECT_EQ(NeedleLine(Sounding("A4", 440, -1, 440), true),
              "A4     440.00 Hz   -1.0c [──────────◉──────────] →440.00 Hz ✓");
}

TEST(NeedleLine, TheWidestLineFitsEightyColumns) {
    const NeedleView widest = Sounding("C#10", 19999.99, -2400, 19999.99, "mandolin4");
    for (const bool utf8 : {false, true}) {
        EXPECT_LE(Columns(NeedleLine(widest, utf8)), 79u) << NeedleLine(widest, utf8);
    }
}

} // namespace
