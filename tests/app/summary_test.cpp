#include "app/app.h"
#include "listen/listener.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

// Readings every 25 ms from `start`, `count` of them, at `hz` detuned by cents[i] each (0 past
// the end of `cents`).
std::vector<PitchReading> Readings(double start, int count, double hz,
                                   const std::vector<double>& cents = {}) {
    std::vector<PitchReading> readings;
    for (int i = 0; i < count; ++i) {
        const double detune = static_cast<size_t>(i) < cents.size() ? cents[i] : 0;
        readings.push_back({start + 0.025 * i, hz * std::exp2(detune / 1200)});
    }
    return readings;
}

std::string Gathered(const ToneSettings& settings, const std::vector<PitchReading>& readings) {
    const Naming naming = NewNaming(settings);
    NoteGatherer notes;
    std::vector<HeldNote> ended;
    for (const PitchReading& reading : readings) {
        GatherReading(notes, naming, NameReading(naming, reading, 0), ended);
    }
    FinishGathering(notes, naming, ended);
    std::string lines;
    for (const HeldNote& note : ended) {
        lines += HeldNoteLine(note);
    }
    return lines;
}

TEST(Summary, ANoteEndsAtSilenceOrAtAChangeOfNoteAndStrayReadingsStayOut) {
    std::vector<double> sweep; // -10 to +10 cents: the steady part is -8 to +8
    for (int c = -10; c <= 10; ++c) {
        sweep.push_back(c);
    }
    std::vector<PitchReading> readings = Readings(0, 21, 220, sweep); // A3 to 0.5 s
    // 0.3 s of silence, then E4 with one stray reading an octave off, then C4 at once, and a
    // semitone up at once: a step, not a vibrato's swing.
    std::vector<PitchReading> e4 = Readings(0.8, 21, 329.6276);
    e4[10].hz = 659.2551;
    std::vector<PitchReading> c4 = Readings(1.325, 20, 261.6256);
    std::vector<PitchReading> c_sharp4 = Readings(1.825, 20, 277.1826);
    // Two readings alone are no note.
    std::vector<PitchReading> blip = Readings(2.5, 2, 500);
    for (const std::vector<PitchReading>* part : {&e4, &c4, &c_sharp4, &blip}) {
        readings.insert(readings.end(), part->begin(), part->end());
    }
    const ToneSettings settings;
    EXPECT_EQ(Gathered(settings, readings), "0.000\t0.500\t220.000\tA3\t+0.00\t14.40\n"
                                            "0.800\t1.300\t329.628\tE4\t+0.00\t0.00\n"
                                            "1.325\t1.800\t261.626\tC4\t+0.00\t0.00\n"
                                            "1.825\t2.300\t277.183\tC#4\t+0.00\t0.00\n");
}

TEST(Summary, ReadingsMissingWhileTheNoteSoundsOnDoNotEndIt) {
    // A3 for half a second, then no reading for `gap` seconds, then A3 again: on the same
    // attack (noise hid it; the listener heard no silence and no new attack) one note up to
    // kLostSeconds, on a new one (after silence) two.
    const struct {
        double gap, onset; // the second part's onset
        size_t lines;
    } rows[] = {{0.4, 0, 1}, {0.9, 0, 1}, {1.1, 0, 2}, {0.4, 0.85, 2}};
    for (const auto& row : rows) {
        std::vector<PitchReading> readings = Readings(0, 21, 220);
        for (PitchReading& r : Readings(0.5 + row.gap, 21, 220)) {
            r.onset = row.onset;
            readings.push_back(r);
        }
        const std::string lines = Gathered({}, readings);
        EXPECT_EQ(Count(lines, "\n"), row.lines) << row.gap << " s, onset " << row.onset << "\n"
                                                 << lines;
    }
}

TEST(Summary, TheMedianOfASteadyNoteAndItsString) {
    // A string 3 cents sharp, its attack 40 cents sharp: the attack is left out.
    std::vector<double> cents(30, 3.0);
    cents[0] = 40;
    cents[1] = 40;
    cents[2] = 20;
    ToneSettings settings;
    ASSERT_TRUE(SetStrings(settings, "drop-d"));
    EXPECT_EQ(Gathered(settings, Readings(1, 30, 73.4162, cents)),
              "1.000\t1.725\t73.544\tD2\t+3.00\t0.00\t6\n");
}

struct VibratoCase {
    double centre; // Hz
    double width;  // cents either side
    double rate;   // Hz
    double skew;   // cents of the second harmonic of the swing
    const char* note;
};

TEST(Summary, AVibratoIsOneLineAtItsCentreAndSpansItsWidth) {
    const VibratoCase cases[] = {
        // A bow's vibrato about A3 that dwells above the note longer than below it: the median
        // of its readings lies 9 cents sharp of the centre it swings about.
        {220, 20, 5.5, 8, "A3"},
        // A flute 40 cents under C#5: each low swing names C5 for a tenth of a second.
        {541.634, 26, 5.06, 0, "C#5"},
        {541.634, 26, 5.06, 6, "C#5"},
    };
    for (const VibratoCase& c : cases) {
        std::vector<double> cents;
        for (int i = 0; i < 80; ++i) {
            const double phase = 2 * std::numbers::pi * c.rate * 0.025 * i;
            cents.push_back(c.width * std::sin(phase) + c.skew * std::cos(2 * phase));
        }
        const std::string lines = Gathered(ToneSettings{}, Readings(0, 80, c.centre, cents));
        ASSERT_EQ(Count(lines, "\n"), 1u) << c.centre << "\n" << lines;
        double start = 0, end = 0, hz = 0, spread = 0;
        char note[8] = {}, shown[16] = {};
        ASSERT_EQ(std::sscanf(lines.c_str(), "%lf %lf %lf %7s %15s %lf", &start, &end, &hz, note,
                              shown, &spread),
                  6)
            << lines;
        EXPECT_LT(std::abs(1200 * std::log2(hz / c.centre)), 1) << lines;
        EXPECT_STREQ(note, c.note);
        // SPREAD: the vibrato's width from its low to its high, but for the extremes' last tenth.
        EXPECT_GT(spread, 2 * c.width * 0.9) << lines;
        EXPECT_LT(spread, 2 * (c.width + c.skew)) << lines;
    }
}

TEST(Summary, ReadingsBetweenHopsCountInNoNote) {
    // The same string, read between hops as well: 40 cents sharp at the attack, and three in a
    // row naming A2. Counted, they would pull the median up and end the note at 1.3 s.
    std::vector<double> cents(30, 3.0);
    cents[0] = cents[1] = 40;
    cents[2] = 20;
    const std::vector<PitchReading> hops = Readings(1, 30, 73.4162, cents);
    std::vector<PitchReading> readings;
    for (size_t i = 0; i < hops.size(); ++i) {
        readings.push_back(hops[i]);
        const double hz = i < 10 ? 73.4162 * std::exp2(40.0 / 1200) : i < 13 ? 110.0 : 0;
        for (const double third : {1.0 / 3, 2.0 / 3}) {
            if (hz > 0) {
                readings.push_back(
                    {.time = hops[i].time + third * 0.025, .hz = hz, .between_hops = true});
            }
        }
    }
    ToneSettings settings;
    ASSERT_TRUE(SetStrings(settings, "drop-d"));
    EXPECT_EQ(Gathered(settings, readings), "1.000\t1.725\t73.544\tD2\t+3.00\t0.00\t6\n");
}

TEST(Summary, ATakeOfThreeNotesSeparatedBySilenceIsThreeLines) {
    ScratchDir dir;
    std::string take;
    const std::string silence(3 * 44100 * 4 / 10, '\0');
    for (const char* note : {"E2", "C#4", "Bb3"}) {
        ASSERT_EQ(RunOndelis({"-o", "note.wav", note, "1"}).status, 0) << note;
        take += (take.empty() ? "" : silence) + ReadBytes("note.wav").substr(44);
    }
    std::ofstream("take.wav", std::ios::binary) << Wav24(take);
    const RunResult run = RunOndelis({"--summary", "--listen", "take.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(Count(run.out, "\n"), 3u) << run.out;
    EXPECT_TRUE(Has(run.out, "\t82.407\tE2\t+0.00\t0.00\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "\t277.183\tC#4\t+0.00\t0.00\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "\t233.082\tBb3\t+0.00\t0.00\n")) << run.out;
    // Each note from about when it starts to about when it ends: 0-1, 1.4-2.4, 2.8-3.8 s.
    double start = 0, end = 0;
    size_t at = 0;
    for (const double expected : {0.0, 1.4, 2.8}) {
        ASSERT_EQ(std::sscanf(run.out.c_str() + at, "%lf\t%lf", &start, &end), 2);
        EXPECT_NEAR(start, expected, 0.15) << run.out;
        EXPECT_NEAR(end, expected + 1, 0.15) << run.out;
        at = run.out.find('\n', at) + 1;
    }
    const RunResult guitar =
        RunOndelis({"--summary", "--instrument", "guitar", "--listen", "note.wav"});
    EXPECT_TRUE(EndsWith(guitar.out, "\t233.082\tB3\t-100.00\t0.00\tG2\n")) << guitar.out;
    const RunResult strings =
        RunOndelis({"--summary", "--strings", "E2,Bb3", "--listen", "note.wav"});
    EXPECT_TRUE(EndsWith(strings.out, "\t233.082\tBb3\t+0.00\t0.00\t1\n")) << strings.out;
}

// 24-bit samples of `seconds` of `wave(t)` (full scale 1).
std::string Samples24(double seconds, const std::function<double(double)>& wave) {
    std::string bytes;
    for (int i = 0; i < static_cast<int>(seconds * 44100); ++i) {
        const auto v = static_cast<int32_t>(std::lround(wave(i / 44100.0) * 8388607));
        bytes += {static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff),
                  static_cast<char>((v >> 16) & 0xff)};
    }
    return bytes;
}

// A3 with five partials, 1/k each, at `level`.
double A3(double t, double level) {
    double x = 0;
    for (int k = 1; k <= 5; ++k) {
        x += 0.15 / k * std::sin(2 * M_PI * 220 * k * t);
    }
    return level * x;
}

TEST(Summary, EachPluckOfTheSameNoteIsALineAndASwellIsOne) {
    ScratchDir dir;
    // Four plucks 0.1 s apart, each dying away 9 dB by the next; the last rings on.
    std::ofstream("plucks.wav", std::ios::binary) << Wav24(Samples24(0.9, [](double t) {
        const double since = t - 0.1 * std::min(std::floor(t / 0.1), 3.0);
        return A3(t, std::exp(-since / 0.1));
    }));
    // A bow's attack: 60 dB in 0.15 s, so steep that every hop of it is a new attack.
    std::ofstream("swell.wav", std::ios::binary) << Wav24(Samples24(
        1.2, [](double t) { return A3(t, std::pow(10, -3 + 3 * std::min(t / 0.15, 1.0))); }));
    const RunResult plucks = RunOndelis({"--summary", "--listen", "plucks.wav"});
    EXPECT_EQ(plucks.status, 0) << plucks.err;
    EXPECT_EQ(Count(plucks.out, "\n"), 4u) << plucks.out;
    EXPECT_EQ(Count(plucks.out, "\tA3\t+0.0"), 4u) << plucks.out;
    const RunResult swell = RunOndelis({"--summary", "--listen", "swell.wav"});
    EXPECT_EQ(swell.status, 0) << swell.err;
    EXPECT_EQ(Count(swell.out, "\n"), 1u) << swell.out;
}

TEST(Summary, ABowedNoteWithVibratoIsOneLineAtItsCentre) {
    // Bowed notes held 2.5 s with a vibrato whose partials swell and fade through the swing,
    // each at its own point of it (the body's resonances): one line each, within 3 cents of the
    // centre, its SPREAD at least the swing either side.
    const struct {
        const char* note;
        double hz, cents, rate;
    } rows[] = {{"G3", 195.998, 25, 5.5}, {"G2", 97.999, 20, 5}, {"C2", 65.406, 20, 4.5}};
    ScratchDir dir;
    for (const auto& row : rows) {
        const double swing = std::exp2(row.cents / 1200) - 1;
        std::ofstream("bowed.wav", std::ios::binary) << Wav24(Samples24(2.5, [&](double t) {
            const double cycle = 2 * std::numbers::pi * row.rate * t;
            const double phase = 2 * std::numbers::pi * row.hz *
                                 (t - swing / (2 * std::numbers::pi * row.rate) * std::cos(cycle));
            double x = 0;
            for (int k = 1; k <= 20; ++k) {
                x += 0.1 / std::sqrt(k) * (1 + 0.9 * std::sin(cycle + 1.3 * k)) *
                     std::sin(k * phase + k);
            }
            return x;
        }));
        const RunResult run = RunOndelis({"--summary", "--listen", "bowed.wav"});
        EXPECT_EQ(run.status, 0) << run.err;
        ASSERT_EQ(Count(run.out, "\n"), 1u) << row.note << "\n" << run.out;
        double start = 0, end = 0, hz = 0, spread = 0;
        char note[8] = {}, shown[16] = {};
        ASSERT_EQ(std::sscanf(run.out.c_str(), "%lf %lf %lf %7s %15s %lf", &start, &end, &hz, note,
                              shown, &spread),
                  6)
            << run.out;
        EXPECT_STREQ(note, row.note) << run.out;
        EXPECT_LT(std::abs(1200 * std::log2(hz / row.hz)), 3) << run.out;
        EXPECT_GE(spread, row.cents) << run.out;
    }
}

TEST(Summary, ReadingsButNoNoteSayWhy) {
    // Blips of two readings each, 0.2 s apart: none is a note.
    std::vector<PitchReading> readings;
    for (int i = 0; i < 12; ++i) {
        readings.push_back({.time = 0.2 * (i / 2) + 0.025 * (i % 2), .hz = 220.0 + 20 * (i / 2)});
    }
    const ToneSettings settings;
    const Naming naming = NewNaming(settings);
    NoteGatherer notes;
    std::vector<HeldNote> ended;
    for (const PitchReading& reading : readings) {
        GatherReading(notes, naming, NameReading(naming, reading, 0), ended);
    }
    FinishGathering(notes, naming, ended);
    EXPECT_TRUE(ended.empty());
    EXPECT_EQ(WhyNoNote(notes), "12 readings, but none held one note for 3 readings (notes too "
                                "short, or two at once)");
    EXPECT_EQ(WhyNoNote(NoteGatherer{}), "");
}

// Ctrl-C at a terminal stops a recorder and the program it feeds alike: the note under way is
// summed up, and the status says that a signal stopped it.
TEST(Summary, CtrlCOnAPipeSumsUpTheNoteUnderWay) {
    ScratchDir dir;
    ASSERT_EQ(RunOndelis({"-o", "take.wav", "a3", "1"}).status, 0);
    const RunResult run =
        RunOndelisStoppedOnAPipe("take.wav", "--summary --listen -", "[ -e fed ]", 40);
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    EXPECT_EQ(Count(run.out, "\n"), 1u) << run.out;
    EXPECT_TRUE(Has(run.out, "\t220.000\tA3\t+0.00\t0.00\n")) << run.out;
}

// The options of listening are refused without --listen, and --tolerance out of its range.
TEST(ListeningOptions, AreRefusedWithoutListenOrOutOfRange) {
    const struct {
        std::vector<std::string> args;
        std::string why;
    } table[] = {
        {{"--summary", "440"}, "--summary is for --listen's readings: give --listen too\n"},
        {{"--strobe"}, "--strobe is for --listen's readings: give --listen too\n"},
        {{"--piano", "piano.txt", "--measure"},
         "--measure is for --listen's readings: give --listen too\n"},
        {{"--tolerance", "3", "G6"}, "--tolerance is for --listen's readings: give --listen too\n"},
        {{"--tolerance", "0.4", "--listen", "-"},
         "The in-tune band (--tolerance) is a number of cents from 0.5 to 25, not '0.4'\n"},
        {{"--tolerance=25.1", "--listen", "-"},
         "The in-tune band (--tolerance) is a number of cents from 0.5 to 25, not '25.1'\n"},
        {{"--tolerance", "3c", "--listen", "-"},
         "The in-tune band (--tolerance) is a number of cents from 0.5 to 25, not '3c'\n"},
        {{"--tolerance"}, "--tolerance needs the cents of the in-tune band, 0.5 to 25\n"},
    };
    for (const auto& row : table) {
        const RunResult run = RunOndelis(row.args, "", 20);
        EXPECT_EQ(run.status, 1) << row.why;
        EXPECT_EQ(run.out, "") << row.why;
        EXPECT_EQ(run.err, row.why);
    }
    // Both ends of the range are taken.
    for (const char* cents : {"0.5", "25"}) {
        ToneSettings settings;
        const char* args[] = {"ondelis", "--tolerance", cents};
        int first = 0;
        EXPECT_EQ(TakeOptions(settings, 3, const_cast<char**>(args), first), kGoOn) << cents;
        EXPECT_EQ(settings.tolerance, std::strtod(cents, nullptr));
    }
}

} // namespace
