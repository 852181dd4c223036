// Tunings as the synth tests lay them: a built-in temperament on a root, or a scale file of
// tests/data.
#pragma once

#include "support.h"
#include "synth/synth.h"

#include <gtest/gtest.h>

#include <string>

inline Tuning Temperament(const char* name, const char* root = "c") {
    Tuning tuning;
    EXPECT_TRUE(LayTemperament(name, tuning)) << name;
    tuning.root = SemitonesAboveA(root);
    return tuning;
}

inline Tuning ScaleTuning(const std::string& file) {
    const ScaleReading scale = ParseScale(ReadBytes(std::string(ONDELIS_TEST_DATA "/") + file));
    EXPECT_TRUE(scale.ok) << file << ":" << scale.line << ": " << scale.why;
    Tuning tuning;
    tuning.equal = false;
    tuning.ratios = scale.ratios;
    tuning.period = scale.period;
    return tuning;
}
