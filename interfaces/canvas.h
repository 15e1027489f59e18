// The drawing the receive displays need, on an image of pixels with colours 0x00BBGGRR.
// Drawing outside the image is clipped.
#pragma once

#include <cstdint>

#include "interfaces/rect.h"

namespace quavel {

inline constexpr uint32_t kRed = 0x000000FF;
inline constexpr uint32_t kCyan = 0x00FFFF00;
inline constexpr uint32_t kWhite = 0x00FFFFFF;
inline constexpr uint32_t kGreen = 0x00008000;
inline constexpr uint32_t kBlack = 0x00000000;

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void set_pixel(int x, int y, uint32_t colour) = 0;
    virtual uint32_t pixel(int x, int y) const = 0; // 0 outside the image
    // A line from (x0, y0) to (x1, y1) in the pen colour, the end point itself not drawn.
    virtual void line(int x0, int y0, int x1, int y1, uint32_t colour) = 0;
    // A rectangle from (left, top) to (right, bottom), right and bottom exclusive: filled with
    // `fill`, its one-pixel outline in `outline`.
    virtual void rectangle(const Rect& r, uint32_t fill, uint32_t outline) = 0;
    // Copies the pixels of `source` onto `dest` (same size) within this image.
    virtual void copy_rect(const Rect& source, const Rect& dest) = 0;
};

} // namespace quavel
