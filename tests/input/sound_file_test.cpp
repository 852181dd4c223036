#include "input/input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// A stream with no sound in it is refused, and the caller's descriptor is still its own: the
// decoder closed it once, and the next file opened took its number.
TEST(SoundFile, AStreamRefusedLeavesTheCallersDescriptorOpen) {
    const std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen("/dev/null", "rb"), std::fclose);
    ASSERT_NE(in, nullptr);
    SoundFile file;
    std::string why;
    EXPECT_FALSE(OpenSoundFile("-", in.get(), file, why));
    EXPECT_FALSE(why.empty());
    struct stat after {};
    ASSERT_EQ(fstat(fileno(in.get()), &after), 0) << "the descriptor was closed";
    EXPECT_TRUE(S_ISCHR(after.st_mode));
}

} // namespace
