#include "app/app.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Session {
    int status;
    std::string out;
};

// Drives the menu with `input` as everything the user types. Plays go to the null device
// and last 50 ms unless the test sets otherwise.
Session RunMenu(
    const std::string& input, ToneSettings settings = [] {
        ToneSettings s;
        std::strcpy(s.device, "null");
        s.length = 0.05f;
        return s;
    }()) {
    std::string bytes = input;
    FILE* in = fmemopen(bytes.data(), bytes.size(), "r");
    if (bytes.empty()) {
        in = std::fopen("/dev/null", "r"); // fmemopen refuses an empty buffer
    }
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    const int status = RunMenuLoop(settings, in, out);
    std::fclose(in);
    std::fclose(out);
    Session session{status, std::string(text, size)};
    std::free(text);
    return session;
}

constexpr const char* kFirstMenu =
    "\nOndelis\n\n"
    "Enter 'p' to play current note (440.00 Hz)\n"
    "Enter 'o' to change the octave offset from 0.00\n"
    "Enter 'l' to change playback length from 8.00 seconds\n"
    "Enter 'z' to set a specific frequency\n"
    "Enter 'cn' to change the cent value from 0.00\n\n"
    "Enter 's' to change soundcard device from 'default'\n"
    "Enter 'r' to change the samplerate from 44100\n"
    "Enter 'v' to change output volume from 25 percent (-12.04 dBFS)\n"
    "Enter 'exp' to export to file\n\n"
    "Enter 'h' for help and shortcuts\n"
    "Enter 'x' to exit\n";

TEST(Menu, FirstMenuWithDefaultsByteForByte) {
    const Session session = RunMenu("x\n", ToneSettings{});
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(session.out, kFirstMenu);
}

TEST(Menu, EndOfInputEndsTheMenuEvenInsideAPrompt) {
    for (const char* input : {"", "  \n", "z", "o", "l ", "s", "v", "r", "cn", "exp", "p"}) {
        const Session session = RunMenu(input);
        EXPECT_EQ(session.status, 0) << input;
        EXPECT_LE(Count(session.out, "Enter 'x' to exit"), 2u) << input;
    }
}

TEST(Menu, StringPresetsSetNoteAndOffset) {
    const Session session = RunMenu("G6 a x");
    EXPECT_EQ(session.status, 0);
    const size_t low_e = session.out.find("Frequency = 82.41 Hz\n");
    const size_t offset = session.out.find("octave offset from -3.00", low_e);
    const size_t a = session.out.find("Frequency = 55.00 Hz\n", offset);
    EXPECT_NE(low_e, std::string::npos);
    EXPECT_NE(offset, std::string::npos);
    EXPECT_NE(a, std::string::npos);

    const char* expected[] = {"329.63", "246.94", "196.00", "146.83", "110.00",
                              "82.41",  "98.00",  "73.42",  "55.00",  "41.20"};
    const char* presets[] = {"G1", "G2", "G3", "G4", "G5", "G6", "B1", "B2", "B3", "B4"};
    for (size_t i = 0; i < 10; ++i) {
        const Session one = RunMenu(std::string(presets[i]) + " x");
        EXPECT_TRUE(Has(one.out, std::string("Frequency = ") + expected[i] + " Hz\n"))
            << presets[i];
    }
    // The other instruments' presets too: viola4 is c two octaves down, and so is e after it.
    const Session viola = RunMenu("viola4 e x");
    const size_t c = viola.out.find("Frequency = 130.81 Hz\n");
    EXPECT_NE(viola.out.find("Frequency = 164.81 Hz\n", c), std::string::npos) << viola.out;
}

TEST(Menu, NotesWithTheirOctaveNumberSetNoteAndOffset) {
    const struct {
        const char* word;
        const char* hz;
        const char* offset;
    } rows[] = {
        {"e2", "82.41", "-3.00"},   {"E2", "82.41", "-3.00"}, {"C#4", "277.18", "-1.00"},
        {"Bb3", "233.08", "-1.00"}, {"a4", "440.00", "0.00"}, {"G8", "6271.93", "3.00"},
        {"G4", "146.83", "-2.00"},  {"B1", "98.00", "-3.00"}, {"b1", "61.74", "-3.00"},
    };
    for (const auto& row : rows) {
        const Session session = RunMenu(std::string("o 2 ") + row.word + " x");
        EXPECT_TRUE(Has(session.out, std::string("Frequency = ") + row.hz + " Hz\n"))
            << row.word << session.out;
        EXPECT_TRUE(Has(session.out.substr(session.out.find("Frequency = ")),
                        std::string("octave offset from ") + row.offset + "\n"))
            << row.word;
    }
}

TEST(Menu, ExplicitFrequencyIgnoresOffsetAndCents) {
    const Session session = RunMenu("o 2 cn 50 z 250 p x");
    EXPECT_TRUE(Has(session.out, "Enter frequency in Hz\n"
                                 "Enter 'p' to play the current frequency (250.00 Hz)\n"));
    EXPECT_EQ(Count(session.out, "Frequency = "), 1u);
    EXPECT_TRUE(Has(session.out, "Frequency = 250.00 Hz\n"));
    // A note brings the offset and cents back into play.
    EXPECT_TRUE(Has(RunMenu("z 250 o -1 cn 100 a x").out, "Frequency = 233.08 Hz\n"));
}

TEST(Menu, OctaveOffsetAcceptsOnlyWholeNumbersInRange) {
    EXPECT_TRUE(Has(RunMenu("o 5 x").out, "Enter -4 to 4, or 0 for no offset\n"
                                          "Enter 'p' to play current note (440.00 Hz)\n"
                                          "Enter 'o' to change the octave offset from 0.00\n"));
    EXPECT_TRUE(Has(RunMenu("o 0x3 x").out, "octave offset from 3.00"));
    EXPECT_TRUE(Has(RunMenu("o 04 x").out, "octave offset from 4.00")); // octal
    EXPECT_FALSE(Has(RunMenu("o 010 x").out, "offset from 8.00"));      // octal 8
    EXPECT_TRUE(Has(RunMenu("o -0 x").out, "octave offset from 0.00"));
    // Both ends of the range, as the prompt offers them.
    EXPECT_TRUE(Has(RunMenu("o -4 a x").out, "Frequency = 27.50 Hz\n"));
    EXPECT_TRUE(Has(RunMenu("o 4 a x").out, "Frequency = 7040.00 Hz\n"));
    // Beyond 32 and 64 bits: never wrapped into range.
    EXPECT_FALSE(Has(RunMenu("o 4294967297 x").out, "offset from 1.00"));
    EXPECT_FALSE(Has(RunMenu("o 99999999999999999999999 x").out, "offset from -1.00"));
    EXPECT_FALSE(Has(RunMenu("o -99999999999999999999999 x").out, "offset from -1.00"));

    // Text that is not a number stays in the input and becomes the next token: a note.
    const Session abc = RunMenu("o 2 o abc x");
    EXPECT_TRUE(Has(abc.out, "Frequency = 1760.00 Hz\n"));
    EXPECT_EQ(Count(abc.out, "Frequency = "), 1u);
}

TEST(Menu, SampleRateZeroMeansDefaultAndBadValuesChangeNothing) {
    const Session zero = RunMenu("r 48000 r 0 x");
    EXPECT_EQ(Count(zero.out, "samplerate from 48000\n"), 1u);
    EXPECT_EQ(Count(zero.out, "samplerate from 44100\n"), 2u);
    EXPECT_TRUE(Has(RunMenu("r 0x10 x").out, "samplerate from 16\n"));
    for (const char* bad : {"-1", "4294967296", "99999999999999999999999", "-0x10"}) {
        const Session session = RunMenu(std::string("r 22050 r ") + bad + " x");
        EXPECT_EQ(Count(session.out, "samplerate from 22050\n"), 2u) << bad;
    }
    EXPECT_TRUE(Has(RunMenu("r 4294967295 x").out, "samplerate from 4294967295\n"));
}

TEST(Menu, VolumeIsClampedAndShownInDecibels) {
    EXPECT_TRUE(Has(RunMenu("v 0 x").out, "volume from 0 percent (-inf dBFS)\n"));
    EXPECT_TRUE(Has(RunMenu("v 250 x").out, "volume from 100 percent (0.00 dBFS)\n"));
    EXPECT_TRUE(Has(RunMenu("v -5 x").out, "volume from 0 percent (-inf dBFS)\n"));
    EXPECT_TRUE(
        Has(RunMenu("v 50 v nan x").out, "volume from 50 percent (-6.02 dBFS)\nEnter 'exp'"));
    EXPECT_EQ(Count(RunMenu("v 50 v nan x").out, "volume from 50 percent"), 2u);
    EXPECT_TRUE(Has(RunMenu("v inf x").out, "volume from 100 percent"));
}

TEST(Menu, CentsAreClampedAndDetuneTheNote) {
    EXPECT_TRUE(Has(RunMenu("cn 150 x").out, "cent value from 100.00\n\n"));
    EXPECT_TRUE(Has(RunMenu("cn -300 x").out, "cent value from -100.00\n\n"));
    EXPECT_TRUE(Has(RunMenu("cn 100 x").out, "play current note (466.16 Hz)"));
    EXPECT_EQ(Count(RunMenu("cn 20 cn nan x").out, "cent value from 20.00"), 2u);
}

TEST(Menu, LengthIsNeverNegativeAndTooLongIsRefused) {
    EXPECT_TRUE(Has(RunMenu("l -3 x").out, "playback length from 0.00 seconds"));
    EXPECT_EQ(Count(RunMenu("l 2 l nan x").out, "length from 2.00 seconds"), 2u);
    const Session session = RunMenu("l 48770 p x");
    EXPECT_EQ(session.status, 0);
    EXPECT_TRUE(Has(session.out, "Frequency = 440.00 Hz\n"
                                 "Tone too long: 48770.00 seconds at 44100 Hz is more than "
                                 "2147483647 frames; a length of inf plays until stopped\n"));
}

TEST(Menu, HelpIsShownAboveTheNextMenuOnly) {
    const Session session = RunMenu("h l 1 x");
    EXPECT_EQ(Count(session.out, "Ondelis 1.02 by Tarvenne\n"), 1u);
    EXPECT_TRUE(Has(session.out, "-------------------------------------\n\n"
                                 "Enter 'p' to play current note (440.00 Hz)\n"));
    EXPECT_TRUE(Has(session.out, "\n-------------------------------------\n"
                                 "Ondelis 1.02 by Tarvenne\n"
                                 "\nThis program may be run with command line arguments as "
                                 "follows:\n"
                                 "ondelis <frequency in Hz> <time in seconds> <soundcard device> "
                                 "<level>\n"));
    // The designed lines stand as they were; the presets they leave out follow them.
    EXPECT_TRUE(Has(session.out, "Enter G1 G2 G3 G4 G5 or G6 for guitar string tuning\n"
                                 "Enter B1 B2 B3 or B4 for bass string tuning\n"
                                 "(G7 and B5 are the low B of a 7-string guitar and of a "
                                 "5-string bass; violin1-4,\n"
                                 "viola1-4, cello1-4, mandolin1-4, ukulele1-4 and banjo1-5 tune "
                                 "the other strings)\n"
                                 "-------------------------------------\n"));
}

TEST(Menu, SeveralTokensOnOneLineAreTakenInTurn) {
    const Session session = RunMenu("f# gb\nx\n");
    const size_t first = session.out.find("Frequency = 739.99 Hz\n");
    const size_t menu = session.out.find("Enter 'x' to exit\n", first);
    const size_t second = session.out.find("Frequency = 739.99 Hz\n", menu);
    EXPECT_NE(second, std::string::npos);
    EXPECT_EQ(Count(session.out, "Frequency = "), 2u);
}

TEST(Menu, UnknownAndOverLongTokensAreNotesThatSoundAsA) {
    const Session session =
        RunMenu("o -1 P X q expxxxx xyzzy G6x violin Violin1 violin5 H8 mandolin1x x");
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(Count(session.out, "Frequency = 220.00 Hz\n"), 11u);
    EXPECT_FALSE(Has(session.out, "Export will be"));

    const Session huge = RunMenu(std::string(200, 'x') + " x");
    EXPECT_EQ(Count(huge.out, "Frequency = 440.00 Hz\n"), 1u);

    // A zero byte inside a token never makes it a command or a known note.
    const Session binary = RunMenu(std::string("c\0 x\0yz \x01\xff x", 12));
    EXPECT_EQ(Count(binary.out, "Frequency = 440.00 Hz\n"), 3u);
}

TEST(Menu, DeviceNamesOverTheLimitAreRefused) {
    const std::string max(31, 'd');
    const Session kept = RunMenu("s " + max + "x x");
    EXPECT_TRUE(Has(kept.out, "Soundcard device name too long (at most 31 characters), keeping "
                              "'null'\n"));
    EXPECT_TRUE(Has(kept.out, "soundcard device from 'null'"));
    EXPECT_TRUE(Has(RunMenu("s " + max + " x").out, "soundcard device from '" + max + "'"));
}

TEST(Menu, UnknownDeviceEndsTheProgramWithStatusOne) {
    const Session session = RunMenu("s no_such_device p x");
    EXPECT_EQ(session.status, 1);
    EXPECT_TRUE(Has(session.out, "Frequency = 440.00 Hz\n"));
}

TEST(Menu, PlaysTheRenderedToneThroughTheDevice) {
    ScratchDir dir;
    const Session session = RunMenu("l 0.5 s file:FILE=m.raw G5 x");
    EXPECT_EQ(session.status, 0);
    EXPECT_TRUE(Has(session.out, "Frequency = 110.00 Hz\n"));
    EXPECT_EQ(FirstStereoMismatch(ReadBytes("m.raw"), PackedTone(110, 44100, 22050, 25)), -1);
}

TEST(Menu, ExportsFromTheMenuAndComesBack) {
    ScratchDir dir;
    const Session session = RunMenu("l 0.1 exp a.wav exp no/dir/b.wav x");
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(ReadBytes("a.wav").size(), 44u + 3u * 4410u);
    EXPECT_TRUE(Has(session.out, "Enter the filename to write to\nUnable to write to file!\n"
                                 "Unable to write to file!\nEnter 'p' to play"));
    EXPECT_EQ(Count(session.out, "Frequency = "), 0u);
}

} // namespace
