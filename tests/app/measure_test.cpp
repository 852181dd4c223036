// --piano FILE --measure: the keys of a take written into the piano file, the file refused
// before listening when it does not parse, a key measured again, and Ctrl-C.
#include "app/app.h"
#include "support.h"
#include "synth/piano.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;

struct StiffKey {
    const char* note;
    double b;
    int partials = 16;
    double off = 0;   // cents the partials from the second on lie off their line, by turns
    double sharp = 0; // cents the whole string lies above the key in equal temperament
};

double KeyHz(const char* note) {
    return 440 * std::exp2((KeyOfName(note) - kA4Key) / 12.0);
}

// `seconds` of the key's string, its first partial at the key's pitch in equal temperament
// (and `sharp`), weak below C3 as a long string's.
std::string StringSamples(const StiffKey& key, double seconds) {
    return StiffStringSamples(KeyHz(key.note) * std::exp2(key.sharp / 1200), key.b, seconds,
                              KeyOfName(key.note) < KeyOfName("C3"), key.partials, key.off);
}

// Writes a take of the keys one after another, 1.5 s each, with 0.3 s of silence between.
void WriteTake(const std::string& path, const std::vector<StiffKey>& keys) {
    std::string samples;
    for (const StiffKey& key : keys) {
        samples += StringSamples(key, 1.5) + std::string(3 * kRate * 3 / 10, '\0');
    }
    std::ofstream(path, std::ios::binary) << Wav24(samples);
}

PianoFileReading PianoFile(const std::string& path) {
    return ParsePianoFile(ReadBytes(path));
}

// Each key of `keys` is in the file, its first partial within 0.1 cent and B within 3 %.
void ExpectMeasured(const PianoFileReading& file, const std::vector<StiffKey>& keys) {
    ASSERT_TRUE(file.ok) << file.line << ": " << file.why;
    for (const StiffKey& key : keys) {
        const auto at = std::find_if(file.keys.begin(), file.keys.end(), [&](const MeasuredKey& m) {
            return m.key == KeyOfName(key.note);
        });
        ASSERT_NE(at, file.keys.end()) << key.note;
        EXPECT_NEAR(1200 * std::log2(at->f1 / KeyHz(key.note)), 0, 0.1) << key.note;
        EXPECT_NEAR(at->b / key.b, 1, 0.03) << key.note;
        EXPECT_GE(at->partials, 2) << key.note;
    }
}

const std::vector<StiffKey> kTake = {{"A1", 1.6e-4}, {"C4", 3e-4}, {"A6", 3.5e-3}, {"C8", 2e-2}};

} // namespace

TEST(Measure, ATakeOfStiffKeysFillsThePianoFile) {
    ScratchDir dir;
    WriteTake("take.wav", kTake);
    const RunResult run =
        RunOndelis({"--piano", "piano.txt", "--measure", "--listen", "take.wav"}, "", 60);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ExpectMeasured(PianoFile("piano.txt"), kTake);
    // A line for each key as it was written, with the count of keys the file holds.
    ASSERT_EQ(Count(run.out, "\n"), kTake.size()) << run.out;
    for (size_t i = 0; i < kTake.size(); ++i) {
        EXPECT_TRUE(Has(run.out, std::string(kTake[i].note) + "\t")) << run.out;
        EXPECT_TRUE(Has(run.out, "\t" + std::to_string(i + 1) + "\n")) << run.out;
    }
}

TEST(Measure, AKeyMeasuredAgainReplacesItsLine) {
    ScratchDir dir;
    std::ofstream("piano.txt") << "A0\t27.600\t2.0000e-04\t20\nC4\t262.000\t9.0000e-04\t5\n";
    WriteTake("take.wav", {{"C4", 3e-4}});
    const RunResult run =
        RunOndelis({"--piano", "piano.txt", "--measure", "--listen", "take.wav"}, "", 60);
    EXPECT_EQ(run.status, 0) << run.err;
    const PianoFileReading file = PianoFile("piano.txt");
    ExpectMeasured(file, {{"C4", 3e-4}});
    ASSERT_EQ(file.keys.size(), 2u);
    EXPECT_EQ(file.keys[0].f1, 27.6); // A0 kept as it was
    EXPECT_TRUE(EndsWith(run.out, "\t2\n")) << run.out;
}

// A chromatic scale played key after key, each struck as the one before still rings: one run
// fills the file with every key.
TEST(Measure, AChromaticScaleInOneRunFillsTheFile) {
    ScratchDir dir;
    std::vector<StiffKey> scale;
    std::string samples;
    for (const char* note :
         {"C3", "C#3", "D3", "D#3", "E3", "F3", "F#3", "G3", "G#3", "A3", "A#3", "B3", "C4"}) {
        scale.push_back({note, 2e-4});
        samples += StringSamples(scale.back(), 1.0);
    }
    std::ofstream("scale.wav", std::ios::binary) << Wav24(samples);
    const RunResult run =
        RunOndelis({"--piano", "piano.txt", "--measure", "--listen", "scale.wav"}, "", 60);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const PianoFileReading file = PianoFile("piano.txt");
    ExpectMeasured(file, scale);
    EXPECT_EQ(file.keys.size(), scale.size());
    EXPECT_TRUE(EndsWith(run.out, "\t13\n")) << run.out;
}

// Once the file holds keys enough to lay a curve, a key is named by the nearest target of that
// stretched curve: a C8 tuned 50 cents above equal temperament is C8 stretched, not a key off
// the keyboard. A stray B (a key measured as no stiff string, B 0, beside one with a piano's)
// lays a curve that stretches past any piano's beyond it: there the key is named in equal
// temperament, F#6 not G#6.
TEST(Measure, KeysAreNamedByTheCurveOfTheKeysMeasuredSoFarWhereItIsAPianos) {
    const struct {
        const char* file;
        StiffKey played;
        const char* named;
    } rows[] = {
        {"A0 27.5 2.5e-4 20\nC4 261.626 4e-4 16\nC7 2093 8e-3 6\n",
         {"C8", 2e-2, 16, 0, 50},
         "C8\t"},
        {"A0 27.5 2.5e-4 20\nC4 261.626 4e-4 16\nC6 1046.5 0 4\nD#6 1244.5 1.9e-3 6\n",
         {"F#6", 2e-3},
         "F#6\t"},
    };
    for (const auto& row : rows) {
        ScratchDir dir;
        std::ofstream("piano.txt") << row.file;
        WriteTake("take.wav", {row.played});
        const RunResult run =
            RunOndelis({"--piano", "piano.txt", "--measure", "--listen", "take.wav"}, "", 60);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Has(run.out, row.named)) << run.out << run.err;
        const PianoFileReading file = PianoFile("piano.txt");
        ASSERT_TRUE(file.ok) << file.why;
        EXPECT_EQ(file.keys.size(), Count(row.file, "\n") + 1) << row.named;
    }
}

TEST(Measure, IsRefusedBeforeListeningWithoutAPianoFileThatParses) {
    const struct {
        std::string file; // the piano file's text, none when empty
        std::vector<std::string> args;
        std::string why;
    } table[] = {
        {"",
         {"--measure", "--listen", "take.wav"},
         "--measure writes the keys it measures into a piano file: give --piano FILE\n"},
        {"A4 440 3e-4 10\nB4 494\n",
         {"--piano", "piano.txt", "--measure", "--listen", "take.wav"},
         "piano.txt:2: a key's line is NOTE F1 B PARTIALS (as A4 440.000 3.90e-04 14), not 2 "
         "words\n"},
        {"# tuned\n\nH4 440 3e-4 10\n",
         {"--listen", "take.wav", "--measure", "--piano", "piano.txt"},
         "piano.txt:3: 'H4' is no key of a piano, A0 to C8\n"},
    };
    for (const auto& row : table) {
        ScratchDir dir;
        WriteTake("take.wav", {{"C4", 3e-4}});
        if (!row.file.empty()) {
            std::ofstream("piano.txt") << row.file;
        }
        const RunResult run = RunOndelis(row.args, "", 20);
        EXPECT_EQ(run.status, 1) << row.why;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, row.why);
        // Left as it was.
        EXPECT_EQ(row.file.empty() ? "" : ReadBytes("piano.txt"), row.file);
    }
}

TEST(Measure, CtrlCOnAPipeLeavesThePianoFileWhole) {
    ScratchDir dir;
    WriteTake("take.wav", kTake);
    const RunResult run =
        RunOndelisStoppedOnAPipe("take.wav", "--piano piano.txt --measure --listen -",
                                 "grep -q ^C8 piano.txt 2>/dev/null", 60);
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    ExpectMeasured(PianoFile("piano.txt"), kTake);
    EXPECT_EQ(Count(run.out, "\n"), kTake.size()) << run.out;
}

TEST(Measure, AKeyWhoseFitDoesNotHoldIsNotWrittenAndALineSaysWhy) {
    const struct {
        StiffKey key;
        std::string why; // the line's start
    } table[] = {
        {{"A4", 0, 1}, "A4: not measured: its fit found 1 partial, and B needs 2 at least\n"},
        {{"C4", 3e-4, 8, 4}, "C4: not measured: its partials stray "},
        // An organ's or a sampler's harmonic tone: no string's stiffness to lay a curve from.
        {{"C4", 0},
         "C4: not measured: its partials lie on whole multiples (B 0.0e+00): no "
         "piano string's, whose B is 1e-05 at least\n"},
    };
    for (const auto& row : table) {
        ScratchDir dir;
        WriteTake("take.wav", {row.key});
        const RunResult run =
            RunOndelis({"--piano", "piano.txt", "--measure", "--listen", "take.wav"}, "", 60);
        EXPECT_EQ(run.status, 0) << row.why;
        EXPECT_EQ(run.out, "") << row.why;
        EXPECT_EQ(run.err.rfind(row.why, 0), 0u) << run.err;
        EXPECT_EQ(Count(run.err, "\n"), 1u) << run.err;
        EXPECT_FALSE(std::filesystem::exists("piano.txt")) << row.why;
    }
}
