#include "output/output.h"
#include "support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

size_t FilesIn(const std::filesystem::path& dir) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++count;
    }
    return count;
}

TEST(WholeFile, ReplacesTheOldFileWholeAndLeavesNothingBesideIt) {
    ScratchDir dir;
    std::string why;
    ASSERT_TRUE(WriteFileWhole("piano.txt", "A4 440 3e-4 12\n", why)) << why;
    ASSERT_TRUE(WriteFileWhole("piano.txt", "A0 27.5 2e-4 20\n", why)) << why;
    EXPECT_EQ(ReadBytes("piano.txt"), "A0 27.5 2e-4 20\n");
    EXPECT_EQ(FilesIn("."), 1u);
    // Readable as any file the user makes, not the owner's alone as a temporary file is.
    struct stat status {};
    ASSERT_EQ(stat("piano.txt", &status), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
    // A directory that is not there: nothing written, and why.
    EXPECT_FALSE(WriteFileWhole("no/such/dir/piano.txt", "x", why));
    EXPECT_EQ(why, "No such file or directory");
    // A path that is a directory: the new file is removed again.
    std::filesystem::create_directory("taken");
    EXPECT_FALSE(WriteFileWhole("taken", "x", why));
    EXPECT_EQ(FilesIn("."), 2u);
}

} // namespace
