#include "app/app.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

TEST(ToneFrames, RateTimesLengthTruncated) {
    ToneSettings settings;
    int32_t frames = -1;
    ASSERT_TRUE(ToneFrames(settings, frames));
    EXPECT_EQ(frames, 352800);

    settings.length = 0.00001f;
    ASSERT_TRUE(ToneFrames(settings, frames));
    EXPECT_EQ(frames, 0);

    settings.length = 0.01f; // 440.99999 frames in single precision
    ASSERT_TRUE(ToneFrames(settings, frames));
    EXPECT_EQ(frames, 440);

    // The product is formed in double precision, never wrapped.
    settings.sample_rate = 4294967295u;
    settings.length = 0.5f;
    ASSERT_TRUE(ToneFrames(settings, frames));
    EXPECT_EQ(frames, 2147483647);
    settings.length = 1.0f;
    EXPECT_FALSE(ToneFrames(settings, frames));
}

TEST(ToneFrames, CountsBeyondSignedThirtyTwoBitsAreRefused) {
    ToneSettings settings;
    int32_t frames = 0;
    settings.length = 48695.0f; // 2147449500 frames: still fits
    EXPECT_TRUE(ToneFrames(settings, frames));
    EXPECT_EQ(frames, 2147449500);
    for (float length : {48696.0f, INFINITY, NAN, 1e30f}) {
        settings.length = length;
        EXPECT_FALSE(ToneFrames(settings, frames)) << length;
    }
}

TEST(RenderTone, MakesTheToneOfTheSettings) {
    ToneSettings settings;
    settings.frequency = 82.41f;
    settings.length = 0.5f;
    settings.level = 70;
    const RenderedTone tone = RenderTone(settings);
    ASSERT_EQ(tone.status, RenderStatus::Ok);
    ASSERT_EQ(tone.tone.frames, 22050);
    std::vector<int32_t> samples(22050);
    std::vector<int32_t> expected(22050);
    RenderSpan(tone.tone, 0, 22050, samples.data());
    MakeTone(expected.data(), 82.41f, 44100, 22050, 70);
    EXPECT_EQ(samples, expected);

    settings.length = INFINITY;
    EXPECT_EQ(RenderTone(settings).status, RenderStatus::Ok);
    EXPECT_EQ(RenderTone(settings).tone.frames, kEndless);
    settings.length = 1e30f;
    EXPECT_EQ(RenderTone(settings).status, RenderStatus::TooLong);
}

TEST(RefreshNoteFrequency, OnlyForTheNoteSource) {
    ToneSettings settings;
    std::strcpy(settings.note, "e");
    settings.octave = -3;
    RefreshNoteFrequency(settings);
    EXPECT_FLOAT_EQ(settings.frequency, 82.406891f);
    settings.pitch_source = FREQUENCY;
    settings.frequency = 123;
    RefreshNoteFrequency(settings);
    EXPECT_EQ(settings.frequency, 123.0f);
}

} // namespace
