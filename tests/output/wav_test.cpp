#include "app/app.h"
#include "output/output.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const unsigned char kDefaultHeader[] = {
    0x52, 0x49, 0x46, 0x46, 0x84, 0x26, 0x10, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
    0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x44, 0xAC, 0x00, 0x00, 0xCC, 0x04,
    0x02, 0x00, 0x03, 0x00, 0x18, 0x00, 0x64, 0x61, 0x74, 0x61, 0x60, 0x26, 0x10, 0x00};

std::string HeaderOf(const std::string& file) {
    return file.substr(0, kWavHeaderSize);
}
std::string AsText(const unsigned char* bytes, size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

// Runs the "exp" command with `input` as what the user types after it.
std::string Export(ToneSettings& settings, const std::string& input) {
    FILE* in = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ExportTone(settings, in, out);
    std::fclose(in);
    std::fclose(out);
    std::string printed(text, size);
    std::free(text);
    return printed;
}

constexpr const char* kExportPrompt =
    "Export will be to a 24-bit wave file\nEnter the filename to write to\n";

TEST(WavHeader, DefaultToneHeaderByteForByte) {
    const WavHeader header = WavHeaderBytes(44100, 24, 44100 * 8);
    EXPECT_EQ(AsText(header.data(), header.size()), AsText(kDefaultHeader, sizeof kDefaultHeader));
}

TEST(WavHeader, LittleEndianFields) {
    unsigned char four[4];
    Decon4(0x01020304u, four);
    EXPECT_EQ(AsText(four, 4), "\x04\x03\x02\x01");
    Decon4(0xFFFFFFFFu, four); // the largest RIFF size a WAV file can carry
    EXPECT_EQ(AsText(four, 4), "\xFF\xFF\xFF\xFF");
    unsigned char two[2];
    Decon2(0xABCD, two);
    EXPECT_EQ(AsText(two, 2), "\xCD\xAB");
}

TEST(Export, DefaultToneFileIsHeaderThenTheRenderedSamples) {
    ScratchDir dir;
    ToneSettings settings;
    EXPECT_EQ(Export(settings, "tone.wav"), kExportPrompt);
    const std::string file = ReadBytes("tone.wav");
    ASSERT_EQ(file.size(), 44u + 3u * 44100u * 8u);
    EXPECT_EQ(HeaderOf(file), AsText(kDefaultHeader, sizeof kDefaultHeader));
    const std::vector<unsigned char> samples = PackedTone(440, 44100, 44100 * 8, 25);
    EXPECT_EQ(file.substr(44), AsText(samples.data(), samples.size()));
    EXPECT_EQ(settings.frequency, 440.0f);
}

TEST(Export, EmptyAndOneFrameTonesHaveExactSizesAndNoPadByte) {
    ScratchDir dir;
    ToneSettings settings;
    settings.length = 0;
    Export(settings, "empty.wav");
    const std::string empty = ReadBytes("empty.wav");
    ASSERT_EQ(empty.size(), 44u);
    EXPECT_EQ(empty.substr(4, 4), std::string("\x24\0\0\0", 4)); // RIFF size 36
    EXPECT_EQ(empty.substr(40, 4), std::string("\0\0\0\0", 4));  // data size 0

    settings.sample_rate = 1;
    settings.length = 1.5f;
    Export(settings, "one.wav");
    const std::string one = ReadBytes("one.wav");
    ASSERT_EQ(one.size(), 47u);
    EXPECT_EQ(one.substr(4, 4), std::string("\x27\0\0\0", 4)); // 39
    EXPECT_EQ(one.substr(40, 4), std::string("\x03\0\0\0", 4));
}

TEST(Export, ReplacesAnExistingFileAndRepeatsIdentically) {
    ScratchDir dir;
    ToneSettings settings;
    settings.length = 0.5f;
    std::ofstream("same.wav") << std::string(1000000, 'x');
    Export(settings, "same.wav");
    const std::string first = ReadBytes("same.wav");
    Export(settings, "same.wav");
    EXPECT_EQ(first.size(), 44u + 3u * 22050u);
    EXPECT_EQ(ReadBytes("same.wav"), first);
}

TEST(Export, FrequencySourceIgnoresOffsetAndCents) {
    ScratchDir dir;
    ToneSettings settings;
    settings.length = 0.25f;
    settings.pitch_source = FREQUENCY;
    settings.frequency = 250;
    settings.octave = 2;
    settings.cents = 50;
    Export(settings, "z.wav");
    const std::vector<unsigned char> samples = PackedTone(250, 44100, 11025, 25);
    EXPECT_EQ(ReadBytes("z.wav").substr(44), AsText(samples.data(), samples.size()));
}

TEST(Export, FailuresAreReportedAndNeverPassAsSuccess) {
    ScratchDir dir;
    ToneSettings settings;
    settings.length = 0.5f;
    const std::string twice = std::string(kExportPrompt) + "Unable to write to file!\n"
                                                           "Unable to write to file!\n";
    EXPECT_EQ(Export(settings, "no/such/dir/t.wav"), twice);
    EXPECT_FALSE(fs::exists("no"));
    // Opening /dev/full succeeds; only the writes fail.
    EXPECT_EQ(Export(settings, "/dev/full"), twice);

    testing::internal::CaptureStdout();
    EXPECT_EQ(MAKE_HEADER("/dev/full", 44100, 24, 10), 0);
    EXPECT_EQ(WriteFile("/dev/full", std::vector<unsigned char>(30).data(), 10, 24), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unable to write to file!\nUnable to write to file!\n");
}

TEST(Export, RefusedNamesAndSizesLeaveFilesAlone) {
    ScratchDir dir;
    ToneSettings settings;
    const std::string long_name(128, 'n');
    EXPECT_EQ(Export(settings, long_name),
              std::string(kExportPrompt) +
                  "File name too long (at most 127 characters), keeping 'tone.wav'\n");
    EXPECT_STREQ(settings.export_file, "tone.wav");
    EXPECT_TRUE(fs::is_empty(dir.path()));

    settings.length = 40000; // 1.76e9 frames: more than the WAV size fields can hold
    const std::string refused = Export(settings, "big.wav");
    EXPECT_NE(refused.find("Tone too long for a WAV file"), std::string::npos) << refused;
    EXPECT_FALSE(fs::exists("big.wav"));

    settings.length = 1e9f;
    const std::string too_long = Export(settings, "huge.wav");
    EXPECT_NE(too_long.find("Tone too long: "), std::string::npos) << too_long;
    EXPECT_FALSE(fs::exists("huge.wav"));

    EXPECT_EQ(Export(settings, ""), kExportPrompt); // end of input: nothing happens
}

TEST(Export, AnIndependentReaderAcceptsTheFile) {
    ScratchDir dir;
    ToneSettings settings;
    settings.length = 1;
    settings.sample_rate = 48000;
    Export(settings, "check.wav");
    const int status = std::system(
        "python3 -c \"import wave,sys; w=wave.open('check.wav'); "
        "sys.exit(0 if (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes(), "
        "len(w.readframes(48000))) == (1, 3, 48000, 48000, 144000) else 1)\"");
    EXPECT_EQ(status, 0);
}

} // namespace
