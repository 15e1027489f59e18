// The sensitivity bench's result table: the same rows as CSV and as the performance document's
// markdown.
#include "table.h"

#include <optional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace quavel::perf {
namespace {

TEST(ResultTable, CsvWritesNumbersByTheirColumn) {
    Table t({column("speed"), column("snr_db"), column("cer", 6), column("note")});
    t.add({4, -3.0, 0.0125, "ok"});
    t.add({1, -0.4, 1.0 / 3.0, std::optional<double>()});
    t.add({2}); // the rest left empty
    EXPECT_EQ(t.csv(), "speed,snr_db,cer,note\n"
                       "4,-3,0.012500,ok\n"
                       "1,-0,0.333333,\n"
                       "2,,,\n");
}

TEST(ResultTable, CsvQuotesOnlyWhatItMust) {
    const struct {
        const char* cell;
        const char* field;
    } cases[] = {
        {"plain text", "plain text"},     {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""}, {"", ""},
    };
    for (const auto& c : cases) {
        Table t({column("h")});
        t.add({c.cell});
        EXPECT_EQ(t.csv(), std::string("h\n") + c.field + "\n") << c.cell;
    }
}

TEST(ResultTable, MarkdownAlignsAndFormatsAsTheDocument) {
    Column speed = column("Speed");
    speed.align = Align::Left;
    Column snr = column("SNR", 1, " dB");
    snr.sign = true;
    Column gap = column("Gap", 1, " dB");
    gap.missing = "-";
    Table t({speed, snr, column("CER", 2, "%"), gap, column("Note")});
    t.add({4, 10.0, 12.346, 1.25, "a|b"});
    t.add({1, -15.0, 0.0, std::optional<double>(), "two\nlines"});
    EXPECT_EQ(t.markdown(), "| Speed | SNR | CER | Gap | Note |\n"
                            "|---|--:|--:|--:|--:|\n"
                            "| 4 | +10.0 dB | 12.35% | 1.2 dB | a\\|b |\n"
                            "| 1 | -15.0 dB | 0.00% | - | two lines |\n");
}

TEST(ResultTable, RefusesARowLongerThanItsColumns) {
    Table t({column("a"), column("b")});
    EXPECT_THROW(t.add({1, 2, 3}), std::invalid_argument);
    EXPECT_TRUE(t.empty());
}

TEST(ResultTable, FormatsSignedAndFixedValues) {
    EXPECT_EQ(fixed(2.5, 0), "2");
    EXPECT_EQ(fixed(-1.0 / 3.0, 3), "-0.333");
    EXPECT_EQ(signed_fixed(0.0, 1), "+0.0");
    EXPECT_EQ(signed_fixed(-12.25, 1), "-12.2");
    EXPECT_EQ(fixed(1e30, 1).size(), 33u); // not cut short
}

} // namespace
} // namespace quavel::perf
