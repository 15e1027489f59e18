// A canvas in memory, for the headless receive chain, the tools and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "interfaces/canvas.h"

namespace quavel {

// A canvas in memory: rows of 0x00BBGGRR pixels, top row first. Starts white.
class MemoryCanvas : public Canvas {
public:
    MemoryCanvas(int width, int height);
    int width() const override { return width_; }
    int height() const override { return height_; }
    void set_pixel(int x, int y, uint32_t colour) override;
    uint32_t pixel(int x, int y) const override;
    void line(int x0, int y0, int x1, int y1, uint32_t colour) override;
    void rectangle(const Rect& r, uint32_t fill, uint32_t outline) override;
    void copy_rect(const Rect& source, const Rect& dest) override;
    void fill(uint32_t colour);
    const std::vector<uint32_t>& pixels() const { return pixels_; }

private:
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
};

} // namespace quavel
