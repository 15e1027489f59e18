// A rectangle of pixels: left and top inclusive, right and bottom exclusive.
#pragma once

namespace quavel {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace quavel
