#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "station/stored_text.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

namespace quavel {
namespace {

using test::TempDir;

struct FilterCase {
    std::string raw;
    std::string kept;
};

class StoredTextFilterCases : public ::testing::TestWithParam<FilterCase> {};

TEST_P(StoredTextFilterCases, Keeps) {
    EXPECT_EQ(filter_stored_text(GetParam().raw), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredTextFilterCases,
                         ::testing::Values(
                             // A line break keeps the words either side apart.
                             FilterCase{"Hello, world!\nLine 2", "Hello world Line 2"},
                             FilterCase{"Hello, world!\r\nLine 2\r\n", "Hello world Line 2 "},
                             FilterCase{"one\rtwo", "one two"}, FilterCase{"one \ntwo", "one two"},
                             FilterCase{"one\n\n\ntwo", "one two"}, FilterCase{"\n\nabc", "abc"},
                             FilterCase{"cq de g4abc", "cq de g4abc"}, // lower case kept
                             FilterCase{"!?,.;:\n-=@\n\n#$%\n", ""},   // punctuation only
                             FilterCase{"a\tb\x01"
                                        "c\x7f"
                                        "d\xc3\xa9"
                                        "e\xff",
                                        "abcde"}, // tabs, controls, 8-bit
                             FilterCase{"", ""}),
                         [](const auto& param_info) {
                             return test::name_of_characters(param_info.param.raw);
                         });

TEST(StoredTextFilter, KeepsAtMost255) {
    EXPECT_EQ(filter_stored_text(std::string(300, 'Q')), std::string(255, 'Q'));
    // The blanks that stand for line breaks count like any kept character.
    std::string lines;
    for (int i = 0; i < 200; ++i)
        lines += "AB\n";
    const std::string kept = filter_stored_text(lines);
    ASSERT_EQ(kept.size(), 255u);
    EXPECT_EQ(kept.substr(0, 6), "AB AB ");
}

TEST(StoredTextFilter, FeedsInPieces) {
    StoredTextFilter f;
    EXPECT_TRUE(f.feed("Hello,"));
    EXPECT_TRUE(f.feed(" world!\r"));
    EXPECT_TRUE(f.feed("\nLine 2"));
    EXPECT_EQ(f.text(), "Hello world Line 2");
    EXPECT_FALSE(f.feed(std::string(1000, 'x')));
    EXPECT_TRUE(f.full());
}

TEST(StoredTextFile, ReadsTheFileAfreshEachTime) {
    TempDir dir;
    dir.write("1.TXT", "Hello, world!\nLine 2\n");
    StoredTextRead r = read_stored_text(dir.path(), 1);
    EXPECT_FALSE(r.message);
    EXPECT_EQ(r.text, "Hello world Line 2 ");
    dir.write("1.TXT", "NAME IS BOB");
    EXPECT_EQ(read_stored_text(dir.path(), 1).text, "NAME IS BOB");
}

TEST(StoredTextFile, LongFileGivesItsFirst255) {
    TempDir dir;
    // Mostly dropped bytes, so the kept characters span many reads.
    std::string raw;
    for (int i = 0; i < 400; ++i)
        raw += "--,,..!!" + std::to_string(i % 10);
    dir.write("2.TXT", raw + std::string(kStoredTextMaxBytes - raw.size(), 'Z'));
    const StoredTextRead r = read_stored_text(dir.path(), 2);
    EXPECT_FALSE(r.message);
    ASSERT_EQ(r.text.size(), 255u);
    EXPECT_EQ(r.text.substr(0, 12), "012345678901");
    EXPECT_EQ(r.text.back(), '4');
}

TEST(StoredTextFile, PunctuationOnlyInsertsNothingWithoutMessage) {
    TempDir dir;
    dir.write("2.TXT", "...\n!!!\n");
    const StoredTextRead r = read_stored_text(dir.path(), 2);
    EXPECT_FALSE(r.message);
    EXPECT_EQ(r.text, "");
}

TEST(StoredTextFile, MissingFileMessage) {
    TempDir dir;
    dir.write("1.TXT", "ONE");
    for (int n = 1; n <= 3; ++n) {
        if (n == 1) continue;
        const StoredTextRead r = read_stored_text(dir.path(), n);
        ASSERT_TRUE(r.message);
        EXPECT_EQ(r.message->text, std::to_string(n) + ".TXT File Not Available");
        EXPECT_EQ(r.message->title, "Vexmar Quavel Program V2.5");
        EXPECT_EQ(r.text, "");
    }
}

// What cannot be a stored text is refused at once with a message naming it, and nothing is
// inserted: none of these may hold the window's thread.
TEST(StoredTextFile, WhatIsNotAStoredTextIsRefusedAtOnce) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "1.TXT");
    ASSERT_EQ(::mkfifo((dir.path() / "2.TXT").c_str(), 0600), 0);       // nobody ever writes to it
    std::filesystem::create_symlink("/dev/zero", dir.path() / "3.TXT"); // endless, nothing kept
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        const StoredTextRead r = read_stored_text(dir.path(), n);
        ASSERT_TRUE(r.message);
        EXPECT_EQ(r.message->text.rfind(std::to_string(n) + ".TXT cannot be read: it is a", 0), 0u)
            << r.message->text;
        EXPECT_EQ(r.message->title, "Vexmar Quavel Program V2.5");
        EXPECT_EQ(r.text, "");
    }
}

TEST(StoredTextFile, AFileFarLongerThanAStoredTextIsRefused) {
    TempDir dir;
    dir.write("1.TXT", "CQ CQ " + std::string(kStoredTextMaxBytes, ' '));
    const StoredTextRead r = read_stored_text(dir.path(), 1);
    ASSERT_TRUE(r.message);
    EXPECT_NE(r.message->text.find("bytes long"), std::string::npos) << r.message->text;
    EXPECT_EQ(r.text, "");
}

} // namespace
} // namespace quavel
