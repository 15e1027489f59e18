#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "rx/memory_canvas.h"
#include "support/param_name.h"

namespace quavel {
namespace {

constexpr uint32_t kBlue = 0x00FF0000;

using Points = std::vector<std::pair<int, int>>;

// Every pixel of the canvas that is not white, row by row.
Points drawn(const MemoryCanvas& c) {
    Points out;
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            if (c.pixel(x, y) != kWhite) out.emplace_back(x, y);
        }
    }
    return out;
}

TEST(MemoryCanvas, StartsWhiteAndClipsPixels) {
    MemoryCanvas c(4, 3);
    EXPECT_EQ(c.pixels(), std::vector<uint32_t>(12, kWhite));
    c.set_pixel(-1, 0, kRed);
    c.set_pixel(4, 0, kRed);
    c.set_pixel(0, 3, kRed);
    c.set_pixel(INT_MIN, INT_MAX, kRed);
    EXPECT_TRUE(drawn(c).empty());
    c.set_pixel(3, 2, kRed);
    EXPECT_EQ(c.pixel(3, 2), kRed);
    EXPECT_EQ(c.pixel(4, 2), 0u);
    EXPECT_EQ(c.pixel(-1, -1), 0u);
    MemoryCanvas empty(-5, 7); // a nonsense size gives an image without pixels
    EXPECT_EQ(empty.width(), 0);
    empty.set_pixel(0, 0, kRed);
    empty.line(0, 0, 5, 5, kRed);
    empty.rectangle({0, 0, 5, 5}, kRed, kRed);
    empty.copy_rect({0, 0, 5, 5}, {1, 1, 6, 6});
    EXPECT_TRUE(empty.pixels().empty());
}

struct LineCase {
    int x0, y0, x1, y1;
    Points expected;
};

class Lines : public ::testing::TestWithParam<LineCase> {};

TEST_P(Lines, DrawEveryStepButTheEndPoint) {
    const LineCase& lc = GetParam();
    MemoryCanvas c(8, 8);
    c.line(lc.x0, lc.y0, lc.x1, lc.y1, kBlack);
    EXPECT_EQ(drawn(c), lc.expected);
}

INSTANTIATE_TEST_SUITE_P(
    MemoryCanvas, Lines,
    ::testing::Values(
        LineCase{1, 1, 4, 1, {{1, 1}, {2, 1}, {3, 1}}},                         // rightwards
        LineCase{4, 1, 1, 1, {{2, 1}, {3, 1}, {4, 1}}},                         // leftwards
        LineCase{2, 5, 2, 2, {{2, 3}, {2, 4}, {2, 5}}},                         // upwards
        LineCase{2, 2, 2, 5, {{2, 2}, {2, 3}, {2, 4}}},                         // downwards
        LineCase{3, 3, 3, 3, {}},                                               // a point: nothing
        LineCase{3, 4, 3, 3, {{3, 4}}},                                         // one pixel
        LineCase{0, 0, 4, 4, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},                 // diagonal
        LineCase{0, 0, 6, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}}, // shallow
        LineCase{1, 0, 3, 5, {{1, 0}, {1, 1}, {2, 2}, {2, 3}, {3, 4}}},         // steep
        // Clipped: from the row below the image up to the top, and across from far outside.
        LineCase{6, 8, 6, -3, {{6, 0}, {6, 1}, {6, 2}, {6, 3}, {6, 4}, {6, 5}, {6, 6}, {6, 7}}},
        LineCase{-100, 7, 3, 7, {{0, 7}, {1, 7}, {2, 7}}}, LineCase{-4, -4, 2, 2, {{0, 0}, {1, 1}}},
        LineCase{0, 8, 4, 12, {}}),
    [](const auto& param_info) {
        const auto at = [](int x, int y) {
            return test::name_of_number(x) + "_" + test::name_of_number(y);
        };
        return "From" + at(param_info.param.x0, param_info.param.y0) + "To" +
               at(param_info.param.x1, param_info.param.y1);
    });

TEST(MemoryCanvas, LinesFromTheEndsOfTheIntRangeAreClippedQuickly) {
    MemoryCanvas c(5, 3);
    c.line(INT_MIN, 1, INT_MAX, 1, kBlack);
    c.line(2, INT_MAX, 2, INT_MIN, kBlack);
    c.line(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kBlack); // passes through the image near (0, 0)
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(c.pixel(x, 1), kBlack) << x;
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(c.pixel(2, y), kBlack) << y;
    EXPECT_EQ(c.pixel(0, 0), kBlack);
}

TEST(MemoryCanvas, RectangleHasOutlineAndFillWithRightAndBottomExclusive) {
    MemoryCanvas c(6, 5);
    c.rectangle({1, 1, 5, 4}, kBlack, kGreen);
    const std::vector<uint32_t> expected = {
        kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, //
        kWhite, kGreen, kGreen, kGreen, kGreen, kWhite, //
        kWhite, kGreen, kBlack, kBlack, kGreen, kWhite, //
        kWhite, kGreen, kGreen, kGreen, kGreen, kWhite, //
        kWhite, kWhite, kWhite, kWhite, kWhite, kWhite, //
    };
    EXPECT_EQ(c.pixels(), expected);
    MemoryCanvas swapped(6, 5); // corners the wrong way round give the same rectangle
    swapped.rectangle({5, 4, 1, 1}, kBlack, kGreen);
    EXPECT_EQ(swapped.pixels(), expected);
}

TEST(MemoryCanvas, RectangleIsClippedAndEmptyRectanglesDrawNothing) {
    MemoryCanvas c(4, 4);
    c.rectangle({2, 2, 2, 9}, kBlack, kRed);
    c.rectangle({0, 3, 4, 3}, kBlack, kRed);
    EXPECT_TRUE(drawn(c).empty());
    // Only the outline's left and top edges and the interior fall inside.
    c.rectangle({1, 1, INT_MAX, INT_MAX}, kBlack, kRed);
    EXPECT_EQ(c.pixel(1, 1), kRed);
    EXPECT_EQ(c.pixel(3, 1), kRed);
    EXPECT_EQ(c.pixel(1, 3), kRed);
    EXPECT_EQ(c.pixel(2, 2), kBlack);
    EXPECT_EQ(c.pixel(3, 3), kBlack);
    EXPECT_EQ(c.pixel(0, 0), kWhite);
    c.rectangle({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, kBlue, kRed); // whole image is interior
    EXPECT_EQ(c.pixels(), std::vector<uint32_t>(16, kBlue));
}

// A 5 x 4 image whose pixel (x, y) holds 10 y + x.
MemoryCanvas numbered() {
    MemoryCanvas c(5, 4);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x)
            c.set_pixel(x, y, static_cast<uint32_t>(10 * y + x));
    }
    return c;
}

struct CopyCase {
    const char* name;
    Rect source, dest;
    std::vector<uint32_t> expected;
};

class Copies : public ::testing::TestWithParam<CopyCase> {};

TEST_P(Copies, ReadEverySourcePixelBeforeItIsOverwritten) {
    MemoryCanvas c = numbered();
    c.copy_rect(GetParam().source, GetParam().dest);
    EXPECT_EQ(c.pixels(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    MemoryCanvas, Copies,
    ::testing::Values(
        // The waterfall's scroll: every line up by one, the bottom line kept.
        CopyCase{"Up", {0, 1, 5, 4}, {0, 0, 5, 3}, {10, 11, 12, 13, 14, 20, 21, 22, 23, 24,
                                                    30, 31, 32, 33, 34, 30, 31, 32, 33, 34}},
        CopyCase{"Down", {0, 0, 5, 3}, {0, 1, 5, 4}, {0,  1,  2,  3,  4,  0,  1,  2,  3,  4,
                                                      10, 11, 12, 13, 14, 20, 21, 22, 23, 24}},
        CopyCase{"Right", {0, 0, 4, 4}, {1, 0, 5, 4}, {0,  0,  1,  2,  3,  10, 10, 11, 12, 13,
                                                       20, 20, 21, 22, 23, 30, 30, 31, 32, 33}},
        CopyCase{"Left", {1, 0, 5, 4}, {0, 0, 4, 4}, {1,  2,  3,  4,  4,  11, 12, 13, 14, 14,
                                                      21, 22, 23, 24, 24, 31, 32, 33, 34, 34}},
        // Pixels whose source or destination lies outside the image are left alone.
        CopyCase{"SourcePartlyOutside", {3, 2, 6, 5}, {0, 0, 3, 3}, {23, 24, 2,  3,  4,  33, 34,
                                                                     12, 13, 14, 20, 21, 22, 23,
                                                                     24, 30, 31, 32, 33, 34}},
        CopyCase{"DestPartlyOutside", {0, 0, 2, 2}, {4, 3, 6, 5}, {0,  1,  2,  3,  4,  10, 11,
                                                                   12, 13, 14, 20, 21, 22, 23,
                                                                   24, 30, 31, 32, 33, 0}},
        CopyCase{"FarOutside",
                 {INT_MIN, 0, INT_MIN + 5, 4},
                 {0, 0, 5, 4},
                 {0, 1, 2, 3, 4, 10, 11, 12, 13, 14, 20, 21, 22, 23, 24, 30, 31, 32, 33, 34}},
        CopyCase{"Empty", {0, 0, 0, 4}, {1, 0, 1, 4}, {0,  1,  2,  3,  4,  10, 11, 12, 13, 14,
                                                       20, 21, 22, 23, 24, 30, 31, 32, 33, 34}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

} // namespace
} // namespace quavel
