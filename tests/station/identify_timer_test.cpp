// Identification on time: the callsign found in what went on the air, and the ten minutes.
#include "station/identify_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace quavel {
namespace {

using namespace std::chrono_literals;
using Clock = IdentifyTimer::Clock;

const Clock::time_point kStart = Clock::time_point{} + 1h;

struct Sent {
    const char* name;
    const char* callsign;
    const char* text; // one transmission; '|' splits it in two
    bool counts;
};

class CallsignSent : public testing::TestWithParam<Sent> {};

TEST_P(CallsignSent, CountsOnlyAsAWholeWordInOneTransmission) {
    const Sent& p = GetParam();
    IdentifyTimer timer;
    timer.set_callsign(p.callsign);
    timer.begin_transmission();
    const std::string text = p.text;
    const auto split = text.find('|');
    timer.sent(text.substr(0, split), kStart);
    if (split != std::string::npos) {
        timer.begin_transmission();
        timer.sent(text.substr(split + 1), kStart);
    }
    EXPECT_EQ(timer.last_identified().has_value(), p.counts);
    EXPECT_EQ(!timer.due(kStart), p.counts);
}

INSTANTIATE_TEST_SUITE_P(Texts, CallsignSent,
                         testing::Values(Sent{"InACq", "G4ABC", "CQ CQ DE G4ABC G4ABC K", true},
                                         Sent{"AtTheVeryStartAndEnd", "G4ABC", "G4ABC", true},
                                         Sent{"LowerCaseEitherWay", "g4abc", "de G4abc k", true},
                                         Sent{"WithAPortableSuffix", "G4ABC", "DE G4ABC/P", true},
                                         Sent{"AfterALineBreak", "G4ABC", "TNX\r\nG4ABC", true},
                                         Sent{"InsideALongerWord", "G4ABC", "XG4ABC G4ABCD", false},
                                         Sent{"OnlyPartOfIt", "G4ABC", "DE G4AB", false},
                                         Sent{"CutByThePause", "G4ABC", "DE G4A|BC", false},
                                         Sent{"NoCallsignSet", "NOCALL", "DE NOCALL", false},
                                         Sent{"EmptyCallsign", "", " ", false}),
                         [](const testing::TestParamInfo<Sent>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST(IdentifyTimer, IsDueUntilIdentifiedAndAgainAfterTenMinutes) {
    IdentifyTimer timer;
    timer.set_callsign("G4ABC");
    EXPECT_TRUE(timer.due(kStart));
    timer.identified(kStart);
    EXPECT_FALSE(timer.due(kStart + 10min));
    EXPECT_TRUE(timer.due(kStart + 10min + 1s));
    // The callsign in text resets it just as the Morse identification does.
    timer.begin_transmission();
    timer.sent("DE G4ABC ", kStart + 12min);
    EXPECT_FALSE(timer.due(kStart + 21min));
    EXPECT_EQ(timer.last_identified(), kStart + 12min);
    // A later callsign followed by more letters is withdrawn; the earlier one still stands.
    timer.sent("G4ABCX", kStart + 13min);
    EXPECT_EQ(timer.last_identified(), kStart + 12min);
}

} // namespace
} // namespace quavel
