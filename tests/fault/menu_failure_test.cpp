// Failures the menu meets outside the sound device's own calls: a device that does not
// exist, and export files that cannot be written.
// Direct mode's export to a pipe whose reader is gone.
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

TEST(MenuFailures, UnknownDeviceEndsTheProgram) {
    const RunResult run = RunOndelis({}, "s no_such_device\np\nx\n", 20);
    EXPECT_EQ(run.status, 1);
    // ALSA may say more first; the program's own lines come last.
    const std::string reported = "unable to open pcm device: No such file or directory\n"
                                 "Cannot play to 'no_such_device': 'aplay -L' lists";
    EXPECT_TRUE(Has(run.err, reported)) << run.err;
    EXPECT_TRUE(EndsWith(run.err, "for trying without sound\n")) << run.err;
    // Nothing after the failed tone: no menu, and the "x" is never read.
    EXPECT_TRUE(EndsWith(run.out, "Frequency = 440.00 Hz\n")) << run.out;
}

TEST(MenuFailures, ExportThatCannotBeWrittenIsReportedAndTheMenuComesBack) {
    ScratchDir dir;
    // A full device fails when the data is flushed; a missing directory when it is opened.
    const RunResult run = RunOndelis({}, "l 0.1\nexp\n/dev/full\nexp\nno/such/dir/t.wav\nx\n", 20);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "/dev/full: No space left on device\n"
                       "no/such/dir/t.wav: No such file or directory\n");
    const std::string reported = "Enter the filename to write to\nUnable to write to file!\n"
                                 "Unable to write to file!\nEnter 'p' to play";
    EXPECT_EQ(Count(run.out, reported), 2u) << run.out;
    EXPECT_EQ(Count(run.out, "Unable to write to file!\n"), 4u) << run.out;
    EXPECT_TRUE(EndsWith(run.out, "Enter 'x' to exit\n")) << run.out;
    EXPECT_FALSE(std::filesystem::exists("no"));

    // A rate whose byte rate passes 32 bits is refused before a file is touched; the highest
    // one that fits is written.
    const RunResult rates =
        RunOndelis({}, "r 4000000000 l 0.0001 exp r.wav r 1431655765 l 0 exp top.wav x", 20);
    EXPECT_TRUE(Has(rates.out, "Sample rate too high for a WAV file: 4000000000 Hz passes its "
                               "byte rate field (at most 1431655765 Hz)\nEnter 'p'"))
        << rates.out;
    EXPECT_FALSE(std::filesystem::exists("r.wav"));
    EXPECT_EQ(ReadBytes("top.wav").substr(24, 8), std::string("\x55\x55\x55\x55\xFF\xFF\xFF\xFF"));
}

// A file size limit stops the data part-way: no file is left claiming bytes it does not hold.
TEST(ExportFailures, PartlyWrittenFileIsRemoved) {
    ScratchDir dir;
    const std::string command = "ulimit -f 100; timeout -s KILL 20 " + ShellQuote(ONDELIS_BINARY) +
                                " -o part.wav 440 10 2>err >/dev/null; echo $? >status";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadBytes("status"), "1\n");
    EXPECT_TRUE(EndsWith(ReadBytes("err"), "Unable to write to file!\npart.wav: File too large\n"))
        << ReadBytes("err");
    EXPECT_FALSE(std::filesystem::exists("part.wav"));
}

// The pipe's reader takes the header and goes away: the rest of the tone cannot be written.
TEST(ExportFailures, ClosedPipeIsAFailedWrite) {
    ScratchDir dir;
    const std::string command = "(timeout -s KILL 20 " + ShellQuote(ONDELIS_BINARY) +
                                " -o - 440 10 2>err; echo $? >status) | head -c 44 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadBytes("status"), "1\n");
    EXPECT_TRUE(EndsWith(ReadBytes("err"), " percent\nUnable to write to file!\n"));
}

} // namespace
