// Framing and reading of the control API's lines.
#include <gtest/gtest.h>

#include "link/api_protocol.h"

namespace {

using quavel::link::CommandType;
using quavel::link::kMaxLineBytes;
using quavel::link::LineFramer;
using quavel::link::parse_command;

TEST(LineFramer, CutsLinesAcrossChunksAndDropsTheCarriageReturn) {
    LineFramer framer;
    EXPECT_TRUE(framer.feed("{\"a\":1}\r\n{\"b"));
    EXPECT_EQ(framer.next_line(), QByteArray("{\"a\":1}"));
    EXPECT_EQ(framer.next_line(), std::nullopt);
    EXPECT_TRUE(framer.feed("\":2}\n\n"));
    EXPECT_EQ(framer.next_line(), QByteArray("{\"b\":2}"));
    EXPECT_EQ(framer.next_line(), QByteArray());
    EXPECT_EQ(framer.buffered(), 0);
}

TEST(LineFramer, ALineOverTheLimitSpoilsTheStreamWhetherEndedOrNot) {
    const QByteArray longest(kMaxLineBytes, 'x');
    LineFramer fits;
    EXPECT_TRUE(fits.feed(longest + "\n"));
    EXPECT_EQ(fits.next_line()->size(), kMaxLineBytes);

    LineFramer unended;
    EXPECT_TRUE(unended.feed(longest));
    EXPECT_FALSE(unended.feed("x"));
    EXPECT_TRUE(unended.overflowed());
    EXPECT_EQ(unended.next_line(), std::nullopt);

    // A whole long line behind a short one, in one chunk: found when it is taken.
    LineFramer ended;
    ended.feed("{}\n" + longest + "x\n{}\n");
    EXPECT_EQ(ended.next_line(), QByteArray("{}"));
    EXPECT_EQ(ended.next_line(), std::nullopt);
    EXPECT_TRUE(ended.overflowed());
}

TEST(LineFramer, ManyShortLinesAreTakenInOrder) {
    LineFramer framer;
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(framer.feed(QByteArray::number(i) + "\n"));
        ASSERT_EQ(framer.next_line(), QByteArray::number(i));
    }
}

struct ParseCase {
    const char* name;
    const char* line;
    std::optional<CommandType> type; // nothing: refused
    const char* error_part = "";
};

class ParseCommand : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommand, ReadsOrRefusesWithAReason) {
    const ParseCase& c = GetParam();
    const quavel::link::ParsedCommand parsed = parse_command(QByteArray(c.line));
    if (c.type) {
        ASSERT_TRUE(parsed.command) << parsed.error.toStdString();
        EXPECT_EQ(parsed.command->type, *c.type);
    } else {
        EXPECT_FALSE(parsed.command);
        EXPECT_TRUE(parsed.error.contains(c.error_part)) << parsed.error.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseCommand,
    ::testing::Values(
        ParseCase{"StatusGet", R"({"type":"status.get"})", CommandType::StatusGet},
        ParseCase{"TxText", R"({"type":"tx.text","text":"CQ"})", CommandType::TxText},
        ParseCase{"Tune", R"({"type":"tune","hz":1200})", CommandType::Tune},
        ParseCase{"Speed4", R"({"type":"speed","speed":4})", CommandType::Speed},
        ParseCase{"OtherClear", R"({"type":"other.set","call":""})", CommandType::OtherSet},
        ParseCase{"LogNoFields", R"({"type":"log.qso"})", CommandType::LogQso},
        ParseCase{"LogNumber", R"({"type":"log.qso","fields":{"FREQ":14.07}})",
                  CommandType::LogQso},
        ParseCase{"NotJson", "{type:", std::nullopt, "not JSON"},
        ParseCase{"Array", "[1,2]", std::nullopt, "not a JSON object"},
        ParseCase{"NoType", R"({"text":"x"})", std::nullopt, "type"},
        ParseCase{"Unknown", R"({"type":"format.disk"})", std::nullopt, "unknown"},
        ParseCase{"TextNotString", R"({"type":"tx.text","text":5})", std::nullopt, "text"},
        ParseCase{"HzFraction", R"({"type":"tune","hz":1000.5})", std::nullopt, "hz"},
        ParseCase{"HzHuge", R"({"type":"tune","hz":1e300})", std::nullopt, "hz"},
        ParseCase{"Speed3", R"({"type":"speed","speed":3})", std::nullopt, "1, 2 or 4"},
        ParseCase{"FieldsArray", R"({"type":"log.qso","fields":[]})", std::nullopt, "fields"},
        ParseCase{"FieldNested", R"({"type":"log.qso","fields":{"CALL":{}}})", std::nullopt,
                  "CALL"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(ParseCommand, KeepsTheIdAndTypeOfARefusedCommand) {
    const auto parsed = parse_command(R"({"type":"speed","speed":9,"id":"a7"})");
    EXPECT_EQ(parsed.type, "speed");
    EXPECT_EQ(parsed.id.toString(), "a7");
    const QJsonObject error = quavel::link::error_fields(parsed.error, parsed.type, parsed.id);
    EXPECT_EQ(error.value("id").toString(), "a7");
    EXPECT_EQ(error.value("command").toString(), "speed");
}

TEST(EventLine, IsOneCompactLineWithItsType) {
    const QByteArray line = quavel::link::event_line("rx.text", {{"text", "a\nb"}});
    EXPECT_TRUE(line.endsWith('\n'));
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_TRUE(line.contains(R"("type":"rx.text")"));
}

} // namespace
