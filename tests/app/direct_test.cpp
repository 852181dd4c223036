#include "support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// What the menu hands the device when a session picks `word`, with `options` given.
std::string PlayedByTheMenu(const std::string& word, const std::vector<std::string>& options = {}) {
    const RunResult run = RunOndelis(options, "s file:FILE=menu.raw l 0.2 " + word + " x");
    EXPECT_EQ(run.status, 0) << word << run.err;
    return ReadBytes("menu.raw");
}

// Direct mode with a 0.2 s tone into the file device; the summary must show `hz`.
std::string PlayedDirectly(const std::vector<std::string>& pitch, const std::string& hz) {
    std::vector<std::string> args = pitch;
    args.insert(args.end(), {"0.2", "file:FILE=direct.raw"});
    const RunResult run = RunOndelis(args);
    EXPECT_EQ(run.status, 0) << pitch.back() << run.err;
    EXPECT_EQ(run.out, Summary("file:FILE=direct.raw", hz, "0.20", "25.00")) << pitch.back();
    return ReadBytes("direct.raw");
}

TEST(DirectMode, PlaysEveryFrameOfTheToneAndPrintsTheSummary) {
    ScratchDir dir;
    const RunResult run = RunOndelis({"440", "0.5", "file:FILE=o.raw"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Summary("file:FILE=o.raw", "440.00", "0.50", "25.00"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("o.raw"), PackedTone(440, 44100, 22050, 25)), -1);

    // Shorter than one period of the device: still every frame.
    EXPECT_EQ(RunOndelis({"440", "0.01", "file:FILE=s.raw", "100"}).status, 0);
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("s.raw"), PackedTone(440, 44100, 440, 100)), -1);
}

TEST(DirectMode, OneArgumentKeepsTheDefaults) {
    // ALSA's default device may be anything here; the summary comes first regardless.
    const RunResult run = RunOndelis({"440", "0"});
    EXPECT_EQ(run.out.substr(0, Summary("default", "440.00", "0.00", "25.00").size()),
              Summary("default", "440.00", "0.00", "25.00"));
}

TEST(DirectMode, ValuesAreLimitedAsDocumented) {
    ScratchDir dir;
    const RunResult negative = RunOndelis({"-440", "-3", "file:FILE=n.raw", "150"});
    EXPECT_EQ(negative.status, 0);
    EXPECT_EQ(negative.out, Summary("file:FILE=n.raw", "-440.00", "0.00", "100.00"));
    EXPECT_EQ(ReadBytes("n.raw"), "");

    const RunResult quiet = RunOndelis({"-440", "0.2", "file:FILE=q.raw", "-5"});
    EXPECT_EQ(quiet.out, Summary("file:FILE=q.raw", "-440.00", "0.20", "0.00"));
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("q.raw"), std::vector<unsigned char>(8820 * 3)), -1);

    const RunResult magnitude = RunOndelis({"-440", "0.2", "file:FILE=m.raw"});
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("m.raw"), PackedTone(440, 44100, 8820, 25)), -1);

    EXPECT_EQ(RunOndelis({"440", "0.00001", "null"}).out,
              Summary("null", "440.00", "0.00", "25.00"));
}

TEST(DirectMode, TextThatIsNoNumberCountsAsZero) {
    EXPECT_EQ(RunOndelis({"0", "nan", "null", "NAN"}).out, Summary("null", "0.00", "0.00", "0.00"));
    EXPECT_EQ(RunOndelis({"nan", "0.1x", "null", "12abc"}).out,
              Summary("null", "0.00", "0.10", "12.00"));
    EXPECT_EQ(RunOndelis({"0x1b8", "-0", "null"}).out, Summary("null", "440.00", "-0.00", "25.00"));
}

TEST(DirectMode, ToneTooLongIsRefused) {
    for (const char* seconds : {"1e30", "48770"}) {
        const RunResult run = RunOndelis({"440", seconds, "null"});
        EXPECT_EQ(run.status, 1) << seconds;
        EXPECT_NE(run.err.find("Tone too long: "), std::string::npos) << run.err;
        EXPECT_TRUE(EndsWith(run.err, "frames; a length of inf plays until stopped\n")) << run.err;
    }
}

TEST(DirectMode, NotesAndStringPresetsSoundAsInTheMenu) {
    ScratchDir dir;
    const struct {
        const char* word;
        const char* hz;
    } cases[] = {{"e", "659.26"},         {"c#", "554.37"},        {"bb", "466.16"},
                 {"G6", "82.41"},         {"B4", "41.20"},         {"G7", "61.74"},
                 {"B5", "30.87"},         {"violin1", "659.26"},   {"violin2", "440.00"},
                 {"violin3", "293.66"},   {"violin4", "196.00"},   {"viola1", "440.00"},
                 {"viola2", "293.66"},    {"viola3", "196.00"},    {"viola4", "130.81"},
                 {"cello1", "220.00"},    {"cello2", "146.83"},    {"cello3", "98.00"},
                 {"cello4", "65.41"},     {"mandolin1", "659.26"}, {"mandolin2", "440.00"},
                 {"mandolin3", "293.66"}, {"mandolin4", "196.00"}, {"ukulele1", "440.00"},
                 {"ukulele2", "329.63"},  {"ukulele3", "261.63"},  {"ukulele4", "392.00"},
                 {"banjo1", "293.66"},    {"banjo2", "246.94"},    {"banjo3", "196.00"},
                 {"banjo4", "146.83"},    {"banjo5", "392.00"}};
    for (const auto& c : cases) {
        const std::string direct = PlayedDirectly({c.word}, c.hz);
        EXPECT_EQ(direct.size(), 8820u * 6) << c.word;
        EXPECT_EQ(direct, PlayedByTheMenu(c.word)) << c.word;
    }
}

TEST(DirectMode, NotesWithTheirOctaveNumberInEitherCase) {
    ScratchDir dir;
    const struct {
        std::vector<std::string> options;
        const char* word;
        const char* same_as; // a string preset or a note at offset 0 of that pitch
        const char* hz;
    } rows[] = {
        {{}, "e2", "G6", "82.41"},
        {{}, "b0", "B5", "30.87"},
        {{}, "c4", "ukulele3", "261.63"},
        {{}, "a4", "a", "440.00"},
        {{}, "bb4", "bb", "466.16"},
        {{}, "g#5", "g#", "830.61"},
        // The names a reading prints play too, where no string preset has the word.
        {{}, "E2", "e2", "82.41"},
        {{}, "C#4", "c#4", "277.18"},
        {{}, "Bb3", "bb3", "233.08"},
        {{}, "G8", "g8", "6271.93"},
        {{}, "B6", "b6", "1975.53"},
        {{"--a4", "415", "--temperament", "werckmeister3"}, "E2", "G6", "77.81"},
        {{"--a4", "415", "--temperament", "werckmeister3"}, "e2", "G6", "77.81"},
        {{"--scale", ONDELIS_TEST_DATA "/just.scl", "--root", "d"}, "g3", "violin4", "195.56"},
    };
    // The bytes played, and the summary's frequency.
    const auto played = [](std::vector<std::string> args, const char* word) {
        args.insert(args.end(), {word, "0.2", "file:FILE=o.raw"});
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << word << run.err;
        return run.out.substr(run.out.find("Frequency:")) + ReadBytes("o.raw");
    };
    for (const auto& row : rows) {
        const std::string tone = played(row.options, row.word);
        EXPECT_EQ(tone, played(row.options, row.same_as)) << row.word;
        EXPECT_EQ(tone.substr(0, tone.find(" Hz")), "Frequency:\t" + std::string(row.hz));
        EXPECT_EQ(tone.size(), tone.find("percent\n") + 8 + 8820u * 6) << row.word;
    }
    EXPECT_EQ(PlayedDirectly({"c#4"}, "277.18").size(), 8820u * 6);
    // G4 stays the guitar's 4th string, D3 (how the note is written is told at a terminal: see
    // PresetNoteComesOnceAndOnlyAtATerminal).
    const RunResult shadowed = RunOndelis({"G4", "0.2", "null"});
    EXPECT_TRUE(Has(shadowed.out, "Frequency:\t146.83 Hz\n"));
    EXPECT_EQ(RunOndelis({"g4", "0.2", "null"}).err, "");
    EXPECT_TRUE(Has(RunOndelis({"E10"}).err, "\nA note with its octave number: e2, E2, C#4, Bb3 "
                                             "(octaves 0 to 9; G1 to G7 and B1 to B5\nare the "
                                             "string presets, g4 the note G4)\n"));
}

// The note that G1 to G7 and B1 to B5 are strings, and how the note of that name is written,
// is for somebody at a terminal, once: a guitarist tuning string by string types the presets
// run after run. A marker under the XDG state directory remembers it; where none can be
// written, it comes once a run.
TEST(DirectMode, PresetNoteComesOnceAndOnlyAtATerminal) {
    ScratchDir dir;
    const std::string g4 = "'G4' is string 4 of the guitar, D3; for the note G4 say 'g4'";
    const std::string b5 = "'B5' is string 5 of the bass, B0; for the note B5 say 'b5'";
    const std::filesystem::path state = dir.path() / "state";
    // Standard error on a pipe: no note, and nothing remembered for a terminal later.
    const RunResult piped =
        RunOndelis({"G4", "0.05", "null"}, "", 30, "XDG_STATE_HOME=" + ShellQuote(state));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_FALSE(std::filesystem::exists(state));
    std::ofstream(dir.path() / "a-file") << "not a directory\n";
    const struct {
        std::vector<std::string> environment;
        const char* word;
        std::string note; // shown, or empty
    } runs[] = {
        // Once per user, for every preset that shadows a note.
        {{"XDG_STATE_HOME=" + state.string()}, "G4", g4},
        {{"XDG_STATE_HOME=" + state.string()}, "G4", ""},
        {{"XDG_STATE_HOME=" + state.string()}, "B5", ""},
        // Without XDG_STATE_HOME (empty is unset), under the home's .local/state.
        {{"XDG_STATE_HOME=", "HOME=" + (dir.path() / "home").string()}, "B5", b5},
        {{"XDG_STATE_HOME=", "HOME=" + (dir.path() / "home").string()}, "G4", ""},
        // A state directory that cannot be made: once a run, so every run of one tone.
        {{"XDG_STATE_HOME=" + (dir.path() / "a-file").string()}, "G4", g4},
        {{"XDG_STATE_HOME=" + (dir.path() / "a-file").string()}, "G4", g4},
    };
    for (const auto& run : runs) {
        Terminal terminal =
            StartOnTerminal({ONDELIS_BINARY, run.word, "0.05", "null"}, run.environment);
        EXPECT_EQ(Finish(terminal, 30), 0) << run.word << terminal.screen;
        EXPECT_TRUE(Has(terminal.screen, "Frequency:")) << terminal.screen;
        EXPECT_EQ(Count(terminal.screen, "is string"), run.note.empty() ? 0u : 1u)
            << run.environment[0] << " " << run.word << terminal.screen;
        if (!run.note.empty()) {
            EXPECT_TRUE(Has(terminal.screen, run.note + "\r\n")) << terminal.screen;
        }
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(state / "ondelis" / "preset-note-shown"));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "home" / ".local" / "state" /
                                                 "ondelis" / "preset-note-shown"));
}

TEST(DirectMode, ReferencePitchMovesNotesAndPresetsButNotHertz) {
    ScratchDir dir;
    // The low E string at A = 442 Hz: 82.41 Hz x 442 / 440.
    const std::string low_e = PlayedDirectly({"--a4", "442", "G6"}, "82.78");
    EXPECT_EQ(low_e, PlayedByTheMenu("G6", {"--a4=442"}));
    EXPECT_NE(low_e, PlayedByTheMenu("G6"));
    EXPECT_EQ(PlayedDirectly({"--a4", "442", "violin1"}, "662.25"),
              PlayedByTheMenu("violin1", {"--a4=442"}));
    EXPECT_EQ(FirstStereoMismatch(PlayedDirectly({"--a4=415", "a"}, "415.00"),
                                  PackedTone(415, 44100, 8820, 25)),
              -1);
    EXPECT_EQ(FirstStereoMismatch(PlayedDirectly({"--a4", "415", "440"}, "440.00"),
                                  PackedTone(440, 44100, 8820, 25)),
              -1);
    // Both ends of the documented range are pitches of A too.
    EXPECT_EQ(FirstStereoMismatch(PlayedDirectly({"--a4", "400", "a"}, "400.00"),
                                  PackedTone(400, 44100, 8820, 25)),
              -1);
    EXPECT_EQ(FirstStereoMismatch(PlayedDirectly({"--a4=480", "a"}, "480.00"),
                                  PackedTone(480, 44100, 8820, 25)),
              -1);

    // In the menu too: notes follow, an exact frequency stays.
    const RunResult menu = RunOndelis({"--a4", "415"}, "s null l 0 z 440 p c x");
    EXPECT_TRUE(Has(menu.out, "Enter 'p' to play current note (415.00 Hz)\n")) << menu.out;
    EXPECT_TRUE(Has(menu.out, "Frequency = 440.00 Hz\nEnter 'p' to play the current frequency"));
    EXPECT_TRUE(Has(menu.out, "Frequency = 493.52 Hz\n")); // C, three semitones above A
}

TEST(DirectMode, TuningsMoveNotesAndPresetsAndNameThemselves) {
    ScratchDir dir;
    // Equal temperament chosen by name is today's tone, only the summary names it.
    const RunResult equal = RunOndelis({"--temperament", "equal", "G6", "0.2", "file:FILE=e.raw"});
    EXPECT_EQ(ReadBytes("e.raw"), PlayedByTheMenu("G6"));
    std::string summary = Summary("file:FILE=e.raw", "82.41", "0.20", "25.00");
    summary.insert(summary.find("\tDuration"), "\tTuning:\tequal on c\n");
    EXPECT_EQ(equal.out, summary);

    const struct {
        std::vector<std::string> options;
        const char* hz;
        const char* shown;
    } rows[] = {
        {{"--a4", "415", "--temperament", "werckmeister3"}, "77.81", "werckmeister3 on c"},
        {{"--root", "d", "--temperament=meantone"}, "82.24", "meantone on d"},
        {{"--scale=" ONDELIS_TEST_DATA "/just.scl", "--root=eb"},
         "83.44",
         ONDELIS_TEST_DATA "/just.scl on eb"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {"G6", "0", "null"});
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << row.shown << run.err;
        EXPECT_TRUE(Has(run.out, "\tFrequency:\t" + std::string(row.hz) + " Hz\n\tTuning:\t" +
                                     row.shown + "\n\tDuration:"))
            << run.out;
        const RunResult menu = RunOndelis(row.options, "s null l 0 G6 x");
        EXPECT_TRUE(Has(menu.out, "\nOndelis\n\nTuning: " + std::string(row.shown) +
                                      "\nEnter 'p' to play current note ("))
            << menu.out;
        EXPECT_TRUE(Has(menu.out, "Frequency = " + std::string(row.hz) + " Hz\n")) << menu.out;
        EXPECT_EQ(Count(menu.out, "Tuning: "), 4u) << "a line above each of the four menus";
    }
}

TEST(DirectMode, HarmonicsSoundInBothModesAndShowTheirCount) {
    ScratchDir dir;
    const RunResult run = RunOndelis({"--harmonics", "8", "41.2", "0.2", "file:FILE=h.raw"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::string summary = Summary("file:FILE=h.raw", "41.20", "0.20", "25.00");
    summary.insert(summary.find("\tDuration"), "\tHarmonics:\t8\n");
    EXPECT_EQ(run.out, summary);
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("h.raw"), PackedTone(41.2f, 44100, 8820, 25, 8)), -1);
    EXPECT_NE(ReadBytes("h.raw"), PlayedDirectly({"41.2"}, "41.20"));

    const RunResult menu =
        RunOndelis({"--harmonics=8", "--temperament=just"}, "s null l 0 z 41.2 x");
    EXPECT_TRUE(Has(menu.out, "\nOndelis\n\nTuning: just on c\nHarmonics: 8\nEnter 'p' to play "))
        << menu.out;
    EXPECT_EQ(Count(menu.out, "Harmonics: 8\n"), 4u) << "a line above each of the four menus";
    EXPECT_EQ(PlayedByTheMenu("z 41.2 p", {"--harmonics=8"}), ReadBytes("h.raw"));
    // One partial is the pure sine: no line, the same tone.
    EXPECT_EQ(PlayedDirectly({"--harmonics=1", "41.2"}, "41.20"),
              PlayedDirectly({"41.2"}, "41.20"));
}

// -o writes what the menu's exp writes; without ALSA's configuration no device could open.
TEST(DirectMode, OutputFileHoldsTheBytesOfTheMenusExport) {
    ScratchDir dir;
    const struct {
        std::vector<std::string> args, menu_options;
        std::string menu_input;
        size_t frames; // after the 44-byte header, 3 bytes each
    } rows[] = {
        {{"-o", "d", "G6", "0.2"}, {}, "s null l 0.2 G6 exp m x", 8820},
        {{"--output", "d", "261.5", "0.2", "null", "100"}, {}, "z 261.5 l 0.2 v 100 exp m x", 8820},
        {{"--rate=48000", "--output=d", "c#", "0.2"}, {}, "s null r 48000 l 0.2 c# exp m x", 9600},
        {{"--a4=442", "-o", "d", "e", "0.2"}, {"--a4=442"}, "s null l 0.2 e exp m x", 8820},
    };
    for (const auto& row : rows) {
        const RunResult direct = RunOndelis(row.args, "", 20, "ALSA_CONFIG_PATH=/nonexistent");
        EXPECT_EQ(direct.status, 0) << row.menu_input << direct.err;
        EXPECT_EQ(direct.out.rfind("Ondelis Direct Mode\n", 0), 0u) << row.menu_input;
        // No device is opened, so the summary names none, even one given as an argument.
        EXPECT_FALSE(Has(direct.out, "Soundcard")) << row.menu_input;
        EXPECT_EQ(RunOndelis(row.menu_options, row.menu_input).status, 0) << row.menu_input;
        EXPECT_EQ(ReadBytes("m").size(), 44 + 3 * row.frames) << row.menu_input;
        EXPECT_EQ(ReadBytes("d"), ReadBytes("m")) << row.menu_input;
    }
    EXPECT_EQ(RunOndelis({"-o", "s.wav", "440", "0.1", "no_such_device"}).out,
              Summary("no_such_device", "440.00", "0.10", "25.00", "s.wav"));
    // The last row again: the WAV alone on standard output, the summary on standard error.
    const RunResult piped = RunOndelis({"--a4=442", "-o", "-", "e", "0.2"});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, ReadBytes("m"));
    EXPECT_EQ(piped.err, Summary("default", "662.25", "0.20", "25.00", "standard output"));
}

TEST(DirectMode, OutputThatCannotBeWrittenEndsWithStatusOne) {
    ScratchDir dir;
    const std::string unwritable = "Unable to write to file!\nUnable to write to file!\n";
    const std::vector<std::vector<std::string>> rows = {
        {"inf.wav", "inf",
         "An endless tone cannot be exported: a length of inf plays until stopped; give the tone "
         "a length in seconds\n"},
        {"big.wav", "40000",
         "Tone too long for a WAV file: 1764000000 frames pass its 4 GiB size limit\n"},
        {"no/such/dir/t.wav", "0.1", unwritable + "no/such/dir/t.wav: No such file or directory\n"},
        {"/dev/full", "0.1", unwritable + "/dev/full: No space left on device\n"},
        {std::string(4095, 'n'), "0.1",
         unwritable + std::string(4095, 'n') + ": File name too long\n"}};
    for (const auto& row : rows) {
        const RunResult run = RunOndelis({"-o", row[0], "440", row[1]});
        EXPECT_EQ(run.status, 1) << row[0];
        EXPECT_TRUE(Has(run.out, "\tFrequency:\t440.00 Hz\n")) << row[0];
        EXPECT_EQ(run.err, row[2]) << row[0];
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DirectMode, RefusedWordsAndOptionsPlayNothing) {
    ScratchDir dir;
    const std::vector<std::vector<std::string>> refused = {
        {"E"},
        {"h2"},
        {"E10"},
        {"H2"},
        {"BB3"},
        {"e10"},
        {"cb4"},
        {"violin"},
        {"Violin1"},
        {"violin5"},
        {""},
        {"--bogus", "440"},
        {"--", "--", "440"},
        {"--a4", "481", "a"},
        {"--a4=399.9", "a"},
        {"--a4=442Hz", "a"},
        {"--a4", "nan", "a"},
        {"--a4"},
        {"a", "0.1", "file:FILE=o.raw", "--a4=442"},
        {"a", "--a4", "442"},
        {"--temperament", "werckmeister", "a"},
        {"--temperament"},
        {"--root=h", "a"},
        {"--temperament", "just", "--scale", ONDELIS_TEST_DATA "/just.scl", "a"},
        {"--scale", ONDELIS_TEST_DATA "/just.scl", "--temperament=just", "a"},
        {"--scale", "no-such-file.scl", "a"},
        {"--scale", ONDELIS_TEST_DATA, "a"},
        {"--rate=999", "a"},
        {"--rate=1e6", "a"},
        {"--rate=48000.0", "a"},
        {"--harmonics", "17", "a"},
        {"--harmonics=0", "a"},
        {"--harmonics=8.0", "a"},
        {"--harmonics", "+8", "a"},
        {"--harmonics"},
        {"a", "-o", "x.wav"}};
    for (std::vector<std::string> args : refused) {
        if (args.size() < 3) {
            args.insert(args.end(), {"0.1", "file:FILE=o.raw"});
        }
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.out, "") << args[0];
        EXPECT_NE(run.err, "") << args[0];
        EXPECT_FALSE(std::filesystem::exists("o.raw")) << args[0];
    }
    EXPECT_TRUE(Has(RunOndelis({"E"}).err, "Not a frequency, a note or a string preset: 'E'\n"));
    EXPECT_TRUE(Has(RunOndelis({"--a4=500"}).err, "from 400 to 480 Hz, not '500'\n"));
    EXPECT_EQ(RunOndelis({"a", "--a4", "442"}).err,
              "Options go before the frequency, note or string: '--a4'\n");
    EXPECT_TRUE(Has(RunOndelis({"--temperament=mean", "a"}).err,
                    "Unknown temperament: 'mean'; the temperaments are equal, pythagorean, just, "
                    "meantone, meantone3, meantone5, werckmeister3, "));
    EXPECT_EQ(RunOndelis({"--scale", "no-such-file.scl", "a"}).err,
              "no-such-file.scl: cannot read the scale file: No such file or directory\n");
    std::ofstream("five.scl") << "! five notes\nPentatonic\n5\n9/8\n5/4\n3/2\n5/3\n2/1\n";
    EXPECT_EQ(RunOndelis({"--scale", "five.scl", "a"}).err,
              "five.scl:3: a scale of 5 notes: only a scale of 12 has a note for each name\n");
    std::filesystem::remove("five.scl");
    const RunResult no_pitch = RunOndelis({"--a4"}, "", 10);
    EXPECT_EQ(no_pitch.status, 1);
    EXPECT_EQ(no_pitch.err, "--a4 needs the pitch of A, 400 to 480 Hz\n");
    EXPECT_EQ(RunOndelis({"--rate", "0", "a"}).err,
              "The sample rate (--rate) is a whole number from 1000 to 768000 Hz, not '0'\n");
    EXPECT_EQ(RunOndelis({"--harmonics=-1", "a"}).err,
              "The number of harmonics (--harmonics) is a whole number from 1 to 16, not '-1'\n");
    EXPECT_EQ(RunOndelis({"-o"}).err,
              "-o needs the name of the WAV file to write, or - for standard output\n");
    const RunResult menu = RunOndelis({"-o", "x.wav"}, "l 0.1 exp m.wav x", 10);
    EXPECT_EQ(menu.status, 1);
    EXPECT_EQ(menu.out, "");
    EXPECT_TRUE(Has(menu.err, "the menu exports with exp\n")) << menu.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A tone that its frequency makes silent is played as asked, with one line on standard error.
TEST(DirectMode, SilentTonesSayWhyOnStandardError) {
    ScratchDir dir;
    const std::string nothing = ": nothing can sound\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"--rate", "1000", "-o", "c.wav", "c", "1"},
         "523.25 Hz is at or above half the sample rate (500 Hz)" + nothing},
        {{"22050", "0.1", "null"},
         "22050.00 Hz is at or above half the sample rate (22050 Hz)" + nothing},
        {{"-30000", "0.1", "null"},
         "30000.00 Hz is at or above half the sample rate (22050 Hz)" + nothing},
        {{"inf", "0.1", "null"}, "inf Hz is at or above half the sample rate (22050 Hz)" + nothing},
        {{"nan", "0.1", "null"}, "0.00 Hz is no frequency" + nothing},
        {{"0x", "0.1", "null"}, "0.00 Hz is no frequency" + nothing},
        {{"0.5", "1", "null"},
         "One cycle of 0.50 Hz is longer than the whole tone (1.00 sec)" + nothing},
        {{"22049", "0.1", "null"}, ""},
        {{"0.5", "2.1", "null"}, ""},
    };
    for (const auto& [args, why] : rows) {
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << args[0];
        EXPECT_EQ(run.err, why) << args[0];
        EXPECT_TRUE(Has(run.out, "\tLevel:\t25.00 percent\n")) << args[0];
    }
    // The tone itself is as designed: silence.
    EXPECT_EQ(ReadBytes("c.wav").substr(44), std::string(3000, '\0'));
    // The menu's own output stays as it is; the line goes to standard error.
    const RunResult menu = RunOndelis({}, "s null l 0.1 z 30000 p exp hi.wav x");
    EXPECT_EQ(menu.err, "30000.00 Hz is at or above half the sample rate (22050 Hz)" + nothing +
                            "30000.00 Hz is at or above half the sample rate (22050 Hz)" + nothing);
    EXPECT_EQ(Count(menu.out, "Frequency = 30000.00 Hz\n"), 1u);
}

// "--" ends the options: a frequency that starts with a dash follows it.
TEST(DirectMode, DoubleDashEndsTheOptions) {
    ScratchDir dir;
    const RunResult run = RunOndelis({"--a4=442", "--", "-440", "0.2", "file:FILE=n.raw"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Summary("file:FILE=n.raw", "-440.00", "0.20", "25.00"));
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("n.raw"), PackedTone(440, 44100, 8820, 25)), -1);
    EXPECT_EQ(RunOndelis({"--"}, "x").out.rfind("\nOndelis\n\n", 0), 0u);
}

TEST(DirectMode, DeviceFailuresEndWithStatusOne) {
    const RunResult unknown = RunOndelis({"440", "1", "no_such_device"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("unable to open pcm device: No such file or directory\n"),
              std::string::npos);

    const std::string too_long(32, 'd');
    const RunResult refused = RunOndelis({"440", "1", too_long});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "Soundcard device name too long (at most 31 characters): " + too_long + "\n");
}

TEST(DirectMode, RateIsAskedOfTheDeviceInBothModes) {
    ScratchDir dir;
    EXPECT_EQ(RunOndelis({"--rate", "48000", "440", "0.2", "file:FILE=o.raw"}).status, 0);
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("o.raw"), PackedTone(440, 48000, 9600, 25)), -1);
    const RunResult menu = RunOndelis({"--rate=8000"}, "s file:FILE=m.raw l 0.2 p x");
    EXPECT_TRUE(Has(menu.out, "Enter 'r' to change the samplerate from 8000\n")) << menu.out;
    EXPECT_EQ(ReadBytes("m.raw").size(), 1600u * 6);
}

TEST(DirectMode, HelpAndVersionNeverTouchTheDevice) {
    for (const char* option : {"-h", "--help"}) {
        const RunResult help = RunOndelis({option}, "", 10, "ALSA_CONFIG_PATH=/nonexistent");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: ondelis", 0), 0u);
        EXPECT_NE(help.out.find("aplay -L"), std::string::npos);
        EXPECT_NE(help.out.find("G1"), std::string::npos);
        EXPECT_NE(help.out.find("--a4 HZ"), std::string::npos);
        EXPECT_NE(help.out.find("-o FILE"), std::string::npos);
        EXPECT_NE(help.out.find("--rate HZ"), std::string::npos);
    }
    EXPECT_EQ(RunOndelis({"--version"}).out, "Ondelis 1.02\n");
}

TEST(MenuMode, EndOfStandardInputEndsTheProgram) {
    const RunResult closed = RunOndelis({}, "", 10);
    EXPECT_EQ(closed.status, 0);
    const RunResult unknown = RunOndelis({}, "s no_such_device\np\n", 10);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("unable to open pcm device: "), std::string::npos);
}

} // namespace
