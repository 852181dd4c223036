// Where a drawing of a piano's tuning curve puts things, whatever it is drawn as: the picture's
// size, the frame of the plot in it, and the scales of cents and of stiffness.
#pragma once

#include "synth/piano_curve.h"

#include <vector>

// The picture, and the frame of the plot in it, in pixels (y points down).
constexpr double kPlotWidth = 960;
constexpr double kPlotHeight = 540;
constexpr double kPlotLeft = 70;
constexpr double kPlotRight = kPlotWidth - 80;
constexpr double kPlotTop = 50;
constexpr double kPlotBottom = kPlotHeight - 60;

// Where values go: the cents on the left scale, log B on the right, both rising upward.
struct PlotScales {
    double cents_low = 0;
    double cents_high = 0;
    double cents_step = 10;
    int decade_low = 0;
    int decade_high = 0;
};

// Whole steps of cents and whole decades of B around the curve, zero always in sight.
PlotScales ScalesOf(const std::vector<CurveKey>& curve);

// The x of a key (A0 at the frame's left, C8 at its right), the y of cents and of a stiffness
// (one of 0 drawn at the least the scale shows).
double XOfKey(int key);
double YOfCents(const PlotScales& s, double cents);
double YOfB(const PlotScales& s, double b);
