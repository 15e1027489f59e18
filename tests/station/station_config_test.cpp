#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "station/station_config.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

namespace quavel {
namespace {

using test::TempDir;

bool mentions(const std::vector<std::string>& lines, std::string_view word) {
    for (const auto& l : lines)
        if (l.find(word) != std::string::npos) return true;
    return false;
}

// --- The text the OK button writes ---

struct FileTextCase {
    std::string field;
    int port_item;
    int delay_item;
    std::string file;
};

class SetupFileText : public ::testing::TestWithParam<FileTextCase> {};

TEST_P(SetupFileText, IsExact) {
    const FileTextCase& c = GetParam();
    EXPECT_EQ(setup_file_text({c.field, c.port_item, c.delay_item}), c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetupFileText,
    ::testing::Values(
        // An empty field: "NOCALL" and a blank, then the blank before the port word.
        FileTextCase{"", 0, 0, "NOCALL  COM1 NONE"}, FileTextCase{"G4ABC", 1, 1, "G4ABC COM2 ON"},
        FileTextCase{"G4ABC", 2, 0, "G4ABC COM3 NONE"},
        FileTextCase{"G4ABC", 3, 1, "G4ABC COM4 ON"},
        FileTextCase{"G4ABC", 4, 0, "G4ABC NONE NONE"},
        // No selection writes "NONE" in both groups.
        FileTextCase{"G4ABC", -1, -1, "G4ABC NONE NONE"},
        // A typed "NOCALL" is an ordinary callsign: one blank.
        FileTextCase{"NOCALL", 0, 0, "NOCALL COM1 NONE"},
        // Whitespace would split the callsign into two tokens and shift the port and delay.
        FileTextCase{"AB CD", 0, 1, "ABCD COM1 ON"},
        FileTextCase{"G4ABC\r\n", 0, 1, "G4ABC COM1 ON"},
        FileTextCase{" \n\t", 3, 1, "NOCALL  COM4 ON"},
        FileTextCase{"ABCDEFGHIJKLMNOPQ", 0, 0, "ABCDEFGHIJKLMN COM1 NONE"}),
    [](const auto& param_info) {
        return test::name_of_characters(param_info.param.field) + "Port" +
               test::name_of_number(param_info.param.port_item) + "Delay" +
               test::name_of_number(param_info.param.delay_item);
    });

TEST(SetupPanel, RadioGroupWords) {
    for (int item = -2; item <= 6; ++item) {
        const std::string_view expected =
            item >= 0 && item <= 3 ? kPortWords[static_cast<size_t>(item)] : "NONE";
        EXPECT_EQ(port_word_for_item(item), expected) << item;
    }
    EXPECT_EQ(delay_word_for_item(-1), "NONE");
    EXPECT_EQ(delay_word_for_item(0), "NONE"); // "OFF" is never written
    EXPECT_EQ(delay_word_for_item(1), "ON");
    EXPECT_EQ(delay_word_for_item(2), "NONE");

    EXPECT_EQ(port_item_for_word("COM3"), 2);
    EXPECT_EQ(port_item_for_word("NONE"), 4);
    EXPECT_EQ(port_item_for_word("com3"), std::nullopt);
    EXPECT_EQ(port_item_for_word("CD"), std::nullopt);
    EXPECT_EQ(delay_item_for_word("NONE"), 0);
    EXPECT_EQ(delay_item_for_word("ON"), 1);
    EXPECT_EQ(delay_item_for_word("OFF"), std::nullopt);
}

TEST(SetupPanel, CallsignKeyUpperCasesOnlyLetters) {
    EXPECT_EQ(callsign_key('a'), 'A');
    EXPECT_EQ(callsign_key('z'), 'Z');
    for (const char c : {'A', '0', '/', '`', '{', ' ', '\r', '\xe9'})
        EXPECT_EQ(callsign_key(c), c);
}

// --- Reading tokens ---

struct ReadCase {
    std::string text;
    std::string callsign, port, delay; // expected settings, starting from "OLD"/"COM4"/"ON"
    std::string problem;               // a word the problem lines mention; empty: none
};

class ConfigTokens : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ConfigTokens, Apply) {
    const ReadCase& c = GetParam();
    StationSettings s{"OLD", "COM4", "ON"};
    const auto problems = apply_config_text(c.text, "KEYSETUP.INI", s);
    EXPECT_EQ(s.callsign, c.callsign);
    EXPECT_EQ(s.port_name, c.port);
    EXPECT_EQ(s.delay_word, c.delay);
    if (c.problem.empty()) {
        EXPECT_TRUE(problems.empty()) << problems.front();
    } else {
        ASSERT_FALSE(problems.empty());
        EXPECT_TRUE(mentions(problems, c.problem)) << problems.front();
        EXPECT_TRUE(mentions(problems, "KEYSETUP.INI"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigTokens,
    ::testing::Values(ReadCase{"NOCALL  COM1 NONE", "NOCALL", "COM1", "NONE", ""},
                      ReadCase{"G4ABC\tCOM2\n\n ON\n", "G4ABC", "COM2", "ON", ""},
                      ReadCase{"\r\n  G4ABC\r\nCOM3\r\nNONE\r\n", "G4ABC", "COM3", "NONE", ""},
                      ReadCase{"G4ABC COM2 ON trailing words", "G4ABC", "COM2", "ON", ""},
                      ReadCase{"ABCDEFGHIJKLMN COM1 ON", "ABCDEFGHIJKLMN", "COM1", "ON", ""},
                      // Too long for its 14 characters: refused whole, never cut and never sent.
                      ReadCase{"ABCDEFGHIJKLMNO COM1 ON", "NOCALL", "COM1", "ON",
                               "ABCDEFGHIJKLMNO"},
                      ReadCase{"G4ABC COM10 ON", "G4ABC", "NONE", "ON", "COM10"},
                      ReadCase{"G4ABC com1 ON", "G4ABC", "NONE", "ON", "com1"},
                      ReadCase{"G4ABC COM1 OFF", "G4ABC", "COM1", "NONE", "OFF"},
                      ReadCase{"G4ABC COM1 ONNNN", "G4ABC", "COM1", "NONE", "ONNNN"},
                      // A callsign written with a blank in it by an older program: the shifted
                      // words are refused instead of keying a port called "CD".
                      ReadCase{"AB CD COM1 ON", "AB", "NONE", "NONE", "CD"},
                      // Missing tokens leave their settings as they were.
                      ReadCase{"G4ABC", "G4ABC", "COM4", "ON", "PTT port, PTT delay"},
                      ReadCase{"G4ABC COM1", "G4ABC", "COM1", "ON", "PTT delay"},
                      ReadCase{" \n\t ", "OLD", "COM4", "ON", "callsign"}),
    [](const auto& param_info) { return test::name_of_characters(param_info.param.text); });

TEST(ConfigTokens, HugeTokenIsQuotedShort) {
    StationSettings s;
    const std::string big(100000, 'X');
    const auto problems = apply_config_text(big + " COM1 ON", "KEYSETUP.INI", s);
    EXPECT_EQ(s.callsign, "NOCALL");
    EXPECT_EQ(s.port_name, "COM1");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("\"XXXXXXXXXXXXXXXXXXXX...\""), std::string::npos) << problems[0];
    EXPECT_LT(problems[0].size(), 200u);
}

// --- The file ---

TEST(ConfigFile, LargeFileReadsInPieces) {
    TempDir dir;
    // Tokens straddling the reader's chunk boundaries, then megabytes nobody needs to read.
    dir.write("KEYSETUP.INI", std::string(511, ' ') + "G4ABC" + std::string(1000, '\n') + "COM1 " +
                                  std::string(3000, 'Y') + " " + std::string(2000000, 'Z'));
    StationSettings s;
    const ConfigRead r = read_config_file(dir.path(), s);
    EXPECT_EQ(r.status, ConfigFileStatus::Read);
    EXPECT_EQ(s.callsign, "G4ABC");
    EXPECT_EQ(s.port_name, "COM1");
    EXPECT_EQ(s.delay_word, "NONE");
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_NE(r.problems[0].find("PTT delay"), std::string::npos);
}

// A directory, a FIFO nobody writes to, an endless device: refused at once, settings kept.
TEST(ConfigFile, WhatIsNotAFileIsRefusedAndLeavesSettings) {
    const std::vector<std::function<void(const std::filesystem::path&)>> makers = {
        [](const std::filesystem::path& p) { std::filesystem::create_directory(p); },
        [](const std::filesystem::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
        [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/zero", p); },
    };
    for (const auto& make : makers) {
        TempDir dir;
        make(dir.path() / "KEYSETUP.INI");
        StationSettings s{"G4ABC", "COM1", "ON"};
        const ConfigRead r = read_config_file(dir.path(), s);
        EXPECT_EQ(r.status, ConfigFileStatus::Unreadable);
        ASSERT_FALSE(r.problems.empty());
        EXPECT_NE(r.problems[0].find("KEYSETUP.INI: it is a"), std::string::npos) << r.problems[0];
        EXPECT_EQ(s.callsign, "G4ABC");
        EXPECT_EQ(s.port_name, "COM1");
    }
}

// --- Start-up ---

TEST(Startup, WithoutFile) {
    TempDir dir;
    StationSettings s{"", "COM2", "ON"};
    const StartupConfig st = load_config_at_startup(dir.path(), s);
    EXPECT_FALSE(st.build_macros);
    ASSERT_TRUE(st.message);
    EXPECT_EQ(st.message->text, "No Configuration File !\nRun Set Up if you want to Transmit");
    EXPECT_EQ(st.message->title, "Vexmar Quavel2000 Program");
    EXPECT_EQ(s.callsign, "");
    EXPECT_EQ(s.port_name, "NONE");
    EXPECT_EQ(s.delay_word, "ON"); // left as it was
}

TEST(Startup, WithFile) {
    TempDir dir;
    dir.write("KEYSETUP.INI", "NOCALL  COM1 NONE");
    StationSettings s;
    const StartupConfig st = load_config_at_startup(dir.path(), s);
    EXPECT_TRUE(st.build_macros);
    EXPECT_FALSE(st.message);
    EXPECT_EQ(s.callsign, "NOCALL");
    EXPECT_EQ(s.port_name, "COM1");
    EXPECT_EQ(s.delay_word, "NONE");
}

TEST(Startup, FileWithWrongTokenIsReported) {
    TempDir dir;
    dir.write("KEYSETUP.INI", "ABCDEFGHIJKLMNOPQRSTU COM7 ON");
    StationSettings s;
    const StartupConfig st = load_config_at_startup(dir.path(), s);
    EXPECT_TRUE(st.build_macros);
    ASSERT_TRUE(st.message);
    EXPECT_NE(st.message->text.find("ABCDEFGHIJKLMNOPQRST..."), std::string::npos);
    EXPECT_NE(st.message->text.find("COM7"), std::string::npos);
    EXPECT_EQ(s.callsign, "NOCALL");
    EXPECT_EQ(s.port_name, "NONE");
    EXPECT_EQ(s.delay_word, "ON");
}

TEST(Startup, CallsignCharactersWithoutMorseAreNamedButTheCallsignKept) {
    TempDir dir;
    dir.write("KEYSETUP.INI", "G4-X#Y# COM1 NONE");
    StationSettings s;
    const StartupConfig st = load_config_at_startup(dir.path(), s);
    ASSERT_TRUE(st.message);
    EXPECT_NE(st.message->text.find("the Morse identification leaves out '-' and '#' of the "
                                    "callsign G4-X#Y#"),
              std::string::npos)
        << st.message->text;
    EXPECT_EQ(s.callsign, "G4-X#Y#");
    EXPECT_EQ(s.port_name, "COM1");
}

TEST(Startup, UnreadableFileIsLikeNoFileWithItsOwnMessage) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "KEYSETUP.INI");
    StationSettings s;
    const StartupConfig st = load_config_at_startup(dir.path(), s);
    EXPECT_FALSE(st.build_macros);
    ASSERT_TRUE(st.message);
    EXPECT_NE(st.message->text.find("KEYSETUP.INI"), std::string::npos);
    EXPECT_NE(st.message->text.find("Run Set Up"), std::string::npos);
    EXPECT_EQ(st.message->title, "Vexmar Quavel2000 Program");
    EXPECT_EQ(s.callsign, "");
    EXPECT_EQ(s.port_name, "NONE");
}

// --- OK ---

TEST(ConfirmSetup, EmptyFieldCom1Off) {
    TempDir dir;
    StationSettings s;
    const SetupConfirmation c = confirm_setup(dir.path(), {"", 0, 0}, s);
    EXPECT_TRUE(c.saved);
    EXPECT_TRUE(c.apply_port);
    EXPECT_FALSE(c.message);
    EXPECT_EQ(dir.read("KEYSETUP.INI"), "NOCALL  COM1 NONE");
    EXPECT_EQ(dir.listing(), "KEYSETUP.INI"); // no temporary file left behind
    EXPECT_EQ(s.callsign, "NOCALL");
    EXPECT_EQ(s.port_name, "COM1");
    EXPECT_EQ(s.delay_word, "NONE");
}

TEST(ConfirmSetup, ReplacesTheFileAndAppliesNoneToTheKeyingPortToo) {
    TempDir dir;
    dir.write("KEYSETUP.INI", "OLDCALL COM1 NONE");
    StationSettings s{"OLDCALL", "COM1", "NONE"};
    const SetupConfirmation c = confirm_setup(dir.path(), {"G4ABC", 4, 1}, s);
    EXPECT_TRUE(c.saved);
    EXPECT_TRUE(c.apply_port); // "NONE" releases and closes a port opened before
    EXPECT_EQ(dir.read("KEYSETUP.INI"), "G4ABC NONE ON");
    EXPECT_EQ(s.callsign, "G4ABC");
    EXPECT_EQ(s.port_name, "NONE");
    EXPECT_EQ(s.delay_word, "ON");
}

TEST(ConfirmSetup, OverLongCallsignIsCutAndReported) {
    TempDir dir;
    StationSettings s;
    const SetupConfirmation c = confirm_setup(dir.path(), {"ABCDEFG HIJKLMNOPQ", 1, 0}, s);
    EXPECT_TRUE(c.saved);
    EXPECT_EQ(s.callsign, "ABCDEFGHIJKLMN");
    EXPECT_EQ(dir.read("KEYSETUP.INI"), "ABCDEFGHIJKLMN COM2 NONE");
    ASSERT_TRUE(c.message);
    EXPECT_NE(c.message->text.find("ABCDEFGHIJKLMN"), std::string::npos);
}

TEST(ConfirmSetup, UnwritableTargetKeepsEverything) {
    TempDir dir;
    // A directory where the file should be: the rename into place fails.
    std::filesystem::create_directory(dir.path() / "KEYSETUP.INI");
    StationSettings s{"G4ABC", "COM2", "ON"};
    const SetupConfirmation c = confirm_setup(dir.path(), {"M0XYZ", 0, 0}, s);
    EXPECT_FALSE(c.saved);
    EXPECT_FALSE(c.apply_port);
    ASSERT_TRUE(c.message);
    EXPECT_EQ(c.message->text.rfind("Cannot create file ", 0), 0u) << c.message->text;
    EXPECT_NE(c.message->text.find("KEYSETUP.INI"), std::string::npos);
    EXPECT_EQ(dir.listing(), "KEYSETUP.INI"); // the temporary file is gone
    EXPECT_EQ(s.callsign, "G4ABC");
    EXPECT_EQ(s.port_name, "COM2");
    EXPECT_EQ(s.delay_word, "ON");
}

TEST(ConfirmSetup, ReadOnlyDirectoryLeavesTheOldFileWhole) {
    TempDir dir;
    dir.write("KEYSETUP.INI", "G4ABC COM2 ON");
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec,
        std::filesystem::perm_options::replace);
    {
        // Privileged users write anyway; the case cannot be made for them.
        std::FILE* probe = std::fopen((dir.path() / "probe").string().c_str(), "w");
        if (probe != nullptr) {
            std::fclose(probe);
            GTEST_SKIP() << "directory permissions do not bind this user";
        }
    }
    StationSettings s{"G4ABC", "COM2", "ON"};
    const SetupConfirmation c = confirm_setup(dir.path(), {"M0XYZ", 0, 0}, s);
    EXPECT_FALSE(c.saved);
    ASSERT_TRUE(c.message);
    EXPECT_EQ(dir.read("KEYSETUP.INI"), "G4ABC COM2 ON");
    EXPECT_EQ(dir.listing(), "KEYSETUP.INI");
    EXPECT_EQ(s.callsign, "G4ABC");
}

TEST(ConfirmSetup, LeftoverTemporaryFileIsNeitherUsedNorTouched) {
    TempDir dir;
    dir.write("KEYSETUP.INI.tmp", "someone else's");
    StationSettings s;
    const SetupConfirmation c = confirm_setup(dir.path(), {"G4ABC", 2, 1}, s);
    EXPECT_TRUE(c.saved);
    EXPECT_EQ(dir.read("KEYSETUP.INI"), "G4ABC COM3 ON");
    EXPECT_EQ(dir.read("KEYSETUP.INI.tmp"), "someone else's");
    EXPECT_EQ(dir.listing(), "KEYSETUP.INI KEYSETUP.INI.tmp");
}

} // namespace
} // namespace quavel
