// The three receive displays, drawn by the receive step on canvases: the waterfall (320 x 20),
// the sync scope (128 x 64) and the symbol spectrum (80 x 64). Each call is one drawing point of
// the receive step, in the order the step makes them.
//
// The canvases are borrowed: they must outlive the ReceiveDisplays. Besides the images, the
// object keeps only the pen left on the scope and spectrum canvases, because a cleared image is
// outlined with whatever pen the last drawing left there (black on a fresh canvas, green once a
// receive step has run).
#pragma once

#include <cstdint>
#include <span>

#include "interfaces/canvas.h"
#include "modem/speed_profile.h"
#include "modem/tuning.h"

namespace quavel {

// Pixels of the waterfall line; pixel x shows about 800.78 + 0.977 x Hz at every speed.
inline constexpr int kWaterfallColumns = 320;
// First work-spectrum point shown (800.78 Hz) at speeds 1, 2 and 4.
inline constexpr uint32_t kWaterfallFirstPointSpeed1 = 1640;
inline constexpr uint32_t kWaterfallFirstPointSpeed2 = 820;
inline constexpr uint32_t kWaterfallFirstPointSpeed4 = 410;
// Columns of the sync scope; the left half (one symbol length) is where a click sets the sync.
inline constexpr int kScopeColumns = 128;

class ReceiveDisplays {
public:
    ReceiveDisplays(Canvas& waterfall, Canvas& scope, Canvas& spectrum);

    // Waterfall: every line up by one pixel (the profile's scroll rectangles).
    void scroll_waterfall(const SpeedProfile& p);
    // Bottom row from the forward work spectrum (N points, interleaved, 1-based: the real part
    // of point k at index 2k+1), scaled by `sensitivity`, with the band and centre markers.
    // Speed 1 shows the sum of points 1640+2x and 1641+2x, speed 2 point 820+x, speed 4 point
    // 410 + x/2 (each point on a pair of pixels, starting with a full pair). Points beyond the
    // span read as 0 (white).
    void waterfall_line(std::span<const float> work_spectrum, const SpeedProfile& p,
                        const Tuning& t, float sensitivity);
    // Bottom row all red, no markers.
    void overload_line();

    // Sync scope: clear to black (outlined with the current pen), then the pen becomes white.
    void clear_scope();
    // Column c (0..127) with value v: a white line up from the bottom edge, v truncated to the
    // height; below 2 nothing shows, 65 or more reaches the top row.
    void scope_column(int c, float v);
    // The red marker at column sync_position / C; the pen then becomes green.
    void sync_marker(uint32_t sync_position, uint32_t C);

    // Symbol spectrum: clear to black (outlined with the current pen), then the pen is green.
    void clear_spectrum();
    // Line k for band magnitude `magnitude`, hanging from the top edge, magnitude x scale
    // truncated to the length.
    void spectrum_line(int k, float magnitude, float spectrum_scale);

    // Both cleared with the pen as it stands (speed-profile initialisation); the pens then
    // change as after any clear, so a receive step right after it outlines the scope in white.
    void clear_scope_and_spectrum() {
        clear_scope();
        clear_spectrum();
    }

private:
    Canvas& waterfall_;
    Canvas& scope_;
    Canvas& spectrum_;
    uint32_t scope_pen_ = kBlack; // the canvas pen left by the last drawing
    uint32_t spectrum_pen_ = kBlack;
};

// The mouse buttons a release over the sync scope can report.
enum class MouseButton { left, right, middle };

// The sync position after a mouse-button release over the sync scope at column x (N the
// analysis length): the left button over the left half (x 0..63) sets x * N / 128; any other
// button, a release at x >= 64 or to the left of the image (x < 0) keeps `current`. The result
// therefore stays within 0 .. 63 * N / 128 whenever `current` does.
uint32_t sync_from_scope_release(uint32_t current, MouseButton button, int x, uint32_t N);

} // namespace quavel
