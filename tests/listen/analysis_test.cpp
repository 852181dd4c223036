#include "listen/analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <utility>
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

TEST(FitFundamental, AStringIsStiffOnlyWhereItsLineExplainsMostOfTheSpread) {
    // Partials 2 to 8 of 110 Hz, equally strong, with (f_k / k)^2 = f0^2 (1 + y_k): y_k is a
    // stretch s (k^2 - mean k^2) plus a scatter about it that no line follows, scaled so that
    // the stretch leaves `unexplained` of the spread of y. The mean of y is 0: read as
    // harmonic, f0 is the mean of (f_k / k)^2; read as stiff, the line's f0 at k = 0,
    // f0 sqrt(1 - s mean k^2), 2.5 cents below it.
    const double f0 = 110, s = 1e-4;
    std::vector<double> x, scatter;
    for (int k = 2; k <= 8; ++k) {
        x.push_back(static_cast<double>(k) * k);
        scatter.push_back(k % 2 == 0 ? 1 : -1);
    }
    const auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double e : v) {
            sum += e;
        }
        return sum / static_cast<double>(v.size());
    };
    const auto dot = [](const std::vector<double>& a, const std::vector<double>& b) {
        double sum = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            sum += a[i] * b[i];
        }
        return sum;
    };
    // Both centred, and the scatter made square to the stretch: the line through y is the
    // stretch alone, and the scatter is what it leaves.
    const double mean_x = mean(x), mean_scatter = mean(scatter);
    std::vector<double> centred = x;
    for (size_t i = 0; i < x.size(); ++i) {
        centred[i] -= mean_x;
        scatter[i] -= mean_scatter;
    }
    const double along = dot(scatter, centred) / dot(centred, centred);
    for (size_t i = 0; i < x.size(); ++i) {
        scatter[i] -= along * centred[i];
    }
    const struct {
        double unexplained; // the share of the spread of y that the line leaves
        bool stiff;
    } table[] = {{0.1, true}, {0.2, true}, {0.3, false}, {0.45, false}, {0.7, false}};
    for (const auto& row : table) {
        // c^2 |scatter|^2 = u / (1 - u) s^2 |centred|^2
        const double c = std::sqrt(row.unexplained / (1 - row.unexplained) * s * s *
                                   dot(centred, centred) / dot(scatter, scatter));
        std::vector<Partial> partials;
        for (size_t i = 0; i < x.size(); ++i) {
            const int k = static_cast<int>(i) + 2;
            const double y = s * centred[i] + c * scatter[i];
            partials.push_back({k, k * f0 * std::sqrt(1 + y), 1});
        }
        const double expected = row.stiff ? f0 * std::sqrt(1 - s * mean_x) : f0;
        EXPECT_NEAR(FitFundamental(partials), expected, 1e-9 * f0) << row.unexplained;
    }
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

TEST(FitFundamental, TwoPartialsOfABarelyStiffString) {
    // Below B = 2e-4 two partials cannot tell stiffness from a partial measured a little
    // sharp: the mean of f_k / k; above it, the line through them.
    const struct {
        double b;
        bool stiff;
    } table[] = {{1e-4, false}, {1.9e-4, false}, {2.1e-4, true}, {4e-4, true}};
    const double f0 = 220;
    for (const auto& row : table) {
        const double f2 = 2 * f0 * std::sqrt(1 + 4 * row.b), f1 = f0 * std::sqrt(1 + row.b);
        const std::vector<Partial> partials{{1, f1, 1}, {2, f2, 1}};
        const double harmonic = std::sqrt((f1 * f1 + f2 * f2 / 4) / 2);
        EXPECT_NEAR(FitFundamental(partials), row.stiff ? f0 : harmonic, 1e-9) << row.b;
        // Its first partial, stiff or not, is where it sounds within a thousandth of a cent.
        EXPECT_NEAR(FirstPartialOfFit(partials), row.stiff ? f1 : harmonic, 1e-9) << row.b;
    }
}

TEST(FitFundamental, TheFirstPartialOfAStiffStringStandsAboveF0) {
    // f1 = f0 sqrt(1 + B): at C7 with B = 0.005, 4.3 cents above the fit's f0.
    const double f0 = 2093.005, b = 0.005;
    std::vector<Partial> partials;
    for (int k = 2; k <= 6; ++k) {
        partials.push_back({k, k * f0 * std::sqrt(1 + b * k * k), 1.0 / k});
    }
    EXPECT_NEAR(FitFundamental(partials), f0, 1e-6);
    EXPECT_NEAR(FirstPartialOfFit(partials), 2098.231, 1e-3);
}

TEST(OneNote, TheNumberingOfOneNote) {
    const auto numbered = [](std::vector<int> numbers, double first = 1) {
        std::vector<Partial> partials;
        for (int k : numbers) {
            partials.push_back({k, 100.0 * k, k == 1 ? first : 1.0 / k});
        }
        return partials;
    };
    const struct {
        const char* what;
        std::vector<Partial> partials;
        int possible;
        bool one;
    } table[] = {
        {"a fundamental alone", numbered({1}), 40, true},
        {"a fundamental 29 dB below the others", numbered({1, 2, 3}, 0.5 * 0.036), 40, true},
        {"a fundamental 31 dB below the others, the rest gappy",
         numbered({1, 2, 3, 6}, 0.5 * 0.028), 40, false},
        {"a fundamental and its odd partials", numbered({1, 3, 5, 7, 9, 11}), 40, true},
        {"a fundamental, then partials beyond the ninth alone", numbered({1, 10, 11, 12}), 40,
         false},
        {"partials 2 to 9 without the fundamental", numbered({2, 3, 4, 5, 6, 7, 8, 9}), 40, true},
        {"one of them missing", numbered({2, 3, 4, 6, 7, 8, 9}), 40, true},
        {"two notes a fifth apart, numbered from the note below", numbered({2, 3, 4, 6, 8, 9}), 40,
         false},
        {"two notes a fourth apart", numbered({3, 4, 6, 8, 9}), 40, false},
        {"a phone's low string, its second split: the 3rd, 4th and 7th",
         numbered({3, 4, 6, 7, 8, 9}), 40, true},
        {"a second inversion's notes (3:4:5), no 7th", numbered({3, 4, 5, 6, 8, 9}), 40, false},
        {"a sine an octave above the numbering", numbered({2}), 40, false},
        {"the second and third, all there are below the highest", numbered({2, 3}), 3, true},
        {"the second alone below the highest", numbered({2}), 2, false},
        {"none", {}, 40, false},
    };
    for (const auto& row : table) {
        EXPECT_EQ(OneNote(row.partials, row.possible), row.one) << row.what;
    }
}

// The spectra of a frame with `magnitudes` in its bins of 1 Hz, the same in both frames.
struct Bins {
    std::vector<std::complex<float>> bins;
    SpectrumPair pair() const {
        return {bins, bins, 2 * (bins.size() - 1), 2.0 * (bins.size() - 1), 1, 64};
    }
};

TEST(PeakNear, APeakAnywhereInItsSpanAndNotASlope) {
    // Looking at 100 +- 5 Hz spans bins 95 to 106.
    const struct {
        const char* what;
        std::vector<std::pair<size_t, float>> peaks; // bin, magnitude
        double magnitude;
        size_t bin;
    } table[] = {
        {"a peak inside", {{101, 1}}, 1, 101},
        {"a peak in the top bin", {{106, 1}}, 1, 106},
        {"a peak in the bottom bin", {{95, 1}}, 1, 95},
        {"the slope of a higher peak beyond the top", {{106, 0.5f}, {107, 1}}, 0, 0},
        {"the slope of a higher peak below the bottom", {{95, 0.5f}, {94, 1}}, 0, 0},
        {"the stronger of two peaks", {{97, 0.3f}, {103, 0.6f}}, 0.6, 103},
    };
    for (const auto& row : table) {
        Bins spectrum{std::vector<std::complex<float>>(513, 0.01f)};
        for (auto [bin, magnitude] : row.peaks) {
            spectrum.bins[bin] = magnitude;
        }
        size_t bin = 0;
        EXPECT_NEAR(PeakNear(spectrum.pair(), 100, 5, bin), row.magnitude, 1e-6) << row.what;
        if (row.magnitude > 0) {
            EXPECT_EQ(bin, row.bin) << row.what;
        }
    }
}

TEST(SubharmonicDivisor, PartialsBetweenTheMultiplesSayTheFundamentalIsLower) {
    // A period found at 100 Hz on bins of 1 Hz: peaks on its first four multiples, and peaks
    // halfway or a third of the way between them. What lies between says the fundamental is
    // 50 or 33.3 Hz where it holds a fiftieth of the power on the multiples (-17 dB), in two
    // peaks at least; a single peak between is a hum, not a lower note.
    const float between = std::sqrt(0.05f); // two such peaks: 0.1 of the power of one multiple
    const struct {
        const char* what;
        std::vector<float> multiples; // magnitudes at 100, 200, 300 and 400 Hz
        std::vector<std::pair<size_t, float>> others;
        int divisor;
    } table[] = {
        {"the multiples alone", {1, 1, 1, 1}, {}, 1},
        {"halves", {1, 1, 1, 1}, {{150, between}, {250, between}}, 2},
        {"thirds", {1, 1, 1, 1}, {{133, between}, {167, between}}, 3},
        {"a single peak between, however strong", {1, 1, 1, 1}, {{150, 1}}, 1},
        {"halves, a thirtieth of the power: a weak fourth multiple",
         {1, 1, 1, 0.3f},
         {{150, between}, {250, between}},
         2},
        {"halves, a seventieth of the power: a strong fourth multiple",
         {1, 1, 1, 2},
         {{150, between}, {250, between}},
         1},
        {"halves from the half itself up", {1, 1, 1, 1}, {{50, 1}, {150, 1}}, 2},
    };
    for (const auto& row : table) {
        Bins spectrum{std::vector<std::complex<float>>(1025, 0.001f)};
        for (size_t k = 1; k <= row.multiples.size(); ++k) {
            spectrum.bins[100 * k] = row.multiples[k - 1];
        }
        for (auto [bin, magnitude] : row.others) {
            spectrum.bins[bin] = magnitude;
        }
        EXPECT_EQ(SubharmonicDivisor(spectrum.pair(), 100, 30), row.divisor) << row.what;
    }
    // Halves, where half the period found is below the lowest fundamental looked for.
    Bins spectrum{std::vector<std::complex<float>>(1025, 0.001f)};
    for (size_t bin : {50u, 100u, 150u, 200u, 250u, 300u, 400u}) {
        spectrum.bins[bin] = 1;
    }
    EXPECT_EQ(SubharmonicDivisor(spectrum.pair(), 100, 60), 1);
}

TEST(NormalizedSquareDifference, AsItsDefinitionOnRandomFrames) {
    // n(lag) = 2 sum x_j x_{j+lag} / sum (x_j^2 + x_{j+lag}^2) over the overlap.
    std::mt19937 random(3);
    std::uniform_real_distribution<double> sample(-1, 1);
    for (size_t length : {64u, 257u, 1000u}) {
        std::vector<float> frame(length);
        for (float& x : frame) {
            x = static_cast<float>(sample(random));
        }
        const size_t lags = length / 2;
        std::vector<float> r(lags), nsdf(lags);
        for (size_t lag = 0; lag < lags; ++lag) {
            double sum = 0;
            for (size_t j = 0; j + lag < length; ++j) {
                sum += static_cast<double>(frame[j]) * frame[j + lag];
            }
            r[lag] = static_cast<float>(sum);
        }
        NormalizedSquareDifference(frame, r, nsdf);
        for (size_t lag = 0; lag < lags; ++lag) {
            double squares = 0;
            for (size_t j = 0; j + lag < length; ++j) {
                squares += static_cast<double>(frame[j]) * frame[j] +
                           static_cast<double>(frame[j + lag]) * frame[j + lag];
            }
            EXPECT_NEAR(nsdf[lag], 2 * r[lag] / squares, 1e-4) << length << " " << lag;
        }
    }
}

TEST(PickPeriod, FractionalPeriods) {
    for (double period : {33.7, 57.3, 100.25, 100.5, 100.75, 181.1}) {
        const Frame frame = Cosine(44100 / period, 44100, 1024, 400);
        double clarity = 0;
        EXPECT_NEAR(PickPeriod(frame.nsdf, 10, 399, clarity), period, 0.02) << period;
        EXPECT_GT(clarity, 0.95) << period;
    }
}

} // namespace
