#include "station/heard_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quavel::HeardCalls;
using Calls = std::vector<std::string>;

Calls feed_all(HeardCalls& heard, const std::vector<std::string>& runs) {
    Calls all;
    for (const std::string& run : runs)
        for (std::string& c : heard.feed(run))
            all.push_back(std::move(c));
    return all;
}

struct Case {
    const char* name;
    std::vector<std::string> runs; // as printed, a few characters at a time
    Calls heard;
};

class HeardCallsRule : public ::testing::TestWithParam<Case> {};

TEST_P(HeardCallsRule, FindsTheSendingStation) {
    HeardCalls heard("G3OWN");
    EXPECT_EQ(feed_all(heard, GetParam().runs), GetParam().heard);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HeardCallsRule,
    ::testing::Values(
        Case{"DeCallTwice", {"CQ CQ DE G4ABC CQ DE G4ABC K "}, {"G4ABC"}},
        Case{"DeCallCall", {"CQ CQ DE G4ABC G4ABC K "}, {"G4ABC"}},
        Case{"CalledDeCall", {"W1AW DE G4ABC KN "}, {"G4ABC"}},
        Case{"OurCallDeCall", {"G3OWN DE DL1XYZ "}, {"DL1XYZ"}},
        Case{"LowerCaseAndPortable", {"cq de dl/g4abc/p dl/g4abc/p "}, {"DL/G4ABC/P"}},
        Case{"SplitAcrossRuns", {"CQ D", "E G4", "AB", "C G", "4ABC", "\n"}, {"G4ABC"}},
        Case{"LineEndsAreBlanks", {"CQ\nDE\rG4ABC\tG4ABC\n"}, {"G4ABC"}},
        Case{"OnceOnlyDeCall", {"CQ CQ DE G4ABC K "}, {}},
        Case{"WordNotYetEnded", {"CQ DE G4ABC G4ABC"}, {}},
        Case{"TheCalledStationIsNot", {"W1AW W1AW DE G4ABC K "}, {"G4ABC"}},
        Case{"OwnCallNever", {"CQ DE G3OWN G3OWN DE G3OWN "}, {}},
        Case{"OwnCallPortableNever", {"DE G3OWN/P G3OWN/P "}, {}},
        Case{"NotACall", {"DE 599 599 TNX DE 5NN 5NN CQ DE CQ "}, {}},
        Case{"MisprintBreaksTheRepeat", {"DE G4ABC G4ABD "}, {}},
        Case{"FarApartDoesNotCount",
             {"DE G4ABC 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 DE G4ABC "},
             {}},
        Case{"Junk", {"\x01\xff DE \x80G4ABC G4ABC\x7f "}, {}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(HeardCalls, AVeryLongRunIsNoWordAndNeverGrows) {
    HeardCalls heard;
    std::string junk(100000, 'G');
    EXPECT_TRUE(heard.feed("DE " + junk + " " + junk + " ").empty());
    // What follows is read afresh.
    EXPECT_EQ(heard.feed("DE G4ABC G4ABC "), Calls{"G4ABC"});
}

TEST(HeardCalls, OwnCallFollowsTheStationAndNocallIsNone) {
    HeardCalls heard("NOCALL");
    EXPECT_EQ(heard.feed("DE G3OWN G3OWN "), Calls{"G3OWN"});
    heard.set_own_call("g3own");
    EXPECT_TRUE(heard.feed("DE G3OWN G3OWN ").empty());
}

TEST(HeardCalls, ClearForgetsTheWordsBefore) {
    HeardCalls heard;
    heard.feed("CQ DE G4ABC ");
    heard.clear();
    EXPECT_TRUE(heard.feed("CQ DE G4ABC ").empty());
    EXPECT_EQ(heard.feed("CQ DE G4ABC "), Calls{"G4ABC"});
}

} // namespace
