#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "modem/angles.h"
#include "modem/speed_profile.h"
#include "support/param_name.h"
#include "tx/morse_id.h"

namespace quavel {
namespace {

std::string sent_as(const MorseCode& m) {
    std::string s;
    for (uint32_t e = m.count; e-- > 0;)
        s += ((m.bits >> e) & 1u) != 0 ? '-' : '.';
    return s;
}

TEST(MorseTable, SendsEveryCharacterAsListed) {
    // Codes 44 ("," ) to 90 ("Z"), as keyed.
    const std::vector<std::string> want = {
        "--..--", "",      ".-.-.-", "-..-.",  "-----", ".----", "..---",  "...--",
        "....-",  ".....", "-....",  "--...",  "---..", "----.", "...-.-", ".-.-.",
        "-....-", "-...-", ".-.--.", "..--..", "",      ".-",    "-...",   "-.-.",
        "-..",    ".",     "..-.",   "--.",    "....",  "..",    ".---",   "-.-",
        ".-..",   "--",    "-.",     "---",    ".--.",  "--.-",  ".-.",    "...",
        "-",      "..-",   "...-",   ".--",    "-..-",  "-.--",  "--.."};
    ASSERT_EQ(want.size(), kMorseTable.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(sent_as(kMorseTable[i]), want[i]) << static_cast<char>(44 + i);
    }
    EXPECT_FALSE(morse_code('+'));
    EXPECT_FALSE(morse_code('['));
    EXPECT_FALSE(morse_code('a'));
    EXPECT_FALSE(morse_code(static_cast<char>(0xC4)));
    // Rows that are empty leave their characters out as surely as missing ones.
    EXPECT_EQ(characters_without_morse("DL1-AB@C a+-/ K"), "-@a+");
}

struct LengthCase {
    const char* text;
    uint32_t samples;
};
class MorseLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(MorseLength, MatchesTheWorkedFigures) {
    EXPECT_EQ(morse_text_samples(GetParam().text), GetParam().samples);
}

INSTANTIATE_TEST_SUITE_P(Texts, MorseLength,
                         ::testing::Values(LengthCase{"D", 5880}, LengthCase{"E", 2672},
                                           LengthCase{" ", 3200}, LengthCase{"DE ", 11752},
                                           LengthCase{"T", 3736}, LengthCase{"-", 1600},
                                           LengthCase{"@", 1600}, LengthCase{"0", 12280},
                                           LengthCase{",", 12288}, LengthCase{"#a", 0}),
                         [](const auto& param_info) {
                             return "Text" + test::name_of_characters(param_info.param.text);
                         });

class IdAudio : public ::testing::Test {
protected:
    void SetUp() override { build_speed_profile(profile, Speed::Two); }
    SpeedProfile profile;
    IdentificationAudio audio;
};

TEST_F(IdAudio, KeysDeAloneWithRampedElementsAndSilentGaps) {
    audio.build(1000.0f, "", profile.keying_ramp);
    EXPECT_EQ(audio.text(), "DE ");
    EXPECT_EQ(audio.length_samples(), 11752u);
    EXPECT_EQ(audio.block_count(), 6u);
    // D = -.. and E = . : each element followed by a 536-sample gap, each character by 1600.
    const std::vector<std::pair<uint32_t, uint32_t>> elements = {
        {0, 1600}, {2136, 2672}, {3208, 3744}, {5880, 6416}};
    const auto store = audio.store();
    uint32_t pos = 0;
    for (const auto& [begin, end] : elements) {
        for (; pos < begin; ++pos)
            ASSERT_EQ(store[pos], 0) << pos;
        const auto [lo, hi] = std::minmax_element(store.begin() + begin, store.begin() + end);
        EXPECT_EQ(*hi, 30000);
        EXPECT_EQ(*lo, -30000);
        // Both edges follow the keying ramp: the first and last samples are ramp[0] of a sine.
        const double edge = 30000 * std::sin(kMorseTwoPi * 1000 / 8000) * profile.keying_ramp[0];
        EXPECT_EQ(store[begin], static_cast<int16_t>(edge));
        EXPECT_LE(std::abs(store[end - 1]), 8);
        EXPECT_LT(std::abs(store[begin + 50]), 16000); // halfway up the ramp
        pos = end;
    }
    for (; pos < store.size(); ++pos)
        ASSERT_EQ(store[pos], 0) << pos;
}

TEST_F(IdAudio, TheLongestCallsignFitsAndPlaysOutAtEverySpeed) {
    const std::string worst(kMaxCallsignChars, ',');
    audio.build(1900.0f, worst, profile.keying_ramp);
    EXPECT_EQ(audio.length_samples(), 11752u + 14u * 12288u);
    EXPECT_EQ(audio.block_count(), 90u);
    for (const uint32_t speed : {1u, 2u, 4u}) {
        std::vector<int16_t> buffer(8192 / speed);
        IdentificationPlayback play;
        play.start(audio);
        uint32_t buffers = 0;
        while (play.active && buffers < 1000) {
            play.fill(buffer, audio, speed);
            ++buffers;
        }
        EXPECT_EQ(buffers, 90 * speed / 4 + 1);
        EXPECT_GE(buffers * buffer.size(), audio.length_samples()); // the whole audio is sent
    }
}

TEST_F(IdAudio, CutsLongCallsignsAndSkipsCharactersWithoutMorse) {
    audio.build(1000.0f, "ABCDEFGHIJKLMNOPQ", profile.keying_ramp);
    EXPECT_EQ(audio.text(), "DE ABCDEFGHIJKLMN");
    EXPECT_EQ(audio.length_samples(), morse_text_samples("DE ABCDEFGHIJKLMN"));

    audio.build(1000.0f, "d#l\x7f", profile.keying_ramp);
    EXPECT_EQ(audio.length_samples(), 11752u);
    // A shorter rebuild leaves nothing of the longer audio behind.
    const auto store = audio.store();
    EXPECT_TRUE(std::all_of(store.begin() + 11752, store.end(), [](int16_t v) { return v == 0; }));

    audio.build(1000.0f, "D L-", profile.keying_ramp);
    EXPECT_EQ(audio.length_samples(), morse_text_samples("DE D L") + 1600u);
}

TEST_F(IdAudio, ReadingPastTheStoreGivesSilenceAndEnds) {
    audio.build(1000.0f, "DL1ABC", profile.keying_ramp);
    IdentificationPlayback play;
    play.start(audio);
    // As after a speed change from 4 to 1 in the middle of an identification.
    play.buffers_sent = 60;
    std::vector<int16_t> buffer(8192, 7);
    EXPECT_TRUE(play.fill(buffer, audio, 1));
    EXPECT_FALSE(play.active);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](int16_t v) { return v == 0; }));
}

} // namespace
} // namespace quavel
