#include "curve_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The picture, and the frame of the plot in it, in pixels.
constexpr double kWidth = 960;
constexpr double kHeight = 540;
constexpr double kLeft = 70;
constexpr double kRight = kWidth - 80;
constexpr double kTop = 50;
constexpr double kBottom = kHeight - 60;
// A stiffness of 0 has no place on a logarithmic scale: it is drawn at this.
constexpr double kLeastDrawn = 1e-7;

// Where values go: the cents on the left scale, log B on the right, both rising upward.
struct Scales {
    double cents_low = 0;
    double cents_high = 0;
    double cents_step = 10;
    int decade_low = 0;
    int decade_high = 0;
};

double X(int key) {
    return kLeft + (key - 1) * (kRight - kLeft) / (kPianoKeys - 1);
}

double YOfCents(const Scales& s, double cents) {
    return kBottom - (cents - s.cents_low) / (s.cents_high - s.cents_low) * (kBottom - kTop);
}

double YOfB(const Scales& s, double b) {
    const double decades = std::log10(std::max(b, kLeastDrawn));
    return kBottom - (decades - s.decade_low) / (s.decade_high - s.decade_low) * (kBottom - kTop);
}

// Whole steps of cents and whole decades of B around the curve, zero always in sight.
Scales ScalesOf(const std::vector<CurveKey>& curve) {
    Scales s;
    double least_b = 1;
    double most_b = kLeastDrawn;
    for (const CurveKey& key : curve) {
        s.cents_low = std::min(s.cents_low, key.cents);
        s.cents_high = std::max(s.cents_high, key.cents);
        least_b = std::min(least_b, std::max(key.b, kLeastDrawn));
        most_b = std::max(most_b, key.b);
    }
    s.cents_step = s.cents_high - s.cents_low > 150 ? 50 : 10;
    s.cents_low = std::floor(s.cents_low / s.cents_step) * s.cents_step;
    s.cents_high =
        std::max(std::ceil(s.cents_high / s.cents_step) * s.cents_step, s.cents_low + s.cents_step);
    s.decade_low = static_cast<int>(std::floor(std::log10(least_b)));
    s.decade_high = std::max(static_cast<int>(std::ceil(std::log10(most_b))), s.decade_low + 1);
    return s;
}

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

// The frame, the grid of cents with its scale on the left, the decades of B on the right,
// and the octaves' C along the bottom.
std::string Axes(const Scales& s) {
    std::string svg = Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" "
                             "fill=\"none\" stroke=\"black\"/>\n",
                             kLeft, kTop, kRight - kLeft, kBottom - kTop);
    for (double c = s.cents_low; c <= s.cents_high + 1e-9; c += s.cents_step) {
        const double y = YOfCents(s, c);
        svg += Format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ccc\"/>\n",
                      kLeft, y, kRight, y);
        svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%+.0f</text>\n", kLeft - 6,
                      y + 4, c);
    }
    for (int decade = s.decade_low; decade <= s.decade_high; ++decade) {
        svg += Format("<text x=\"%.1f\" y=\"%.1f\">1e%+.0f</text>\n", kRight + 6,
                      YOfB(s, std::pow(10.0, decade)) + 4, decade);
    }
    for (int key = 4; key <= kPianoKeys; key += 12) {
        svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">C%.0f</text>\n", X(key),
                      kBottom + 18, (key + 8) / 12);
    }
    svg += Format("<text x=\"%.1f\" y=\"%.1f\">cents from equal temperament</text>\n", kLeft,
                  kTop - 10);
    svg += Format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\" fill=\"#c33\">stiffness B "
                  "(log), o measured</text>\n",
                  kRight, kTop - 10);
    return svg;
}

} // namespace

std::string CurvePlot(const std::vector<CurveKey>& curve) {
    const Scales s = ScalesOf(curve);
    std::string svg = Format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" "
                             "height=\"%.0f\" font-family=\"sans-serif\" font-size=\"12\">\n"
                             "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                             kWidth, kHeight);
    svg += Axes(s);
    std::string cents;
    std::string stiffness;
    std::string marks;
    for (const CurveKey& key : curve) {
        const char* space = key.key == 1 ? "" : " ";
        cents += space + Format("%.1f,%.1f", X(key.key), YOfCents(s, key.cents));
        stiffness += space + Format("%.1f,%.1f", X(key.key), YOfB(s, key.b));
        if (key.measured) {
            marks += Format("<circle class=\"measured\" cx=\"%.1f\" cy=\"%.1f\" r=\"4\" "
                            "fill=\"none\" stroke=\"#c33\"/>\n",
                            X(key.key), YOfB(s, key.b));
        }
    }
    svg += "<polyline id=\"stiffness\" fill=\"none\" stroke=\"#c33\" stroke-dasharray=\"4 3\" "
           "points=\"" +
           stiffness + "\"/>\n" + marks;
    svg += "<polyline id=\"cents\" fill=\"none\" stroke=\"#236\" stroke-width=\"2\" points=\"" +
           cents + "\"/>\n</svg>\n";
    return svg;
}
