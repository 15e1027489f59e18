#include "rx/memory_canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace quavel {

namespace {

// The half-open range [lo, hi) of positions 0..extent-1 that lie in [from, to), in 64-bit so that
// rectangles at the far ends of the int range neither overflow nor make long loops.
struct Span {
    int64_t lo;
    int64_t hi;
    bool empty() const { return lo >= hi; }
};

Span clip_span(int64_t from, int64_t to, int extent) {
    return {std::max<int64_t>(from, 0), std::min<int64_t>(to, extent)};
}

// Pixel offset along the minor axis at step `step` of a line with major extent `major` and minor
// extent `minor` (both >= 0, step < major): the pixel nearest the ideal line, a tie taken away
// from the start. This is the pixel Bresenham's stepping reaches, computed directly so that a line
// starting far outside the image can jump to its first visible step. The product stays below
// 2^64 because both extents are differences of ints.
int64_t minor_offset(uint64_t step, uint64_t major, uint64_t minor) {
    const uint64_t product = step * minor;
    const uint64_t whole = product / major;
    const uint64_t rest = product % major;
    return static_cast<int64_t>(whole + (2 * rest >= major ? 1 : 0));
}

} // namespace

MemoryCanvas::MemoryCanvas(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), kWhite) {}

void MemoryCanvas::set_pixel(int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] = colour;
}

uint32_t MemoryCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void MemoryCanvas::fill(uint32_t colour) {
    std::fill(pixels_.begin(), pixels_.end(), colour);
}

// Steps from the start point along the longer axis, one pixel per step, and stops before the end
// point. A horizontal or vertical line is thereby every pixel from the start up to but not
// including the end, the rule the displays rely on (a scope column drawn from the row below the
// image). Only the steps whose major coordinate falls inside the image are visited.
void MemoryCanvas::line(int x0, int y0, int x1, int y1, uint32_t colour) {
    const int64_t dx = static_cast<int64_t>(x1) - x0;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    const uint64_t adx = static_cast<uint64_t>(std::llabs(dx));
    const uint64_t ady = static_cast<uint64_t>(std::llabs(dy));
    if (adx == 0 && ady == 0) return;
    const int64_t sx = dx < 0 ? -1 : 1;
    const int64_t sy = dy < 0 ? -1 : 1;
    const bool x_major = adx >= ady;
    const uint64_t major = x_major ? adx : ady;
    const uint64_t minor = x_major ? ady : adx;
    const int64_t major_start = x_major ? x0 : y0;
    const int64_t major_sign = x_major ? sx : sy;
    const int64_t minor_start = x_major ? y0 : x0;
    const int64_t minor_sign = x_major ? sy : sx;
    const int extent = x_major ? width_ : height_;

    // Steps 0..major-1; position = major_start + step * major_sign must lie in 0..extent-1.
    int64_t first = 0;
    int64_t last = static_cast<int64_t>(major) - 1;
    if (major_sign > 0) {
        first = std::max(first, -major_start);
        last = std::min(last, static_cast<int64_t>(extent) - 1 - major_start);
    } else {
        first = std::max(first, major_start - (static_cast<int64_t>(extent) - 1));
        last = std::min(last, major_start);
    }
    for (int64_t step = first; step <= last; ++step) {
        const int64_t along = major_start + step * major_sign;
        const int64_t across =
            minor_start + minor_sign * minor_offset(static_cast<uint64_t>(step), major, minor);
        const int64_t x = x_major ? along : across;
        const int64_t y = x_major ? across : along;
        if (y < 0 || y >= height_ || x < 0 || x >= width_) continue;
        set_pixel(static_cast<int>(x), static_cast<int>(y), colour);
    }
}

void MemoryCanvas::rectangle(const Rect& r, uint32_t fill_colour, uint32_t outline) {
    // Corners given the wrong way round describe the same rectangle.
    const int64_t left = std::min(r.left, r.right);
    const int64_t right = std::max(r.left, r.right);
    const int64_t top = std::min(r.top, r.bottom);
    const int64_t bottom = std::max(r.top, r.bottom);
    if (left == right || top == bottom) return;
    const Span xs = clip_span(left, right, width_);
    const Span ys = clip_span(top, bottom, height_);
    if (xs.empty() || ys.empty()) return;
    for (int64_t y = ys.lo; y < ys.hi; ++y) {
        const bool edge_row = y == top || y == bottom - 1;
        for (int64_t x = xs.lo; x < xs.hi; ++x) {
            const bool edge = edge_row || x == left || x == right - 1;
            set_pixel(static_cast<int>(x), static_cast<int>(y), edge ? outline : fill_colour);
        }
    }
}

// Row by row like memmove: when the destination lies below the source the rows are copied from
// the bottom up, and each row's copy tolerates a sideways overlap, so a scroll by one line reads
// every source pixel before it is overwritten. Pixels whose source or destination lies outside
// the image are left alone. Rectangles of different sizes copy their common top-left part.
void MemoryCanvas::copy_rect(const Rect& source, const Rect& dest) {
    const int64_t w = std::min(static_cast<int64_t>(source.right) - source.left,
                               static_cast<int64_t>(dest.right) - dest.left);
    const int64_t h = std::min(static_cast<int64_t>(source.bottom) - source.top,
                               static_cast<int64_t>(dest.bottom) - dest.top);
    if (w <= 0 || h <= 0) return;
    const int64_t shift_x = static_cast<int64_t>(dest.left) - source.left;
    const int64_t shift_y = static_cast<int64_t>(dest.top) - source.top;
    // Destination pixels that lie in the image and whose source pixel does too.
    const Span xs = clip_span(std::max<int64_t>(dest.left, shift_x),
                              std::min<int64_t>(dest.left + w, width_ + shift_x), width_);
    const Span ys = clip_span(std::max<int64_t>(dest.top, shift_y),
                              std::min<int64_t>(dest.top + h, height_ + shift_y), height_);
    if (xs.empty() || ys.empty()) return;
    const auto row_start = [&](int64_t x, int64_t y) {
        return pixels_.begin() + static_cast<ptrdiff_t>(y * width_ + x);
    };
    const auto copy_row = [&](int64_t y) {
        const auto from = row_start(xs.lo - shift_x, y - shift_y);
        const auto to = row_start(xs.lo, y);
        const auto count = static_cast<ptrdiff_t>(xs.hi - xs.lo);
        if (to <= from) {
            std::copy(from, from + count, to);
        } else {
            std::copy_backward(from, from + count, to + count);
        }
    };
    if (shift_y <= 0) {
        for (int64_t y = ys.lo; y < ys.hi; ++y)
            copy_row(y);
    } else {
        for (int64_t y = ys.hi - 1; y >= ys.lo; --y)
            copy_row(y);
    }
}

} // namespace quavel
