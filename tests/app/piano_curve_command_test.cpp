// `ondelis --piano FILE --curve`: the tuning curve of a piano file, one line a key, and its
// drawing with --plot, run as a user runs it.
#include "support.h"
#include "synth/piano_curve.h"

#include <cairo.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A bass, a middle and a treble key of a typical piano (the stiffness as in
// piano_curve_test.cpp).
const std::vector<MeasuredKey> kPiano = {
    {1, 27.5, 2.5e-4, 20}, {40, 261.6, 4e-4, 12}, {64, 1046, 3.4e-3, 4}, {88, 4186, 2e-2, 2}};

void WritePiano(const std::string& path, const std::vector<MeasuredKey>& keys) {
    std::ofstream(path) << FormatPianoFile(keys);
}

std::vector<std::vector<std::string>> Fields(const std::string& out) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) {
        std::vector<std::string> fields;
        std::istringstream words(line);
        for (std::string field; std::getline(words, field, '\t');) {
            fields.push_back(field);
        }
        lines.push_back(fields);
    }
    return lines;
}

// Every key's line as the curve lays it: KEY NOTE B CENTS HZ PARTIAL, at each pitch of A and
// by each rule of octaves.
TEST(PianoCurveCommand, PrintsEveryKeyOfTheCurve) {
    ScratchDir dir;
    WritePiano("piano.txt", kPiano);
    const struct {
        std::vector<std::string> options;
        double a4;
        const char* octaves;
    } rows[] = {
        {{}, 440, "6:3,4:2,2:1"},
        {{"--a4", "415"}, 415, "6:3,4:2,2:1"},
        {{"--octaves=8:4,6:3,2:1", "--a4=442"}, 442, "8:4,6:3,2:1"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {"--piano", "piano.txt", "--curve"});
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        OctaveRules rules;
        std::string why;
        ASSERT_TRUE(ParseOctaves(row.octaves, rules, why));
        const std::vector<CurveKey> curve = PianoCurve(kPiano, rules, row.a4, why);
        const auto lines = Fields(run.out);
        ASSERT_EQ(lines.size(), curve.size()) << run.out;
        for (size_t i = 0; i < curve.size(); ++i) {
            char b[32], cents[32], hz[32];
            std::snprintf(b, sizeof b, "%.4e", curve[i].b);
            std::snprintf(cents, sizeof cents, "%+.2f", curve[i].cents);
            std::snprintf(hz, sizeof hz, "%.3f", curve[i].f1);
            const std::vector<std::string> expected = {
                std::to_string(i + 1),           KeyName(i + 1), b, cents, hz,
                std::to_string(curve[i].partial)};
            EXPECT_EQ(lines[i], expected) << "line " << i + 1;
        }
        char a4[16];
        std::snprintf(a4, sizeof a4, "%.3f", row.a4);
        EXPECT_EQ(lines.at(48).at(4), a4);
        EXPECT_EQ(lines.at(48).at(3), "+0.00");
    }
}

// The printed octaves meet 6:3 up to C2, 4:2 from C3 to C6 and 2:1 from C7, from the printed
// B and Hz alone, as closely as their digits tell.
TEST(PianoCurveCommand, PrintedOctavesMeetOnTheirPartials) {
    ScratchDir dir;
    WritePiano("piano.txt", kPiano);
    const RunResult run = RunOndelis({"--piano", "piano.txt", "--curve"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Fields(run.out);
    ASSERT_EQ(lines.size(), 88u);
    size_t checked = 0;
    for (int lower = 1; lower + 12 <= 88; ++lower) {
        const int upper = lower + 12;
        if ((upper > 64 && upper < 76) || (lower > 16 && lower < 28)) {
            continue; // blended: the library's tests hold those
        }
        const int m = upper >= 76 ? 2 : lower <= 16 ? 6 : 4;
        const double b_lo = std::stod(lines[lower - 1][2]), f_lo = std::stod(lines[lower - 1][4]);
        const double b_hi = std::stod(lines[upper - 1][2]), f_hi = std::stod(lines[upper - 1][4]);
        const double apart =
            1200 * std::log2(PartialHz(f_lo, b_lo, m) / PartialHz(f_hi, b_hi, m / 2));
        // Half the last digit of each Hz, in cents, and a little for the digits of B.
        const double digits = 1200 / std::log(2.0) * (0.0005 / f_lo + 0.0005 / f_hi) + 0.002;
        EXPECT_NEAR(apart, 0, digits) << lines[lower - 1][1] << " to " << lines[upper - 1][1];
        ++checked;
    }
    EXPECT_EQ(checked, 76u - 22u);
}

// Refused with a reason on standard error and status 1, nothing on standard output.
TEST(PianoCurveCommand, RefusesWhatLaysNoCurve) {
    ScratchDir dir;
    WritePiano("piano.txt", kPiano);
    WritePiano("two.txt", {kPiano[0], kPiano[1]});
    std::ofstream("typo.txt") << "A0 27.5 2.5e-4 20\nC4 261.6 4e-4\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"--piano", "two.txt", "--curve"},
         "two.txt: a curve needs a key in the bass, the middle and the treble: measure a key in "
         "the treble (C6 to C8) too\n"},
        {{"--piano", "typo.txt", "--curve"},
         "typo.txt:2: a key's line is NOTE F1 B PARTIALS (as A4 440.000 3.90e-04 14), not 3 "
         "words\n"},
        {{"--piano", "none.txt", "--curve"},
         "none.txt: cannot read the piano file: No such file or directory\n"},
        {{"--curve"},
         "--curve prints the tuning curve of a piano's measured keys: give --piano FILE too\n"},
        {{"--piano", "piano.txt", "--curve", "a"},
         "--curve prints the curve of the piano file and nothing else: give it no --listen, note "
         "or frequency\n"},
        {{"--piano", "piano.txt", "--curve", "--listen=take.wav"},
         "--curve prints the curve of the piano file and nothing else: give it no --listen, note "
         "or frequency\n"},
        {{"--piano", "piano.txt", "--plot", "c.svg"},
         "--plot draws the curve of --curve: give --curve too\n"},
        {{"--piano", "piano.txt", "--curve", "--plot", "c.gif"},
         "--plot draws the curve as an SVG or PNG picture: give a FILE.svg or FILE.png, not "
         "'c.gif'\n"},
        {{"--piano", "piano.txt", "--curve", "--plot=.png"},
         "--plot draws the curve as an SVG or PNG picture: give a FILE.svg or FILE.png, not "
         "'.png'\n"},
        {{"--octaves", "4:2,4:2,2:1", "440"},
         "--octaves lays the curve of a piano: give --piano FILE too\n"},
        {{"--piano", "piano.txt", "--curve", "--octaves", "6:3,3:2,2:1"},
         "The octaves (--octaves) are three octaves, the bass's, the middle's and the treble's, "
         "each M:N (the lower key's M-th partial on the upper key's N-th) with M twice N, 2:1 to "
         "16:8, as 6:3,4:2,2:1; not '6:3,3:2,2:1'\n"},
        {{"--piano"}, "--piano needs the file of a piano's measured keys\n"},
    };
    for (const auto& row : rows) {
        const RunResult run = RunOndelis(row.args);
        EXPECT_EQ(run.status, 1) << row.err;
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.out, "") << row.err;
    }
    EXPECT_FALSE(std::filesystem::exists("c.svg"));
    EXPECT_FALSE(std::filesystem::exists("c.gif"));
    EXPECT_FALSE(std::filesystem::exists(".png"));

    // A curve that standard output does not take whole is no curve.
    const RunResult full = RunShell("\"$ONDELIS\" --piano piano.txt --curve >/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "Cannot write the curve to standard output: No space left on device\n");
}

std::vector<std::string> PointsOf(const std::string& svg, const std::string& id) {
    const std::regex polyline("<polyline id=\"" + id + "\"[^>]* points=\"([^\"]*)\"");
    std::smatch match;
    std::vector<std::string> points;
    if (std::regex_search(svg, match, polyline)) {
        std::istringstream words(match[1].str());
        for (std::string point; words >> point;) {
            points.push_back(point);
        }
    }
    return points;
}

// --plot draws a point a key of the curve and of the stiffness, the measured keys marked.
TEST(PianoCurveCommand, PlotsTheCurveAndTheStiffnessAsSvg) {
    ScratchDir dir;
    WritePiano("piano.txt", kPiano);
    const RunResult run = RunOndelis({"--piano", "piano.txt", "--curve", "--plot", "Curve.SVG"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Fields(run.out).size(), 88u);
    const std::string svg = ReadBytes("Curve.SVG");
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_TRUE(EndsWith(svg, "</svg>\n"));
    const std::regex point(R"(-?\d+(\.\d+)?,-?\d+(\.\d+)?)");
    for (const char* id : {"cents", "stiffness"}) {
        const std::vector<std::string> points = PointsOf(svg, id);
        EXPECT_EQ(points.size(), 88u) << id;
        double last_x = -1;
        for (const std::string& p : points) {
            EXPECT_TRUE(std::regex_match(p, point)) << p;
            const double x = std::stod(p);
            EXPECT_GT(x, last_x) << id;
            last_x = x;
        }
    }
    // Cents rise from A0 to C8: the curve's y falls (SVG's y points down).
    const auto cents = PointsOf(svg, "cents");
    ASSERT_EQ(cents.size(), 88u);
    const auto y = [](const std::string& p) { return std::stod(p.substr(p.find(',') + 1)); };
    EXPECT_GT(y(cents.front()), y(cents[48]));
    EXPECT_GT(y(cents[48]), y(cents.back()));
    EXPECT_EQ(Count(svg, "<circle class=\"measured\""), kPiano.size());

    // A plot that cannot be written: status 1, the reason named.
    const RunResult lost =
        RunOndelis({"--piano", "piano.txt", "--curve", "--plot", "no-such-dir/c.svg"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_TRUE(Has(lost.err, "no-such-dir/c.svg: cannot write the plot: ")) << lost.err;
}

// The pixels of a PNG picture as cairo reads it back, 0xRRGGBB each, row after row.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

Picture ReadPng(const std::string& path) {
    Picture picture;
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        picture.width = cairo_image_surface_get_width(surface);
        picture.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < picture.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
            for (int x = 0; x < picture.width; ++x) {
                picture.pixels.push_back(row[x] & 0xFFFFFF);
            }
        }
    }
    cairo_surface_destroy(surface);
    return picture;
}

bool Reddish(uint32_t pixel) {
    const int red = static_cast<int>(pixel >> 16);
    const int green = static_cast<int>((pixel >> 8) & 0xFF);
    return red - green >= 48 && green == static_cast<int>(pixel & 0xFF);
}

// Whether a pixel within one of (x, y) is of the colour: exactly, or for a thin line, which
// covers pixels only in part, red over the white (#c33 is all red).
bool ColourNear(const Picture& picture, double x, double y, uint32_t colour) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = static_cast<int>(x) + dx;
            const int py = static_cast<int>(y) + dy;
            if (px >= 0 && py >= 0 && px < picture.width && py < picture.height &&
                (picture.At(px, py) == colour ||
                 (colour == 0xCC3333 && Reddish(picture.At(px, py))))) {
                return true;
            }
        }
    }
    return false;
}

// --plot FILE.png draws the same plot as a PNG picture: the curve's colour where the SVG
// picture's curve passes, at every key, on white.
TEST(PianoCurveCommand, PlotsTheCurveAsPng) {
    ScratchDir dir;
    WritePiano("piano.txt", kPiano);
    const RunResult svg_run = RunOndelis({"--piano", "piano.txt", "--curve", "--plot", "c.svg"});
    ASSERT_EQ(svg_run.status, 0) << svg_run.err;
    const RunResult run = RunOndelis({"--piano", "piano.txt", "--curve", "--plot=Curve.PNG"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, svg_run.out);
    EXPECT_EQ(ReadBytes("Curve.PNG").substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const Picture picture = ReadPng("Curve.PNG");
    ASSERT_EQ(picture.width, 960);
    ASSERT_EQ(picture.height, 540);
    EXPECT_EQ(picture.At(2, 2), 0xFFFFFFu);
    const std::string svg = ReadBytes("c.svg");
    const std::vector<std::string> cents = PointsOf(svg, "cents");
    ASSERT_EQ(cents.size(), 88u);
    size_t on_curve = 0;
    for (const std::string& p : cents) {
        const double x = std::stod(p);
        const double y = std::stod(p.substr(p.find(',') + 1));
        on_curve += ColourNear(picture, x, y, 0x223366);
    }
    EXPECT_EQ(on_curve, cents.size());
    // The curve is a line, not a fill: most of the picture is not its colour.
    EXPECT_LT(std::count(picture.pixels.begin(), picture.pixels.end(), 0x223366u),
              static_cast<std::ptrdiff_t>(picture.pixels.size() / 20));
    const std::vector<std::string> stiffness = PointsOf(svg, "stiffness");
    size_t on_stiffness = 0;
    for (const std::string& p : stiffness) {
        on_stiffness +=
            ColourNear(picture, std::stod(p), std::stod(p.substr(p.find(',') + 1)), 0xCC3333);
    }
    EXPECT_GT(on_stiffness, stiffness.size() / 3);

    // A PNG that cannot be written: status 1, the reason named.
    const RunResult lost =
        RunOndelis({"--piano", "piano.txt", "--curve", "--plot", "no-such-dir/c.png"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_TRUE(Has(lost.err, "no-such-dir/c.png: cannot write the plot: ")) << lost.err;
}

} // namespace
