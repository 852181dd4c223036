// A piano's tuning curve drawn as an SVG picture, written by hand as plain text.
#pragma once

#include "synth/piano_curve.h"

#include <string>
#include <vector>

// The curve's cents from equal temperament over the keyboard (A0 to C8 left to right), and
// its stiffness on a second, logarithmic scale, with the keys measured marked: an SVG
// document with a polyline "cents" and a polyline "stiffness" of a point a key, and a circle
// of class "measured" for each key measured.
std::string CurvePlot(const std::vector<CurveKey>& curve);
