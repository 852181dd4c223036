// `ondelis --piano FILE --listen`: each reading named by the nearest key of the piano's curve
// and read in cents from that key's target on the partial the curve tunes it on; the tuner's
// checklist of the octave being tuned; and the piano files that lay no curve, refused.
#include "app/app.h"
#include "support.h"
#include "synth/piano_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kKeySeconds = 1.5;
constexpr double kGapSeconds = 0.3;

// A bass, a middle and a treble key measured, and the top: the curve of a typical piano.
const std::vector<MeasuredKey> kPiano = {
    {1, 27.5, 2.5e-4, 20}, {40, 261.6, 4e-4, 12}, {64, 1046, 3.4e-3, 4}, {88, 4186, 2e-2, 2}};

std::vector<CurveKey> Curve() {
    std::string why;
    const std::vector<CurveKey> curve = PianoCurve(kPiano, OctaveRules{}, 440, why);
    EXPECT_EQ(curve.size(), static_cast<size_t>(kPianoKeys)) << why;
    return curve;
}

// A struck string: its first partial at `f1`, its stiffness `b`.
struct StiffString {
    int key;
    double f1;
    double b;
};

// `seconds` of the string, weak below C3 as a long string's.
std::string StringSamples(const StiffString& string, double seconds) {
    return StiffStringSamples(string.f1, string.b, seconds, string.key < KeyOfName("C3"));
}

// A take of the strings one after another, kGapSeconds of silence after each.
void WriteTake(const std::string& path, const std::vector<StiffString>& strings) {
    std::string samples;
    for (const StiffString& string : strings) {
        samples += StringSamples(string, kKeySeconds) +
                   std::string(static_cast<size_t>(kGapSeconds * kRate) * 3, '\0');
    }
    std::ofstream(path, std::ios::binary) << Wav24(samples);
}

// The string of `key` whose stiffness is `stiffer` times the curve's and whose partial the
// curve tunes it on sounds `cents` off its target's.
StiffString Tuned(const std::vector<CurveKey>& curve, const char* note, double stiffer,
                  double cents) {
    const CurveKey& key = curve[static_cast<size_t>(KeyOfName(note) - 1)];
    const double b = key.b * stiffer;
    const double partial = PartialHz(key.f1, key.b, key.partial) * std::exp2(cents / 1200);
    return {key.key, partial / PartialHz(1, b, key.partial), b};
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream words(line);
    for (std::string field; std::getline(words, field, '\t');) {
        fields.push_back(field);
    }
    return fields;
}

std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The lines of `out` whose first field, a time, falls in the steady part of the take's
// `index`-th string: its attack's readings left out.
std::vector<std::vector<std::string>> LinesOfString(const std::string& out, size_t index) {
    const double start = static_cast<double>(index) * (kKeySeconds + kGapSeconds);
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) {
        const std::vector<std::string> fields = Fields(line);
        const double time = std::stod(fields.at(0));
        if (time >= start + 0.3 && time <= start + kKeySeconds) {
            lines.push_back(fields);
        }
    }
    return lines;
}

double MedianCents(const std::vector<std::vector<std::string>>& lines) {
    std::vector<double> cents;
    for (const auto& fields : lines) {
        cents.push_back(std::stod(fields.at(3)));
    }
    std::sort(cents.begin(), cents.end());
    return cents.empty() ? NAN : cents[cents.size() / 2];
}

// Keys tuned a few cents off their targets read those cents on the partial the curve tunes
// them on, by the string's own stiffness (here not the curve's), each line naming its key.
TEST(PianoTune, AKeyOffItsTargetReadsItsCentsOnItsTuningPartial) {
    ScratchDir dir;
    std::ofstream("piano.txt") << FormatPianoFile(kPiano);
    const std::vector<CurveKey> curve = Curve();
    const struct {
        const char* note;
        double stiffer; // the string's B to the curve's
        double cents;
        int partial; // that the curve tunes the key on
    } rows[] = {
        {"A0", 1.5, 3, 4},  // the lowest key, on its 4th
        {"A1", 2, 3, 2},    // the bass: its first partial weak
        {"F2", 0.5, -3, 2}, // the bass again, flat
        {"C4", 1.5, 3, 1},  // the middle
        {"C7", 0.7, 3, 1},  // the treble
    };
    std::vector<StiffString> take;
    for (const auto& row : rows) {
        take.push_back(Tuned(curve, row.note, row.stiffer, row.cents));
        ASSERT_EQ(curve[static_cast<size_t>(take.back().key - 1)].partial, row.partial) << row.note;
    }
    WriteTake("take.wav", take);
    const RunResult run = RunOndelis({"--piano", "piano.txt", "--listen", "take.wav"}, "", 60);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto lines = LinesOfString(run.out, i);
        ASSERT_GE(lines.size(), 20u) << rows[i].note << "\n" << run.out;
        for (const auto& fields : lines) {
            ASSERT_EQ(fields.size(), 5u) << rows[i].note;
            EXPECT_EQ(fields[2], rows[i].note);
            EXPECT_EQ(fields[4], std::to_string(KeyOfName(rows[i].note)));
        }
        EXPECT_NEAR(MedianCents(lines), rows[i].cents, 0.2) << rows[i].note;
    }
    // --summary reads each key by its string's stiffness too: START END HZ NOTE CENTS SPREAD KEY.
    const RunResult summary =
        RunOndelis({"--piano", "piano.txt", "--listen", "take.wav", "--summary"}, "", 60);
    ASSERT_EQ(summary.status, 0) << summary.err;
    const std::vector<std::string> notes = Lines(summary.out);
    ASSERT_EQ(notes.size(), std::size(rows)) << summary.out;
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::vector<std::string> fields = Fields(notes[i]);
        ASSERT_EQ(fields.size(), 7u) << notes[i];
        EXPECT_EQ(fields[3], rows[i].note);
        EXPECT_NEAR(std::stod(fields[4]), rows[i].cents, 0.2) << notes[i];
        EXPECT_EQ(fields[6], std::to_string(KeyOfName(rows[i].note)));
    }
}

// A key on its target reads in tune, where listening without the piano reads the curve's
// stretch from equal temperament; --summary sums each key up alike, by its key.
TEST(PianoTune, AKeyOnItsTargetReadsInTuneWhereEqualTemperamentReadsItsStretch) {
    ScratchDir dir;
    std::ofstream("piano.txt") << FormatPianoFile(kPiano);
    const std::vector<CurveKey> curve = Curve();
    const char* notes[] = {"A1", "D3", "C7", "G7"};
    std::vector<StiffString> take;
    for (const char* note : notes) {
        take.push_back(Tuned(curve, note, 1, 0));
    }
    WriteTake("take.wav", take);
    const RunResult piano = RunOndelis({"--piano", "piano.txt", "--listen", "take.wav"}, "", 60);
    const RunResult plain = RunOndelis({"--listen", "take.wav"}, "", 60);
    const RunResult summary =
        RunOndelis({"--listen", "take.wav", "--summary", "--piano", "piano.txt"}, "", 60);
    ASSERT_EQ(piano.status, 0) << piano.err;
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(summary.status, 0) << summary.err;
    const std::vector<std::string> notes_summed = Lines(summary.out);
    ASSERT_EQ(notes_summed.size(), std::size(notes)) << summary.out;
    for (size_t i = 0; i < std::size(notes); ++i) {
        const CurveKey& key = curve[static_cast<size_t>(take[i].key - 1)];
        ASSERT_GT(std::abs(key.cents), 1.0) << notes[i]; // a stretch to tell apart
        EXPECT_NEAR(MedianCents(LinesOfString(piano.out, i)), 0, 0.2) << notes[i];
        EXPECT_NEAR(MedianCents(LinesOfString(plain.out, i)), key.cents, 0.2) << notes[i];
        // START END HZ NOTE CENTS SPREAD KEY
        const std::vector<std::string> fields = Fields(notes_summed[i]);
        ASSERT_EQ(fields.size(), 7u) << notes_summed[i];
        EXPECT_EQ(fields[3], notes[i]);
        EXPECT_NEAR(std::stod(fields[4]), 0, 0.2) << notes_summed[i];
        EXPECT_EQ(fields[6], std::to_string(key.key));
    }
}

TEST(PianoTune, APianoFileThatLaysNoCurveIsRefusedBeforeListening) {
    const struct {
        std::string file; // the piano file's text, none when empty
        std::vector<std::string> options;
        std::string why;
    } table[] = {
        {"A0 27.5 2.5e-4 20\nC4 261.6 4e-4 12\n",
         {},
         "piano.txt: a curve needs a key in the bass, the middle and the treble: measure a key "
         "in the treble (C6 to C8) too\n"},
        {"A4 440 3e-4 10\nB4 494\n",
         {},
         "piano.txt:2: a key's line is NOTE F1 B PARTIALS (as A4 440.000 3.90e-04 14), not 2 "
         "words\n"},
        {"", {}, "piano.txt: cannot read the piano file: No such file or directory\n"},
        {FormatPianoFile(kPiano),
         {"--strings", "E2,A2,D3,G3,B3,E4"},
         "--piano FILE names each reading by a key of the piano; --strings and --instrument by "
         "an open string: give one of them\n"},
        {FormatPianoFile(kPiano),
         {"--temperament", "werckmeister3"},
         "--piano FILE tunes each key to the piano's curve, stretched from equal temperament; "
         "--temperament and --scale lay the notes another way: give one of them\n"},
    };
    for (const auto& row : table) {
        ScratchDir dir;
        if (!row.file.empty()) {
            std::ofstream("piano.txt") << row.file;
        }
        WriteTake("take.wav", {{KeyOfName("C4"), 261.63, 4e-4}});
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {"--piano", "piano.txt", "--listen", "take.wav"});
        const RunResult run = RunOndelis(args, "", 20);
        EXPECT_EQ(run.status, 1) << row.why;
        EXPECT_EQ(run.out, ""); // not a reading of the take
        EXPECT_EQ(run.err, row.why);
    }
}

// `readings` of `note` at `cents` from its target, a hop apart, as the tuner takes them.
void Play(TunerView& tuner, const Naming& naming, const std::vector<CurveKey>& curve,
          const char* note, double cents, double& time, int readings = 30) {
    const CurveKey& key = curve[static_cast<size_t>(KeyOfName(note) - 1)];
    for (int i = 0; i < readings; ++i, time += 0.025) {
        const double hz = key.f1 * std::exp2(cents / 1200);
        TuneTo(tuner, {time, hz, NameHeard(naming, hz), false, 0});
    }
    // Silence between the keys, as DrawTuner meets it.
    tuner.hold = {};
    BreakRun(tuner.checklist);
}

// The checklist of a piano: the octave of the key being tuned, C to B, with the keys tuned so
// far in it; A4's octave before any, and 12 keys at either end of the keyboard.
TEST(PianoTune, TheChecklistShowsTheOctaveBeingTuned) {
    ToneSettings settings;
    settings.piano.targets = Curve();
    const Naming naming = NewNaming(settings);
    TunerView tuner = NewTunerView(settings, naming, 0.025);
    const auto drawn = [&tuner] {
        std::string text;
        for (const std::string& line : ChecklistLines(ShownChecklist(tuner), false, 79)) {
            text += line + "|\n";
        }
        return text;
    };
    EXPECT_EQ(drawn(),
              "C4   --    C#4   --    D4   --    Eb4   --    E4   --    F4   --    F#4   --  |\n"
              "G4   --    G#4   --    A4   --    Bb4   --    B4   --  |\n");
    double time = 0;
    const std::vector<CurveKey>& curve = settings.piano.targets;
    Play(tuner, naming, curve, "E4", 0.3, time);
    Play(tuner, naming, curve, "A3", -2, time);
    EXPECT_EQ(drawn(),
              "C3   --    C#3   --    D3   --    Eb3   --    E3   --    F3   --    F#3   --  |\n"
              "G3   --    G#3   --    A3  -2.0    Bb3   --    B3   --  |\n");
    // A reading or two of another key, as a key stops: the octave stays.
    Play(tuner, naming, curve, "B4", 0.1, time);
    Play(tuner, naming, curve, "C2", 0, time, 2);
    EXPECT_EQ(drawn(),
              "C4   --    C#4   --    D4   --    Eb4   --    E4  +0.3OK  F4   --    F#4   --  |\n"
              "G4   --    G#4   --    A4   --    Bb4   --    B4  +0.1OK|\n");
    Play(tuner, naming, curve, "Bb0", 1.5, time);
    EXPECT_EQ(drawn().substr(0, 26), "A0   --    Bb0  +1.5    B0") << drawn();
    Play(tuner, naming, curve, "C8", 1.5, time);
    EXPECT_EQ(drawn().substr(0, 4), "C#7 ") << drawn();
    EXPECT_TRUE(EndsWith(drawn(), "C8  +1.5  |\n")) << drawn();
}

} // namespace
