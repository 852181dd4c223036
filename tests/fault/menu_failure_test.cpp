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
    EXPECT_EQ(run.err, "");
    const std::string reported = "Enter the filename to write to\nUnable to write to file!\n"
                                 "Unable to write to file!\nEnter 'p' to play";
    EXPECT_EQ(Count(run.out, reported), 2u) << run.out;
    EXPECT_EQ(Count(run.out, "Unable to write to file!\n"), 4u) << run.out;
    EXPECT_TRUE(EndsWith(run.out, "Enter 'x' to exit\n")) << run.out;
    EXPECT_FALSE(std::filesystem::exists("no"));
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
