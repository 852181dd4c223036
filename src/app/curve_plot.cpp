#include "curve_plot.h"
#include "curve_scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

// The frame, the grid of cents with its scale on the left, the decades of B on the right,
// and the octaves' C along the bottom.
std::string Axes(const PlotScales& s) {
    std::string svg = Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" "
                             "fill=\"none\" stroke=\"black\"/>\n",
                             kPlotLeft, kPlotTop, kPlotRight - kPlotLeft, kPlotBottom - kPlotTop);
    for (double c = s.cents_low; c <= s.cents_high + 1e-9; c += s.cents_step) {
        const double y = YOfCents(s, c);
        svg += Format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ccc\"/>\n",
                      kPlotLeft, y, kPlotRight, y);
        svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%+.0f</text>\n",
                      kPlotLeft - 6, y + 4, c);
    }
    for (int decade = s.decade_low; decade <= s.decade_high; ++decade) {
        svg += Format("<text x=\"%.1f\" y=\"%.1f\">1e%+.0f</text>\n", kPlotRight + 6,
                      YOfB(s, std::pow(10.0, decade)) + 4, decade);
    }
    for (int key = 4; key <= kPianoKeys; key += 12) {
        svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">C%.0f</text>\n",
                      XOfKey(key), kPlotBottom + 18, (key + 8) / 12);
    }
    svg += Format("<text x=\"%.1f\" y=\"%.1f\">cents from equal temperament</text>\n", kPlotLeft,
                  kPlotTop - 10);
    svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\" fill=\"#c33\">stiffness B "
                  "(log), o measured</text>\n",
                  kPlotRight, kPlotTop - 10);
    return svg;
}

} // namespace

std::string CurvePlot(const std::vector<CurveKey>& curve) {
    const PlotScales s = ScalesOf(curve);
    std::string svg = Format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" "
                             "height=\"%.0f\" font-family=\"sans-serif\" font-size=\"12\">\n"
                             "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                             kPlotWidth, kPlotHeight);
    svg += Axes(s);
    std::string cents;
    std::string stiffness;
    std::string marks;
    for (const CurveKey& key : curve) {
        const char* space = key.key == 1 ? "" : " ";
        // Appended apart: GCC 12 takes `space + Format(...)` for an overlapping copy at -O2.
        cents += space;
        cents += Format("%.1f,%.1f", XOfKey(key.key), YOfCents(s, key.cents));
        stiffness += space;
        stiffness += Format("%.1f,%.1f", XOfKey(key.key), YOfB(s, key.b));
        if (key.measured) {
            marks += Format("<circle class=\"measured\" cx=\"%.1f\" cy=\"%.1f\" r=\"4\" "
                            "fill=\"none\" stroke=\"#c33\"/>\n",
                            XOfKey(key.key), YOfB(s, key.b));
        }
    }
    svg += "<polyline id=\"stiffness\" fill=\"none\" stroke=\"#c33\" stroke-dasharray=\"4 3\" "
           "points=\"" +
           stiffness + "\"/>\n" + marks;
    svg += "<polyline id=\"cents\" fill=\"none\" stroke=\"#236\" stroke-width=\"2\" points=\"" +
           cents + "\"/>\n</svg>\n";
    return svg;
}
