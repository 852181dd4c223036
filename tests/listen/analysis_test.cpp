#include "listen/analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

TEST(FitFundamental, HarmonicAndStiffPartials) {
    const struct {
        const char* what;
        double f0;
        double b;
        std::vector<int> numbers;
    } table[] = {
        {"the fundamental alone", 30.868, 0, {1}},
        {"harmonics", 110, 0, {1, 2, 3, 4, 5}},
        {"no fundamental", 110, 0, {2, 3, 4, 5, 6}},
        {"a stiff string", 27.5, 0.0002, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"a stiff string without its fundamental", 261.626, 0.0004, {2, 3, 5, 8}},
        {"a piano's top string, two partials below the highest", 3951.066, 0.01, {1, 2}},
    };
    for (const auto& row : table) {
        std::vector<Partial> partials;
        for (int k : row.numbers) {
            const double hz = k * row.f0 * std::sqrt(1 + row.b * k * k);
            partials.push_back({k, hz, 1.0 / k});
        }
        EXPECT_NEAR(FitFundamental(partials), row.f0, 1e-9 * row.f0) << row.what;
    }
    EXPECT_EQ(FitFundamental({}), 0);
}

TEST(FitFundamental, PartialsScatteredAroundHarmonicCountAsHarmonic) {
    // Measured a little apart, as a vibrato or noise leaves them: a line through them would
    // slope upward, but it explains little of their spread.
    const std::vector<Partial> partials{
        {1, 100.0, 1}, {2, 200.3, 1}, {3, 299.7, 1}, {4, 400.4, 1}, {5, 500.3, 1}};
    double mean_square = 0;
    for (const Partial& p : partials) {
        mean_square += (p.hz / p.number) * (p.hz / p.number) / 5;
    }
    EXPECT_NEAR(FitFundamental(partials), std::sqrt(mean_square), 1e-9);
}

TEST(FitFundamental, PartialsFlatterThanHarmonicCountAsHarmonic) {
    // Partials drawn together instead of stretched: no string does that; the mean of f_k / k.
    const std::vector<Partial> partials{{1, 100, 1}, {2, 199.8, 1}, {3, 299.4, 1}};
    const double expected = std::sqrt((100.0 * 100 + 99.9 * 99.9 + 99.8 * 99.8) / 3);
    EXPECT_NEAR(FitFundamental(partials), expected, 1e-9);
}

TEST(CommonNumber, TheNumberingThePartialsShow) {
    const struct {
        const char* what;
        std::vector<Partial> partials;
        int common;
    } table[] = {
        {"none", {}, 1},
        {"a fundamental alone", {{1, 100, 1}}, 1},
        {"harmonics", {{1, 100, 1}, {2, 200, 0.5}, {3, 300, 0.3}}, 1},
        {"no fundamental", {{2, 200, 1}, {3, 300, 1}, {4, 400, 1}}, 1},
        {"even partials only: numbered from half the fundamental",
         {{2, 200, 1}, {4, 400, 0.5}, {6, 600, 0.3}},
         2},
        {"every third", {{3, 300, 1}, {6, 600, 1}, {9, 900, 1}}, 3},
        {"every seventh, beside a hum 40 dB down", {{2, 50, 0.01}, {7, 175, 1}, {14, 350, 0.5}}, 7},
        {"a fundamental 20 dB down still counts", {{1, 100, 0.1}, {2, 200, 1}, {4, 400, 1}}, 1},
    };
    for (const auto& row : table) {
        EXPECT_EQ(CommonNumber(row.partials), row.common) << row.what;
    }
}

// A frame of `length` samples of a cosine at `hz`, and its autocorrelation over `lags`.
struct Frame {
    std::vector<float> samples, correlation, nsdf;
};

Frame Cosine(double hz, double rate, size_t length, size_t lags) {
    Frame frame;
    for (size_t i = 0; i < length; ++i) {
        frame.samples.push_back(static_cast<float>(std::cos(2 * std::numbers::pi * hz * i / rate)));
    }
    for (size_t lag = 0; lag < lags; ++lag) {
        double r = 0;
        for (size_t i = 0; i + lag < length; ++i) {
            r += static_cast<double>(frame.samples[i]) * frame.samples[i + lag];
        }
        frame.correlation.push_back(static_cast<float>(r));
    }
    frame.nsdf.resize(lags);
    NormalizedSquareDifference(frame.samples, frame.correlation, frame.nsdf);
    return frame;
}

TEST(PickPeriod, ThePeriodOfACosineAndItsClarity) {
    const Frame frame = Cosine(441, 44100, 1024, 400); // a period of 100 samples
    EXPECT_FLOAT_EQ(frame.nsdf[0], 1.0f);
    double clarity = 0;
    EXPECT_NEAR(PickPeriod(frame.nsdf, 10, 399, clarity), 100.0, 0.05);
    EXPECT_GT(clarity, 0.95);
    // Lags shorter than the period only: no period.
    EXPECT_EQ(PickPeriod(frame.nsdf, 10, 60, clarity), 0.0);
    EXPECT_EQ(clarity, 0.0);
}

TEST(PickPeriod, NothingInSilence) {
    const std::vector<float> zeros(1024, 0.0f), correlation(400, 0.0f);
    std::vector<float> nsdf(400);
    NormalizedSquareDifference(zeros, correlation, nsdf);
    double clarity = 1;
    EXPECT_EQ(PickPeriod(nsdf, 10, 399, clarity), 0.0);
    EXPECT_EQ(clarity, 0.0);
}

TEST(PickPeriod, NotANumberIsNoPeak) {
    std::vector<float> nsdf(400, std::nanf(""));
    nsdf[0] = 1;
    double clarity = 1;
    EXPECT_EQ(PickPeriod(nsdf, 10, 399, clarity), 0.0);
    EXPECT_EQ(clarity, 0.0);
}

} // namespace
