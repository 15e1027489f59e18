#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/text_pane.h"
#include "support/param_name.h"
#include "tx/tx_queue.h"
#include "tx/type_ahead.h"

namespace quavel {
namespace {

std::vector<uint32_t> entries(const TxQueue& q) {
    return {q.cells().begin(), q.cells().begin() + q.count()};
}

struct EnqueueCase {
    char c;
    std::vector<uint32_t> symbols;
};
class Enqueue : public ::testing::TestWithParam<EnqueueCase> {};

TEST_P(Enqueue, AppendsTheCharactersSymbols) {
    TxQueue q;
    ASSERT_TRUE(q.append(3));
    EXPECT_TRUE(q.enqueue(static_cast<unsigned char>(GetParam().c)));
    std::vector<uint32_t> want = {3};
    want.insert(want.end(), GetParam().symbols.begin(), GetParam().symbols.end());
    EXPECT_EQ(entries(q), want);
}

INSTANTIATE_TEST_SUITE_P(Characters, Enqueue,
                         ::testing::Values(EnqueueCase{'?', {6, 21}}, EnqueueCase{'@', {6, 14}},
                                           EnqueueCase{'=', {6, 10}}, EnqueueCase{'A', {2}},
                                           EnqueueCase{' ', {45}}, EnqueueCase{'E', {44}},
                                           EnqueueCase{'a', {}}, EnqueueCase{'\r', {}},
                                           EnqueueCase{'!', {}}),
                         [](const auto& param_info) {
                             return test::name_of_character(param_info.param.c);
                         });

TEST(TxQueue, PopShiftsDownAndKeepsEmptyCellsZero) {
    TxQueue q;
    q.enqueue('?');
    q.enqueue('A');
    q.pop();
    EXPECT_EQ(entries(q), (std::vector<uint32_t>{21, 2}));
    q.pop();
    q.pop();
    EXPECT_TRUE(q.is_empty());
    EXPECT_EQ(q.head(), 0u);
    q.pop(); // popping an empty queue changes nothing
    EXPECT_EQ(q.count(), 0u);
    for (const uint32_t cell : q.cells())
        EXPECT_EQ(cell, 0u);
}

TEST(TxQueue, NeverGrowsBeyondSixteenCells) {
    TxQueue q;
    for (int i = 0; i < 15; ++i)
        ASSERT_TRUE(q.enqueue('A'));
    // An escaped character needs two cells: refused whole, not half appended.
    EXPECT_FALSE(q.enqueue('?'));
    EXPECT_EQ(q.count(), 15u);
    EXPECT_TRUE(q.enqueue('B'));
    EXPECT_FALSE(q.enqueue('C'));
    EXPECT_FALSE(q.append(1));
    EXPECT_EQ(q.count(), 16u);
    EXPECT_EQ(q.cells()[15], 3u);
    q.clear();
    EXPECT_TRUE(q.is_empty());
    for (const uint32_t cell : q.cells())
        EXPECT_EQ(cell, 0u);
}

TEST(TxQueue, RefusesNumbersThatAreNoSymbol) {
    TxQueue q;
    EXPECT_FALSE(q.append(0));
    EXPECT_FALSE(q.append(46));
    EXPECT_TRUE(q.append(45));
    EXPECT_EQ(entries(q), (std::vector<uint32_t>{45}));
}

struct PullCase {
    const char* memo4;
    bool took;
    const char* shown; // in Memo5
    std::vector<uint32_t> queued;
    const char* left; // in Memo4
};
class Pull : public ::testing::TestWithParam<PullCase> {};

TEST_P(Pull, MovesOneCharacter) {
    const PullCase& c = GetParam();
    StringPane memo4;
    StringPane memo5;
    memo4.set_text(c.memo4);
    memo5.set_text(">");
    TxQueue q;
    EXPECT_EQ(type_ahead_pull(memo4, memo5, q), c.took);
    EXPECT_EQ(memo5.text(), std::string(">") + c.shown);
    EXPECT_EQ(entries(q), c.queued);
    EXPECT_EQ(memo4.text(), c.left);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, Pull,
    ::testing::Values(PullCase{"AB", true, "A", {2}, "B"}, PullCase{"?X", true, "?", {6, 21}, "X"},
                      // Lower case that did not pass the key handler goes as the capital.
                      PullCase{"qa", true, "Q", {18}, "a"},
                      // A line break goes as one space and is shown as it stood; a CR LF pair
                      // is one break.
                      PullCase{"\r\nDE", true, "\r\n", {45}, "DE"},
                      PullCase{"\nDE", true, "\n", {45}, "DE"},
                      PullCase{"\r\r\n", true, "\r", {45}, "\r\n"},
                      // Outside the repertoire: shown, sends nothing.
                      PullCase{"!A", true, "!", {}, "A"}, PullCase{"", false, "", {}, ""}),
    [](const auto& param_info) { return test::name_of_characters(param_info.param.memo4); });

} // namespace
} // namespace quavel
