// A piano's tuning curve drawn as a PNG picture, by cairo: the same plot as the SVG one.
#pragma once

#include "synth/piano_curve.h"

#include <string>
#include <vector>

// The PNG file's bytes of the curve's picture: the cents from equal temperament over the
// keyboard, its stiffness on a logarithmic scale, the keys measured marked, as CurvePlot lays
// them out. False with `why` when cairo could not draw or encode it.
bool CurvePng(const std::vector<CurveKey>& curve, std::string& png, std::string& why);

// True for a file name that asks for a PNG picture (".png" in any case).
bool NamesPng(const char* path);
