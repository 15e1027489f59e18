#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "modem/speed_profile.h"
#include "modem/tuning.h"
#include "rx/displays.h"
#include "rx/memory_canvas.h"
#include "support/param_name.h"

namespace quavel {
namespace {

constexpr int kBottomRow = 19;

// Three images of the window's sizes, the displays on them, and a profile, a tuning and a work
// spectrum (interleaved, 1-based) to draw from.
struct Displays {
    MemoryCanvas waterfall{320, 20};
    MemoryCanvas scope{128, 64};
    MemoryCanvas spectrum_image{80, 64};
    ReceiveDisplays displays{waterfall, scope, spectrum_image};
    SpeedProfile profile;
    Tuning tuning;
    std::vector<float> work = std::vector<float>(2 * kMaxSymbolSamples + 2, 0.0f);

    explicit Displays(int item = 1, uint32_t centre_hz = 1000) {
        build_speed_profile(profile, kSpeeds[item]);
        tuning = compute_tuning(profile.speed, profile.N, centre_hz);
    }
    void set_point(uint32_t k, float re, float im = 0.0f) {
        work[2 * k + 1] = re;
        work[2 * k + 2] = im;
    }
    void draw_line(float sensitivity = 1.0f) {
        displays.waterfall_line(work, profile, tuning, sensitivity);
    }
    uint32_t bottom(int x) const { return waterfall.pixel(x, kBottomRow); }
    // The rows of scope column c that are white, as a count from the bottom edge, checking
    // they form one unbroken run.
    int lit_height(int c) const {
        int h = 0;
        for (int y = 63; y >= 0 && scope.pixel(c, y) == kWhite; --y)
            ++h;
        for (int y = 63 - h; y >= 0; --y)
            EXPECT_NE(scope.pixel(c, y), kWhite) << c << "," << y;
        return h;
    }
    // One receive step's scope and spectrum drawing.
    void receive_step(float scope_value = 0.0f) {
        displays.clear_scope();
        for (int c = 0; c < 128; ++c)
            displays.scope_column(c, scope_value);
        displays.sync_marker(profile.sync_position, profile.N / 128);
        displays.clear_spectrum();
        for (int k = 0; k < 75; ++k)
            displays.spectrum_line(k, 0.0f, profile.spectrum_scale);
    }
};

uint32_t grey(int entry) {
    return static_cast<uint32_t>(entry) * 0x010101u;
}

struct GreyCase {
    float re, im, sensitivity;
    int palette_entry;
};

class WaterfallGrey : public ::testing::TestWithParam<GreyCase> {};

TEST_P(WaterfallGrey, MagnitudeTimesSensitivityPicksTheInvertedPaletteEntry) {
    const GreyCase& g = GetParam();
    Displays d;
    d.set_point(820 + 10, g.re, g.im);
    d.draw_line(g.sensitivity);
    EXPECT_EQ(d.bottom(10), grey(g.palette_entry));
    EXPECT_EQ(d.bottom(11), kWhite);
}

INSTANTIATE_TEST_SUITE_P(Displays, WaterfallGrey,
                         ::testing::Values(GreyCase{0.0f, 0.0f, 40.0f, 255},  // white
                                           GreyCase{255.0f, 0.0f, 1.0f, 0},   // black
                                           GreyCase{0.0f, -1.0e6f, 1.0f, 0},  // held at 255
                                           GreyCase{127.9f, 0.0f, 1.0f, 128}, // truncated
                                           GreyCase{-3.0f, 4.0f, 40.0f, 55},  // |z| = 5
                                           GreyCase{1.0f, 1.0f, 0.5f, 255},   // 0.707
                                           GreyCase{0.0f, 254.99f, 1.0f, 1}),
                         [](const auto& param_info) {
                             return "Re" + test::name_of_number(param_info.param.re) + "Im" +
                                    test::name_of_number(param_info.param.im) + "Sensitivity" +
                                    test::name_of_number(param_info.param.sensitivity);
                         });

TEST(Displays, NanMagnitudeDrawsWhite) {
    Displays d;
    d.set_point(830, std::numeric_limits<float>::quiet_NaN());
    d.draw_line();
    EXPECT_EQ(d.bottom(10), kWhite);
}

struct SpeedCase {
    int item;
    std::vector<uint32_t> points; // each given magnitude 100
    std::vector<int> dark_columns;
    int palette_entry;
};

class WaterfallSpeeds : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(WaterfallSpeeds, EachSpeedShowsTheSameFrequencyPerColumn) {
    const SpeedCase& s = GetParam();
    Displays d(s.item, 1060); // markers out of the way of columns 0..30
    for (uint32_t k : s.points)
        d.set_point(k, 100.0f);
    d.draw_line();
    for (int x = 0; x < 31; ++x) {
        const bool dark =
            std::find(s.dark_columns.begin(), s.dark_columns.end(), x) != s.dark_columns.end();
        EXPECT_EQ(d.bottom(x), dark ? grey(s.palette_entry) : kWhite) << x;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Displays, WaterfallSpeeds,
    ::testing::Values(
        // Speed 1: two points of 0.488 Hz summed per column.
        SpeedCase{0, {1640 + 14, 1641 + 14}, {7}, 55}, SpeedCase{0, {1641 + 2 * 20}, {20}, 155},
        SpeedCase{0, {1639}, {}, 0},
        // Speed 2: one point per column.
        SpeedCase{1, {820 + 7}, {7}, 155}, SpeedCase{1, {819}, {}, 0},
        // Speed 4: one point on a pair of columns, the first pair on point 410.
        SpeedCase{2, {410}, {0, 1}, 155}, SpeedCase{2, {410 + 13}, {26, 27}, 155},
        SpeedCase{2, {409}, {}, 0}),
    [](const auto& param_info) {
        std::string name =
            "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param.item)]) +
            "Points";
        for (const uint32_t point : param_info.param.points)
            name += "_" + std::to_string(point);
        return name;
    });

TEST(Displays, LastColumnAtEachSpeedReadsItsOwnPoint) {
    for (const auto& [item, point] : {std::pair{0, 1641u + 2 * 319}, {1, 820u + 319}, {2, 569u}}) {
        Displays d(item, 900);
        d.set_point(point, 255.0f);
        d.draw_line();
        EXPECT_EQ(d.bottom(319), kBlack) << item;
        EXPECT_EQ(d.bottom(317), kWhite) << item;
    }
}

TEST(Displays, ShortSpectrumReadsAsSilence) {
    Displays d;
    std::vector<float> short_spectrum(2 * 830, 300.0f);
    d.displays.waterfall_line(short_spectrum, d.profile, d.tuning, 1.0f);
    EXPECT_EQ(d.bottom(0), kBlack); // point 820
    EXPECT_EQ(d.bottom(8), kBlack); // point 828, the last whole one
    EXPECT_EQ(d.bottom(9), kWhite); // point 829 is cut off
    EXPECT_EQ(d.bottom(300), kWhite);
    d.displays.waterfall_line({}, d.profile, d.tuning, 1.0f);
    EXPECT_EQ(d.bottom(0), kWhite);
}

struct MarkerCase {
    int item;
    uint32_t centre_hz;
    std::vector<int> red;
    int cyan; // -1: none
};

class WaterfallMarkers : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(WaterfallMarkers, EdgesRedCentreCyanAtMarkerValueMinusOneClipped) {
    const MarkerCase& m = GetParam();
    Displays d(m.item, m.centre_hz);
    d.draw_line();
    std::vector<int> red;
    int cyan = -1;
    for (int x = 0; x < 320; ++x) {
        if (d.bottom(x) == kRed) red.push_back(x);
        if (d.bottom(x) == kCyan) cyan = x;
    }
    EXPECT_EQ(red, m.red);
    EXPECT_EQ(cyan, m.cyan);
    for (int y = 0; y < kBottomRow; ++y)
        EXPECT_EQ(d.waterfall.pixel(204, y), kWhite);
}

INSTANTIATE_TEST_SUITE_P(
    Displays, WaterfallMarkers,
    ::testing::Values(MarkerCase{1, 1000, {167, 241}, 204}, MarkerCase{2, 1000, {130, 278}, 204},
                      MarkerCase{1, 900, {64, 138}, 101},
                      // 766 Hz wraps far past the image; only the upper edge shows.
                      MarkerCase{1, 802, {38}, 1},
                      // The centre at column 321 is off the image.
                      MarkerCase{1, 1112, {282}, -1}),
    [](const auto& param_info) {
        return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param.item)]) +
               "At" + std::to_string(param_info.param.centre_hz) + "Hz";
    });

TEST(Displays, CentreMarkerWinsOverAnEdgeMarker) {
    Displays d;
    d.tuning.marker_low = 50;
    d.tuning.marker_high = 0; // column -1: clipped
    d.tuning.marker_centre = 50;
    d.draw_line();
    EXPECT_EQ(d.bottom(49), kCyan);
    for (int x = 0; x < 320; ++x)
        EXPECT_NE(d.bottom(x), kRed) << x;
}

TEST(Displays, OverloadRowIsRedWithoutMarkersAndTheWaterfallKeepsScrolling) {
    Displays d;
    d.set_point(830, 300.0f);
    d.draw_line();
    d.displays.scroll_waterfall(d.profile);
    EXPECT_EQ(d.waterfall.pixel(10, 18), kBlack);
    EXPECT_EQ(d.waterfall.pixel(204, 18), kCyan);
    EXPECT_EQ(d.bottom(204), kCyan); // row 19 keeps its old pixels until drawn
    d.displays.overload_line();
    for (int x = 0; x < 320; ++x)
        EXPECT_EQ(d.bottom(x), kRed) << x;

    d.displays.scroll_waterfall(d.profile);
    d.set_point(830, 0.0f);
    d.draw_line();
    for (int x = 0; x < 320; ++x)
        EXPECT_EQ(d.waterfall.pixel(x, 18), kRed) << x;
    EXPECT_EQ(d.waterfall.pixel(10, 17), kBlack);
    EXPECT_EQ(d.waterfall.pixel(204, 17), kCyan);
    EXPECT_EQ(d.bottom(10), kWhite);
    EXPECT_EQ(d.bottom(204), kCyan);
    // Twenty more lines push everything off the top.
    for (int i = 0; i < 20; ++i) {
        d.displays.scroll_waterfall(d.profile);
        d.draw_line();
    }
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(d.waterfall.pixel(10, y), kWhite) << y;
}

class ScopeColumns : public ::testing::TestWithParam<std::pair<float, int>> {};

TEST_P(ScopeColumns, RiseFromBelowTheImageWithoutTheirEndPoint) {
    Displays d;
    d.displays.clear_scope();
    d.displays.scope_column(40, GetParam().first);
    EXPECT_EQ(d.lit_height(40), GetParam().second);
    EXPECT_EQ(d.lit_height(39), 0);
    EXPECT_EQ(d.lit_height(41), 0);
}

INSTANTIATE_TEST_SUITE_P(Displays, ScopeColumns,
                         ::testing::Values(std::pair{0.0f, 0}, std::pair{1.99f, 0},
                                           std::pair{2.0f, 1}, std::pair{10.7f, 9},
                                           std::pair{64.0f, 63}, std::pair{65.0f, 64},
                                           std::pair{1.0e30f, 64}, std::pair{-5.0f, 0},
                                           std::pair{std::numeric_limits<float>::infinity(), 64},
                                           std::pair{std::numeric_limits<float>::quiet_NaN(), 0}),
                         [](const auto& param_info) {
                             return "Magnitude" + test::name_of_number(param_info.param.first);
                         });

TEST(Displays, ClearedScopeAndSpectrumAreOutlinedWithThePenLeftByTheLastDrawing) {
    Displays d;
    // Start-up: fresh canvases have a black pen; the clear leaves the scope pen white and the
    // spectrum pen green.
    d.displays.clear_scope_and_spectrum();
    EXPECT_EQ(d.scope.pixels(), std::vector<uint32_t>(128 * 64, kBlack));
    EXPECT_EQ(d.spectrum_image.pixels(), std::vector<uint32_t>(80 * 64, kBlack));
    d.receive_step();
    EXPECT_EQ(d.scope.pixel(0, 0), kWhite);
    EXPECT_EQ(d.scope.pixel(127, 63), kWhite);
    EXPECT_EQ(d.spectrum_image.pixel(79, 63), kGreen);
    // From the second step on the sync marker has left the scope pen green.
    d.receive_step();
    for (const auto& [x, y] : {std::pair{0, 0}, {127, 0}, {0, 63}, {127, 63}, {90, 0}}) {
        EXPECT_EQ(d.scope.pixel(x, y), kGreen) << x << "," << y;
    }
    EXPECT_EQ(d.scope.pixel(1, 1), kBlack);
    EXPECT_EQ(d.scope.pixel(126, 62), kBlack);
    EXPECT_EQ(d.spectrum_image.pixel(0, 0), kGreen);
    EXPECT_EQ(d.spectrum_image.pixel(78, 62), kBlack);
    // A speed change clears both with the green pens.
    d.displays.clear_scope_and_spectrum();
    EXPECT_EQ(d.scope.pixel(127, 63), kGreen);
    EXPECT_EQ(d.spectrum_image.pixel(79, 0), kGreen);
    EXPECT_EQ(d.scope.pixel(64, 32), kBlack);
}

TEST(Displays, ScopeColumnsCoverTheFrameAndTheMarkerCoversTheColumns) {
    Displays d;
    d.receive_step(100.0f);
    for (int c = 0; c < 128; ++c) {
        const uint32_t expected = c == 32 ? kRed : kWhite; // sync 1024 / C 32
        EXPECT_EQ(d.scope.pixel(c, 0), expected) << c;
        EXPECT_EQ(d.scope.pixel(c, 62), expected) << c;
        EXPECT_EQ(d.scope.pixel(c, 63), kWhite) << c; // the marker stops short of row 63
    }
}

struct MarkerColumnCase {
    uint32_t sync_position, C;
    int column;
};

class SyncMarker : public ::testing::TestWithParam<MarkerColumnCase> {};

TEST_P(SyncMarker, RedFromTheTopToRow62AtSyncOverC) {
    const MarkerColumnCase& m = GetParam();
    Displays d;
    d.displays.clear_scope();
    d.displays.sync_marker(m.sync_position, m.C);
    for (int x = 0; x < 128; ++x) {
        for (int y = 0; y < 64; ++y) {
            const bool red = x == m.column && y < 63;
            ASSERT_EQ(d.scope.pixel(x, y) == kRed, red) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Displays, SyncMarker,
                         ::testing::Values(MarkerColumnCase{1024, 32, 32},
                                           MarkerColumnCase{63 * 64 + 63, 64, 63},
                                           MarkerColumnCase{0, 16, 0},
                                           MarkerColumnCase{512, 16, 32},
                                           MarkerColumnCase{4096, 0, -1}, // no C: no marker
                                           MarkerColumnCase{4000000000u, 1, -1}),
                         [](const auto& param_info) {
                             return "Sync" + std::to_string(param_info.param.sync_position) + "C" +
                                    std::to_string(param_info.param.C);
                         });

class SpectrumLines : public ::testing::TestWithParam<std::pair<float, int>> {};

TEST_P(SpectrumLines, HangFromTheTopByMagnitudeTimesScale) {
    Displays d; // speed 2: scale 0.001
    d.displays.clear_spectrum();
    d.displays.spectrum_line(74, GetParam().first, d.profile.spectrum_scale);
    int h = 0;
    while (h < 64 && d.spectrum_image.pixel(74, h) == kGreen)
        ++h;
    EXPECT_EQ(h, GetParam().second);
    for (int y = h; y < 63; ++y)
        EXPECT_EQ(d.spectrum_image.pixel(74, y), kBlack) << y;
    EXPECT_EQ(d.spectrum_image.pixel(73, 1), kBlack);
}

INSTANTIATE_TEST_SUITE_P(Displays, SpectrumLines,
                         ::testing::Values(std::pair{0.0f, 0}, std::pair{1999.0f, 1},
                                           std::pair{5000.0f, 5}, std::pair{63999.0f, 63},
                                           std::pair{1.0e9f, 64}, std::pair{-7000.0f, 0}),
                         [](const auto& param_info) {
                             return "Magnitude" + test::name_of_number(param_info.param.first);
                         });

TEST(Displays, TwoDisplaySetsKeepTheirOwnPens) {
    Displays a;
    Displays b;
    a.receive_step();
    a.receive_step();
    b.receive_step();
    EXPECT_EQ(a.scope.pixel(0, 0), kGreen);
    EXPECT_EQ(b.scope.pixel(0, 0), kBlack);
}

struct ReleaseCase {
    MouseButton button;
    int x;
    uint32_t N;
    uint32_t expected; // the sync position starts at 777
};

class ScopeRelease : public ::testing::TestWithParam<ReleaseCase> {};

TEST_P(ScopeRelease, LeftButtonOverTheLeftHalfSetsTheSync) {
    const ReleaseCase& r = GetParam();
    EXPECT_EQ(sync_from_scope_release(777, r.button, r.x, r.N), r.expected);
}

INSTANTIATE_TEST_SUITE_P(Displays, ScopeRelease,
                         ::testing::Values(ReleaseCase{MouseButton::left, 63, 4096, 63 * 32},
                                           ReleaseCase{MouseButton::left, 63, 8192, 63 * 64},
                                           ReleaseCase{MouseButton::left, 63, 2048, 63 * 16},
                                           ReleaseCase{MouseButton::left, 0, 4096, 0},
                                           ReleaseCase{MouseButton::left, 10, 2048, 160},
                                           ReleaseCase{MouseButton::left, 64, 4096, 777},
                                           ReleaseCase{MouseButton::left, 127, 4096, 777},
                                           ReleaseCase{MouseButton::left, -1, 4096, 777},
                                           ReleaseCase{MouseButton::left, -5000, 8192, 777},
                                           ReleaseCase{MouseButton::right, 10, 4096, 777},
                                           ReleaseCase{MouseButton::middle, 10, 4096, 777}),
                         [](const auto& param_info) {
                             const ReleaseCase& c = param_info.param;
                             const char* button = c.button == MouseButton::left    ? "Left"
                                                  : c.button == MouseButton::right ? "Right"
                                                                                   : "Middle";
                             return button + ("AtX" + test::name_of_number(c.x)) + "N" +
                                    std::to_string(c.N);
                         });

} // namespace
} // namespace quavel
