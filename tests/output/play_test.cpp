#include "output/output.h"
#include "output/playback.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct Played {
    int status;
    uint32_t rate;
    std::string out;
    std::string err;
};

Played Play(const char* device, const std::vector<unsigned char>& mono) {
    char* out_text = nullptr;
    char* err_text = nullptr;
    size_t out_size = 0;
    size_t err_size = 0;
    FILE* out = open_memstream(&out_text, &out_size);
    FILE* err = open_memstream(&err_text, &err_size);
    uint32_t rate = 44100;
    const int status =
        PLAY(device, rate, 2, static_cast<int32_t>(mono.size() / 3), mono.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    Played played{status, rate, std::string(out_text, out_size), std::string(err_text, err_size)};
    std::free(out_text);
    std::free(err_text);
    return played;
}

TEST(Play, EveryFrameReachesTheDeviceInBothChannels) {
    ScratchDir dir;
    // 1 s, a part period, and less than one period: nothing may be dropped at the end.
    for (int32_t frames : {44100, 44100 + 517, 300, 1}) {
        const std::vector<unsigned char> tone = PackedTone(440, 44100, frames, 25);
        const Played played = Play("file:FILE=o.raw", tone);
        EXPECT_EQ(played.status, 0);
        EXPECT_EQ(played.out, "");
        EXPECT_EQ(played.rate, 44100u);
        EXPECT_EQ(FirstStereoMismatch(ReadBytes("o.raw"), tone), -1) << frames << " frames";
    }
}

TEST(Play, NoFramesOpensAndClosesTheDeviceSilently) {
    ScratchDir dir;
    const Played played = Play("file:FILE=o.raw", {});
    EXPECT_EQ(played.status, 0);
    EXPECT_EQ(played.out + played.err, "");
    EXPECT_EQ(ReadBytes("o.raw"), "");
}

TEST(Play, UnknownDeviceIsAFailureWithTheAlsaReasonAndAHint) {
    const Played played = Play("no_such_device", PackedTone(440, 44100, 100, 25));
    EXPECT_EQ(played.status, 1);
    EXPECT_EQ(played.err, "unable to open pcm device: No such file or directory\n"
                          "Cannot play to 'no_such_device': 'aplay -L' lists this machine's "
                          "sound devices, and 'null' plays into nothing, for trying without "
                          "sound\n");
}

TEST(Play, OnlyDevicesThatTakeBackWhatTheyGiveBackGetTheLongBuffer) {
    // How snd_pcm_dump describes each device.
    const std::pair<const char*, bool> cases[] = {
        {"ALSA <-> PulseAudio PCM I/O Plugin\nIts setup is:\n", false},
        {"ALSA <-> PipeWire PCM I/O Plugin\nIts setup is:\n", true},
        {"File PCM (file=o.raw)\nSlave: Null PCM\n", false},
        {"Null PCM\n", false},
        {"Hardware PCM card 0 'HDA Intel PCH' device 0 subdevice 0\n", true},
        {"Plug PCM: Hardware PCM card 0 'HDA Intel PCH' device 0 subdevice 0\n", true},
        {"Plug PCM: Linear conversion PCM (S32_LE)\nIts setup is:\n  rate : 44100\n"
         "Slave: Hardware PCM card 1 'USB' device 0 subdevice 0\n",
         true},
        {"Plug PCM: Rate conversion PCM (48000, sformat=S16_LE)\nIts setup is:\n"
         "Slave: Hardware PCM card 0 'HDA Intel PCH' device 0 subdevice 0\n",
         false},
        {"Plug PCM: Linear conversion PCM (S16_LE)\nSlave: Direct Stream Mixing PCM\n", false},
        {"Unknown IO Plugin\n", false},
        {"Plug PCM: Linear conversion PCM (S16_LE)\n", false},
        {"", false},
    };
    for (const auto& [described, rewinds] : cases) {
        EXPECT_EQ(RewindsInPlace(described), rewinds) << described;
    }
}

} // namespace
