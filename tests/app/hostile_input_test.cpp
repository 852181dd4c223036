// The real program against input a careless or hostile user could give it: every run must
// end by itself with status 0 or 1, say what it refused, and still do what was asked of it
// around the garbage. Plays go to the null device and last 10 ms.
#include "support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kTimeout = 20;

// What every menu session starts with: plays that cost nothing and touch no sound card.
const std::string kQuiet = "s null l 0.01 ";

// A tone of 10 ms at 44100 Hz: 440 frames of 3 bytes (0.01f is a little under 0.01) after the
// 44-byte header.
constexpr size_t kShortWavSize = 44 + 3 * 440;

// Anything but 0 or 1 is a crash, an abort or the kill of the timeout.
::testing::AssertionResult EndedCleanly(const RunResult& run) {
    if (run.status == 0 || run.status == 1) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "status " << run.status
           << "\nstdout tail: " << run.out.substr(run.out.size() > 400 ? run.out.size() - 400 : 0)
           << "\nstderr: " << run.err;
}

RunResult Menu(const std::string& input) {
    return RunOndelis({}, input, kTimeout);
}

RunResult Direct(const std::vector<std::string>& args) {
    return RunOndelis(args, "", kTimeout);
}

// Bytes no command, note or number is made of: control characters, zero bytes and the upper
// half, from a fixed generator so that a failure can be replayed.
std::string BinaryGarbage(size_t size) {
    std::string bytes;
    uint32_t state = 12345;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        const auto c = static_cast<unsigned char>(state >> 16);
        if (c < 0x20 || c >= 0x7f) {
            bytes += static_cast<char>(c);
        }
    }
    return bytes;
}

// The line starting with `start` in the last menu shown.
std::string LastMenuLine(const std::string& text, const std::string& start) {
    const size_t at = text.rfind("\n" + start);
    if (at == std::string::npos) {
        return "";
    }
    return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

bool IsShortWav(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    return bytes.size() == kShortWavSize && bytes.compare(0, 4, "RIFF") == 0;
}

TEST(HostileMenu, NanIsNoValueAnywhere) {
    const RunResult run =
        Menu(kQuiet + "z 300 z nan p l nan v nan cn nan z NAN p z -nan p " + "v 50 v nan x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Count(run.out, "Frequency = 300.00 Hz\n"), 3u);
    EXPECT_FALSE(Has(run.out, "nan"));
    EXPECT_EQ(LastMenuLine(run.out, "Enter 'l'"),
              "Enter 'l' to change playback length from 0.01 seconds");
    EXPECT_EQ(LastMenuLine(run.out, "Enter 'cn'"), "Enter 'cn' to change the cent value from 0.00");
    EXPECT_EQ(Count(run.out, "volume from 50 percent (-6.02 dBFS)"), 2u);

    // Whole-number prompts do not read "nan" at all: it stays in the input as a note.
    const RunResult whole = Menu(kQuiet + "o nan r nan x");
    ASSERT_TRUE(EndedCleanly(whole));
    EXPECT_EQ(Count(whole.out, "Frequency = 440.00 Hz\n"), 2u);
    EXPECT_EQ(LastMenuLine(whole.out, "Enter 'o'"),
              "Enter 'o' to change the octave offset from 0.00");
    EXPECT_EQ(LastMenuLine(whole.out, "Enter 'r'"),
              "Enter 'r' to change the samplerate from 44100");
}

TEST(HostileMenu, InfinityIsLimitedOrRefused) {
    const RunResult run =
        Menu(kQuiet + "z inf p z -inf p v inf cn -inf l inf exp inf.wav l 0.01 exp ok.wav x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Has(run.out, "Frequency = inf Hz\n"));
    EXPECT_TRUE(Has(run.out, "Frequency = -inf Hz\n"));
    EXPECT_TRUE(Has(run.out, "volume from 100 percent (0.00 dBFS)"));
    EXPECT_TRUE(Has(run.out, "cent value from -100.00"));
    EXPECT_TRUE(Has(run.out, "playback length from inf seconds"));
}

TEST(HostileMenu, InfiniteLengthWritesNoFileButTheNextExportDoes) {
    ScratchDir dir;
    const RunResult run = Menu(kQuiet + "l inf exp inf.wav l 0.01 exp ok.wav x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_TRUE(Has(run.out, "Enter the filename to write to\nAn endless tone cannot be exported: "
                             "a length of inf plays until stopped; give the tone a length with "
                             "'l' first\nEnter 'p'"));
    EXPECT_FALSE(std::filesystem::exists("inf.wav"));
    EXPECT_TRUE(IsShortWav("ok.wav"));
}

TEST(HostileMenu, NegativeZeroIsZero) {
    ScratchDir dir;
    const RunResult run = Menu(kQuiet + "z -0 p o -0 r -0 cn -0 v -0 l -0 p exp zero.wav x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Count(run.out, "Frequency = -0.00 Hz\n"), 2u);
    EXPECT_TRUE(Has(run.out, "octave offset from 0.00\n"));
    EXPECT_TRUE(Has(run.out, "samplerate from 44100\n"));
    EXPECT_TRUE(Has(run.out, "(-inf dBFS)"));
    // No samples, but still a well-formed file.
    const std::string wav = ReadBytes("zero.wav");
    EXPECT_EQ(wav.size(), 44u);
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
}

TEST(HostileMenu, HexadecimalAndOctalNumbers) {
    const RunResult run =
        Menu(kQuiet + "r 0x2b11 o 0x2 z 0x1b8 p r 010 o 010 l 0x1p-7 r 0XFFFFFFFFF x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Has(run.out, "samplerate from 11025\n"));
    EXPECT_TRUE(Has(run.out, "octave offset from 2.00\n"));
    EXPECT_TRUE(Has(run.out, "Frequency = 440.00 Hz\n"));
    EXPECT_TRUE(Has(run.out, "samplerate from 8\n")); // octal 010
    EXPECT_FALSE(Has(run.out, "offset from 8.00"));   // out of range, refused
    // 0xFFFFFFFFF does not fit 32 bits: refused, the rate stays the octal 8 set before it.
    EXPECT_EQ(run.out.substr(run.out.rfind("samplerate from "), 18), "samplerate from 8\n");
    EXPECT_TRUE(Has(run.out, "playback length from 0.01 seconds"));
}

TEST(HostileMenu, NumbersBeyondSixtyFourBits) {
    const RunResult run = Menu(kQuiet + "r 22050 r 99999999999999999999999 r " +
                               "-99999999999999999999999 o 18446744073709551617 " +
                               "cn 340282366920938463463374607431768211457 z 1e39 p " +
                               "l 99999999999999999999999 p x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(LastMenuLine(run.out, "Enter 'r'"), "Enter 'r' to change the samplerate from 22050");
    EXPECT_EQ(LastMenuLine(run.out, "Enter 'o'"),
              "Enter 'o' to change the octave offset from 0.00");
    EXPECT_TRUE(Has(run.out, "cent value from 100.00"));
    EXPECT_TRUE(Has(run.out, "Frequency = inf Hz\n"));
    EXPECT_TRUE(Has(run.out, "Tone too long: 99999997781963083612160.00 seconds at 22050 Hz"));
}

TEST(HostileMenu, TwoHundredCharacterTokens) {
    ScratchDir dir;
    const std::string note(200, 'a');
    const std::string device(200, 'd');
    const std::string file(200, 'f');
    const std::string digits = std::string(197, '0') + "300";
    const RunResult run = Menu(kQuiet + note + " s " + device + " exp " + file + " z " + digits +
                               " p r " + std::string(200, '9') + " exp after.wav x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Has(run.out, "Frequency = 440.00 Hz\n"));
    EXPECT_TRUE(Has(run.out, "Soundcard device name too long (at most 31 characters), keeping "
                             "'null'\n"));
    EXPECT_TRUE(Has(run.out, "File name too long (at most 127 characters), keeping 'tone.wav'\n"));
    EXPECT_TRUE(Has(run.out, "Frequency = 300.00 Hz\n"));
    EXPECT_TRUE(Has(run.out, "samplerate from 44100\n"));
    EXPECT_FALSE(Has(run.out, "Unable to write"));
    EXPECT_TRUE(IsShortWav("after.wav"));
    EXPECT_FALSE(std::filesystem::exists(file.substr(0, 127)));
}

TEST(HostileMenu, AMegabyteWordIsOneNote) {
    ScratchDir dir;
    const RunResult run = Menu(kQuiet + std::string(1 << 20, 'z') + " exp after.wav x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Count(run.out, "Frequency = 440.00 Hz\n"), 1u);
    EXPECT_TRUE(IsShortWav("after.wav"));
}

TEST(HostileMenu, BinaryBytesAreNotesAndWhatFollowsStillRuns) {
    ScratchDir dir;
    const RunResult run = Menu(kQuiet + BinaryGarbage(400) + "\nexp after.wav x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_GT(Count(run.out, "Frequency = 440.00 Hz\n"), 0u);
    EXPECT_TRUE(IsShortWav("after.wav"));
}

TEST(HostileMenu, ZeroBytesInNamesAreRefused) {
    ScratchDir dir;
    const RunResult run = Menu(kQuiet + std::string("exp a\0b.wav s nu\0ll p exp ok.wav x", 34));
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Has(run.out, "File name contains a zero byte, keeping 'tone.wav'\n"));
    EXPECT_TRUE(Has(run.out, "Soundcard device name contains a zero byte, keeping 'null'\n"));
    EXPECT_TRUE(Has(run.out, "Frequency = 440.00 Hz\n"));
    EXPECT_FALSE(std::filesystem::exists("a"));
    EXPECT_TRUE(IsShortWav("ok.wav"));
}

TEST(HostileMenu, ValueMissingAtTheEndOfTheInput) {
    ScratchDir dir;
    for (const char* command : {"z", "o", "l", "s", "v", "r", "cn", "exp"}) {
        const RunResult run = Menu(kQuiet + "z 300 p " + command);
        ASSERT_TRUE(EndedCleanly(run)) << command;
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(Count(run.out, "Frequency = 300.00 Hz\n"), 1u) << command;
        // One menu for each of the five words, one more after the empty prompt, then the end.
        EXPECT_EQ(Count(run.out, "Enter 'x' to exit"), 6u) << command;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(HostileMenu, GarbageValuesDoNotSwallowTheNextCommand) {
    ScratchDir dir;
    const std::vector<std::string> garbage = {"z abc",  "z -",  "z nax",
                                              "z 0x",   "l 1e", "l .",
                                              "o 0x",   "o +",  "o 99999999999999999999",
                                              "r 0xg",  "r -",  "v infinit",
                                              "cn nan("};
    for (size_t i = 0; i < garbage.size(); ++i) {
        const std::string file = "keep" + std::to_string(i) + ".wav";
        const RunResult run = Menu(kQuiet + garbage[i] + " l 0.01 r 44100 exp " + file + " x");
        ASSERT_TRUE(EndedCleanly(run)) << garbage[i];
        EXPECT_EQ(run.status, 0) << garbage[i];
        EXPECT_FALSE(Has(run.out, "Unable to write")) << garbage[i];
        EXPECT_TRUE(IsShortWav(file)) << garbage[i];
    }
}

TEST(HostileMenu, DeviceNameOfThirtyOneCharactersIsUsedWhole) {
    ScratchDir dir;
    const std::string device = "file:FILE=" + std::string(17, 'r') + ".raw";
    ASSERT_EQ(device.size(), 31u);
    const RunResult run = Menu("l 0.01 s " + device + " p x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "soundcard device from '" + device + "'"));
    EXPECT_EQ(FirstStereoMismatch(ReadBytes(device.substr(10)), PackedTone(440, 44100, 440, 25)),
              -1);
}

TEST(HostileMenu, DeviceNameOfThirtyTwoCharactersIsRefused) {
    ScratchDir dir;
    const std::string device = "file:FILE=" + std::string(18, 'r') + ".raw";
    ASSERT_EQ(device.size(), 32u);
    const RunResult run = Menu(kQuiet + "s " + device + " p x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Has(run.out, "Soundcard device name too long (at most 31 characters), keeping "
                             "'null'\n"));
    EXPECT_TRUE(Has(run.out, "Frequency = 440.00 Hz\n"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(HostileMenu, UnknownDeviceOfThirtyOneCharactersEndsWithStatusOne) {
    const RunResult run = Menu(kQuiet + "s " + std::string(31, 'n') + " p x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "unable to open pcm device: "));
}

TEST(HostileMenu, FileNameOfOneHundredTwentySevenCharactersIsWritten) {
    ScratchDir dir;
    const std::string file = std::string(123, 'f') + ".wav";
    ASSERT_EQ(file.size(), 127u);
    const RunResult run = Menu(kQuiet + "exp " + file + " x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(Has(run.out, "Unable to write"));
    EXPECT_TRUE(IsShortWav(file));
}

TEST(HostileMenu, FileNameOfOneHundredTwentyEightCharactersIsRefused) {
    ScratchDir dir;
    const std::string file = std::string(124, 'f') + ".wav";
    ASSERT_EQ(file.size(), 128u);
    const RunResult run = Menu(kQuiet + "exp " + file + " exp after.wav x");
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(Has(run.out, "File name too long (at most 127 characters), keeping 'tone.wav'\n"));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(file.substr(0, 127)));
    EXPECT_TRUE(IsShortWav("after.wav"));
}

TEST(HostileDirect, NanCountsAsZero) {
    const RunResult run = Direct({"nan", "nan", "null", "nan"});
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Summary("null", "0.00", "0.00", "0.00"));
}

TEST(HostileDirect, InfinityIsLimitedOrRefused) {
    const RunResult loud = Direct({"inf", "0.01", "null", "inf"});
    ASSERT_TRUE(EndedCleanly(loud));
    EXPECT_EQ(loud.status, 0);
    EXPECT_EQ(loud.out, Summary("null", "inf", "0.01", "100.00"));

    const RunResult quiet = Direct({"-inf", "0.01", "null", "-inf"});
    ASSERT_TRUE(EndedCleanly(quiet));
    EXPECT_EQ(quiet.out, Summary("null", "-inf", "0.01", "0.00"));
}

TEST(HostileDirect, NegativeZero) {
    const RunResult run = Direct({"-0", "-0", "null", "-0"});
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Summary("null", "-0.00", "-0.00", "-0.00"));
}

TEST(HostileDirect, HexadecimalAndOctalNumbers) {
    // strtod reads hexadecimal, and a leading zero as decimal.
    const RunResult hex = Direct({"0x1b8", "0x1p-7", "null", "0x32"});
    ASSERT_TRUE(EndedCleanly(hex));
    EXPECT_EQ(hex.status, 0);
    EXPECT_EQ(hex.out, Summary("null", "440.00", "0.01", "50.00"));

    const RunResult octal = Direct({"010", "0.01", "null", "010"});
    ASSERT_TRUE(EndedCleanly(octal));
    EXPECT_EQ(octal.out, Summary("null", "10.00", "0.01", "10.00"));
}

TEST(HostileDirect, NumbersBeyondSixtyFourBits) {
    const RunResult run =
        Direct({"99999999999999999999999", "1e-400", "null", "18446744073709551617"});
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    // The nearest float to 1e23.
    EXPECT_EQ(run.out, Summary("null", "99999997781963083612160.00", "0.00", "100.00"));

    const RunResult endless = Direct({"440", "99999999999999999999999", "null"});
    ASSERT_TRUE(EndedCleanly(endless));
    EXPECT_EQ(endless.status, 1);
    EXPECT_TRUE(Has(endless.err, "Tone too long: "));
}

TEST(HostileDirect, TwoHundredCharacterArguments) {
    const std::string digits = std::string(197, '0') + "300";
    const RunResult run = Direct({digits, "0." + std::string(197, '0') + "1", "null", digits});
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Summary("null", "300.00", "0.00", "100.00"));

    const RunResult loud = Direct({std::string(200, '4'), "0.01", "null"});
    ASSERT_TRUE(EndedCleanly(loud));
    EXPECT_EQ(loud.out, Summary("null", "inf", "0.01", "25.00"));

    const std::string device(200, 'd');
    const RunResult refused = Direct({"440", "0.01", device});
    ASSERT_TRUE(EndedCleanly(refused));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "Soundcard device name too long (at most 31 characters): " + device + "\n");
}

TEST(HostileDirect, BinaryBytes) {
    std::string garbage;
    for (char c : BinaryGarbage(64)) {
        garbage += c == '\0' ? '\x01' : c; // a command line cannot hold a zero byte
    }
    const RunResult pitch = Direct({garbage, "0.01", "null"});
    ASSERT_TRUE(EndedCleanly(pitch));
    EXPECT_EQ(pitch.status, 1);
    EXPECT_EQ(pitch.out, "");
    EXPECT_TRUE(Has(pitch.err, "Not a frequency, a note or a string preset: '"));

    const RunResult run = Direct({"0", garbage, "null", garbage});
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Summary("null", "0.00", "0.00", "0.00"));

    const RunResult device = Direct({"440", "0.01", garbage.substr(0, 31)});
    ASSERT_TRUE(EndedCleanly(device));
    EXPECT_EQ(device.status, 1);
    EXPECT_TRUE(Has(device.err, "unable to open pcm device: "));
}

TEST(HostileDirect, EmptyAndMissingArguments) {
    const RunResult refused = Direct({"", "1", "null"});
    ASSERT_TRUE(EndedCleanly(refused));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(Has(refused.err, "Not a frequency, a note or a string preset: ''\n"));

    const RunResult empty = Direct({"0", "", "null", ""});
    ASSERT_TRUE(EndedCleanly(empty));
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, Summary("null", "0.00", "0.00", "0.00"));

    const RunResult no_device = Direct({"440", "0.01", ""});
    ASSERT_TRUE(EndedCleanly(no_device));
    EXPECT_EQ(no_device.status, 1);
    EXPECT_TRUE(Has(no_device.err, "unable to open pcm device: "));
}

TEST(HostileDirect, DeviceNameOfThirtyOneCharactersIsUsedWhole) {
    ScratchDir dir;
    const std::string device = "file:FILE=" + std::string(17, 'r') + ".raw";
    const RunResult run = Direct({"440", "0.01", device});
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Summary(device, "440.00", "0.01", "25.00"));
    EXPECT_EQ(FirstStereoMismatch(ReadBytes(device.substr(10)), PackedTone(440, 44100, 440, 25)),
              -1);
}

TEST(HostileDirect, DeviceNameOfThirtyTwoCharactersIsRefused) {
    ScratchDir dir;
    const std::string device = "file:FILE=" + std::string(18, 'r') + ".raw";
    const RunResult run = Direct({"440", "0.01", device});
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Soundcard device name too long (at most 31 characters): " + device + "\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A recording larger than 2 GiB, the most a 32-bit file offset holds: a 32-bit build (armhf)
// without large-file support could not ask what such a path is, took it for a device, and
// refused it as no such file. The file is sparse: a header, then silence that takes no room.
TEST(HostileFiles, ARecordingOfThreeGibibytesIsReadAsAFile) {
    ScratchDir dir;
    constexpr uint64_t kSize = 3ull << 30;
    std::string header = "RIFF....WAVEfmt ";
    auto put = [&header](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            header += static_cast<char>(value >> (8 * i) & 0xff);
        }
    };
    put(16, 4);    // the format chunk's size
    put(1, 2);     // PCM
    put(1, 2);     // mono
    put(44100, 4); // frames a second
    put(88200, 4); // bytes a second
    put(2, 2);     // bytes a frame
    put(16, 2);    // bits a sample
    header += "data";
    put(static_cast<uint32_t>(kSize - 44), 4);
    const uint32_t riff = static_cast<uint32_t>(kSize - 8);
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<char>(riff >> (8 * i) & 0xff);
    }
    std::ofstream("big.wav", std::ios::binary) << header;
    std::filesystem::resize_file("big.wav", kSize);
    const RunResult run = RunOndelis({"--listen", "big.wav", "0.1"}, "", kTimeout);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "big.wav: no pitch heard: it is silent\n");
}

} // namespace
