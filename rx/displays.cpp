#include "rx/displays.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace quavel {

namespace {

// Magnitude of point k of an interleaved 1-based spectrum, in double precision; a point the
// span does not hold reads as 0.
double point_magnitude(std::span<const float> spectrum, uint32_t k) {
    const size_t re = 2 * static_cast<size_t>(k) + 1;
    if (re + 1 >= spectrum.size()) return 0.0;
    const double a = spectrum[re];
    const double b = spectrum[re + 1];
    return std::sqrt(a * a + b * b);
}

// Palette level of a scaled magnitude: truncated toward zero and held to 0..255. The comparisons
// come first so that no out-of-range value (or NaN) is ever converted to an integer.
int grey_level(double scaled) {
    if (!(scaled > 0.0)) return 0;
    if (scaled >= 255.0) return 255;
    return static_cast<int>(scaled);
}

// A drawing length in pixels from a float value, truncated toward zero. Lengths past any image
// are cut to a bound that keeps the line arithmetic in range; negative values and NaN draw
// nothing.
int pixel_length(double value) {
    constexpr double kMaxLength = 1 << 20;
    if (!(value > 0.0)) return 0;
    if (value >= kMaxLength) return static_cast<int>(kMaxLength);
    return static_cast<int>(value);
}

// A marker value counts columns from 1; the pixel is drawn at value - 1 when that is inside the
// image (value 0, or a value past the right edge, draws nothing).
void draw_marker(Canvas& canvas, uint32_t marker, int row, uint32_t colour) {
    const uint32_t column = marker - 1u;
    if (column >= static_cast<uint32_t>(canvas.width())) return;
    canvas.set_pixel(static_cast<int>(column), row, colour);
}

} // namespace

ReceiveDisplays::ReceiveDisplays(Canvas& waterfall, Canvas& scope, Canvas& spectrum)
    : waterfall_(waterfall), scope_(scope), spectrum_(spectrum) {}

void ReceiveDisplays::scroll_waterfall(const SpeedProfile& p) {
    waterfall_.copy_rect(p.scroll_source, p.scroll_dest);
}

void ReceiveDisplays::waterfall_line(std::span<const float> work_spectrum, const SpeedProfile& p,
                                     const Tuning& t, float sensitivity) {
    const int row = waterfall_.height() - 1;
    for (int x = 0; x < kWaterfallColumns; ++x) {
        const auto ux = static_cast<uint32_t>(x);
        double m = 0.0;
        if (p.speed == 1) {
            // Two points of 0.488 Hz per pixel; their sum is kept as a float.
            const uint32_t k = kWaterfallFirstPointSpeed1 + 2 * ux;
            m = static_cast<float>(point_magnitude(work_spectrum, k) +
                                   point_magnitude(work_spectrum, k + 1));
        } else if (p.speed == 4) {
            // Points of 1.953 Hz on two pixels each, the first pair on the 800.78 Hz point.
            m = point_magnitude(work_spectrum, kWaterfallFirstPointSpeed4 + ux / 2);
        } else {
            m = point_magnitude(work_spectrum, kWaterfallFirstPointSpeed2 + ux);
        }
        const int v = grey_level(m * static_cast<double>(sensitivity));
        waterfall_.set_pixel(x, row, p.grey_palette[static_cast<size_t>(255 - v)]);
    }
    // The centre marker goes last so that it wins over an edge marker on the same column.
    draw_marker(waterfall_, t.marker_low, row, kRed);
    draw_marker(waterfall_, t.marker_high, row, kRed);
    draw_marker(waterfall_, t.marker_centre, row, kCyan);
}

void ReceiveDisplays::overload_line() {
    const int row = waterfall_.height() - 1;
    for (int x = 0; x < kWaterfallColumns; ++x)
        waterfall_.set_pixel(x, row, kRed);
}

void ReceiveDisplays::clear_scope() {
    scope_.rectangle({0, 0, scope_.width(), scope_.height()}, kBlack, scope_pen_);
    scope_pen_ = kWhite;
}

void ReceiveDisplays::scope_column(int c, float v) {
    // From the row just below the image up to, not including, the row h above it: a height
    // below 2 leaves nothing visible.
    const int bottom = scope_.height();
    scope_pen_ = kWhite;
    scope_.line(c, bottom, c, bottom - pixel_length(v), scope_pen_);
}

void ReceiveDisplays::sync_marker(uint32_t sync_position, uint32_t C) {
    if (C != 0) {
        const uint32_t column = sync_position / C;
        if (column <= static_cast<uint32_t>(std::numeric_limits<int>::max())) {
            scope_.line(static_cast<int>(column), 0, static_cast<int>(column), scope_.height() - 1,
                        kRed);
        }
    }
    scope_pen_ = kGreen;
}

void ReceiveDisplays::clear_spectrum() {
    spectrum_.rectangle({0, 0, spectrum_.width(), spectrum_.height()}, kBlack, spectrum_pen_);
    spectrum_pen_ = kGreen;
}

void ReceiveDisplays::spectrum_line(int k, float magnitude, float spectrum_scale) {
    const int h =
        pixel_length(static_cast<double>(magnitude) * static_cast<double>(spectrum_scale));
    spectrum_pen_ = kGreen;
    spectrum_.line(k, 0, k, h, spectrum_pen_);
}

uint32_t sync_from_scope_release(uint32_t current, MouseButton button, int x, uint32_t N) {
    if (button != MouseButton::left || x < 0 || x >= kScopeColumns / 2) return current;
    return static_cast<uint32_t>(x) * N / 128u;
}

} // namespace quavel
