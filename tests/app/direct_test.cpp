#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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
    EXPECT_EQ(RunOndelis({"abc", "nan", "null", "NAN"}).out,
              Summary("null", "0.00", "0.00", "0.00"));
    EXPECT_EQ(RunOndelis({"nan", "0.1x", "null", "12abc"}).out,
              Summary("null", "0.00", "0.10", "12.00"));
    EXPECT_EQ(RunOndelis({"0x1b8", "-0", "null"}).out, Summary("null", "440.00", "-0.00", "25.00"));
}

TEST(DirectMode, ToneTooLongIsRefused) {
    for (const char* seconds : {"inf", "1e30", "48770"}) {
        const RunResult run = RunOndelis({"440", seconds, "null"});
        EXPECT_EQ(run.status, 1) << seconds;
        EXPECT_NE(run.err.find("Tone too long: "), std::string::npos) << run.err;
    }
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

TEST(DirectMode, HelpAndVersionNeverTouchTheDevice) {
    for (const char* option : {"-h", "--help"}) {
        const RunResult help = RunOndelis({option}, "", 10, "ALSA_CONFIG_PATH=/nonexistent");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: ondelis", 0), 0u);
        EXPECT_NE(help.out.find("aplay -L"), std::string::npos);
        EXPECT_NE(help.out.find("G1"), std::string::npos);
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
