#include "curve_png.h"
#include "curve_scales.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace {

// The SVG picture's colours: the curve's #236, the stiffness's #c33, the grid's #ccc.
void Colour(cairo_t* cr, unsigned rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

// Text at (x, y) on its baseline, its anchor as SVG's text-anchor: 0 start, 0.5 middle, 1 end.
void Text(cairo_t* cr, double x, double y, const char* text, double anchor = 0) {
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, text, &extents);
    cairo_move_to(cr, x - anchor * extents.x_advance, y);
    cairo_show_text(cr, text);
}

void Line(cairo_t* cr, double x1, double y1, double x2, double y2) {
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
}

// The frame, the grid of cents with its scale, the decades of B, the octaves' C and the titles.
void Axes(cairo_t* cr, const PlotScales& s) {
    char label[32];
    cairo_set_line_width(cr, 1);
    for (double c = s.cents_low; c <= s.cents_high + 1e-9; c += s.cents_step) {
        const double y = YOfCents(s, c);
        Colour(cr, 0xCCCCCC);
        Line(cr, kPlotLeft, y, kPlotRight, y);
        Colour(cr, 0x000000);
        std::snprintf(label, sizeof label, "%+.0f", c);
        Text(cr, kPlotLeft - 6, y + 4, label, 1);
    }
    Colour(cr, 0x000000);
    cairo_rectangle(cr, kPlotLeft, kPlotTop, kPlotRight - kPlotLeft, kPlotBottom - kPlotTop);
    cairo_stroke(cr);
    for (int decade = s.decade_low; decade <= s.decade_high; ++decade) {
        std::snprintf(label, sizeof label, "1e%+d", decade);
        Text(cr, kPlotRight + 6, YOfB(s, std::pow(10.0, decade)) + 4, label);
    }
    for (int key = 4; key <= kPianoKeys; key += 12) {
        std::snprintf(label, sizeof label, "C%d", (key + 8) / 12);
        Text(cr, XOfKey(key), kPlotBottom + 18, label, 0.5);
    }
    Text(cr, kPlotLeft, kPlotTop - 10, "cents from equal temperament");
    Colour(cr, 0xCC3333);
    Text(cr, kPlotRight, kPlotTop - 10, "stiffness B (log), o measured", 1);
}

// The stiffness dashed with its measured keys circled, then the curve over it.
void Curves(cairo_t* cr, const PlotScales& s, const std::vector<CurveKey>& curve) {
    Colour(cr, 0xCC3333);
    const double dashes[] = {4, 3};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_new_path(cr); // the text left its current point at its end
    for (const CurveKey& key : curve) {
        cairo_line_to(cr, XOfKey(key.key), YOfB(s, key.b));
    }
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    for (const CurveKey& key : curve) {
        if (key.measured) {
            cairo_new_sub_path(cr);
            cairo_arc(cr, XOfKey(key.key), YOfB(s, key.b), 4, 0, 2 * std::numbers::pi);
        }
    }
    cairo_stroke(cr);
    Colour(cr, 0x223366);
    cairo_set_line_width(cr, 2);
    for (const CurveKey& key : curve) {
        cairo_line_to(cr, XOfKey(key.key), YOfCents(s, key.cents));
    }
    cairo_stroke(cr);
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

bool NamesPng(const char* path) {
    const size_t length = std::strlen(path);
    return length >= 5 && strcasecmp(path + length - 4, ".png") == 0;
}

bool CurvePng(const std::vector<CurveKey>& curve, std::string& png, std::string& why) {
    cairo_surface_t* surface = cairo_image_surface_create(
        CAIRO_FORMAT_RGB24, static_cast<int>(kPlotWidth), static_cast<int>(kPlotHeight));
    cairo_t* cr = cairo_create(surface);
    Colour(cr, 0xFFFFFF);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    const PlotScales s = ScalesOf(curve);
    Axes(cr, s);
    Curves(cr, s, curve);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    png.clear();
    if (status == CAIRO_STATUS_SUCCESS) {
        status = cairo_surface_write_to_png_stream(surface, Append, &png);
    }
    cairo_surface_destroy(surface);
    // The text's font stays in cairo's caches and fontconfig's past the program's end: memory
    // that leak checkers report. The picture is drawn once a run, so both let go of it now.
    cairo_debug_reset_static_data();
    FcFini();
    if (status != CAIRO_STATUS_SUCCESS) {
        why = cairo_status_to_string(status);
        return false;
    }
    return true;
}
