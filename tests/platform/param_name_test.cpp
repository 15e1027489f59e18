// The names parameterised cases are given: only what gtest accepts, and apart where the cases
// differ.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>

#include "support/param_name.h"

namespace quavel {
namespace {

TEST(ParamName, NumbersTextsCharactersAndFilesBecomeNamesGtestAccepts) {
    const std::pair<std::string, std::string> cases[] = {
        {test::name_of_number(1000), "1000"},
        {test::name_of_number(-6.5), "Minus6p5"},
        {test::name_of_number(0.0625), "0p0625"},
        {test::name_of_number(127.9f), "127p9"},
        {test::name_of_number(1.0e9), "1e09"},
        {test::name_of_number(std::numeric_limits<double>::quiet_NaN()), "NaN"},
        {test::name_of_number(-std::numeric_limits<float>::infinity()), "MinusInfinity"},
        {test::name_of_text("--snr 10dB in.wav"), "Snr10dBInWav"},
        {test::name_of_text("--seed -1"), "SeedMinus1"},
        {test::name_of_text("--snr= x"), "SnrEqX"},
        {test::name_of_text(""), "Empty"},
        {test::name_of_characters("AB CD\r\n?"), "AB_CDCRLFQuestion"},
        {test::name_of_characters("\xff"), "Char255"},
        {test::name_of_characters(""), "Empty"},
        {test::name_of_file("copy_speed1_1040hz_-8db.wav"), "copy_speed1_1040hz_minus8db"},
        {test::name_of_file("rows.speed2.wav"), "rows_speed2"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(name, expected);
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"),
                  std::string::npos)
            << name;
    }
}

} // namespace
} // namespace quavel
