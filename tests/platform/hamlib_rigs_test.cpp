// hamlib's list of rigs, as the Sound & Rig panel offers it, and the look at a rig that "Test
// CAT" takes: against hamlib's own rigctld with its dummy rig, and against ports nothing answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/hamlib/hamlib_rigs.h"
#include "support/rigctld.h"

namespace {

using quavel::RigModelInfo;

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct KnownRig {
    int model;
    const char* name;
};

class HamlibRigList : public ::testing::TestWithParam<KnownRig> {};

TEST_P(HamlibRigList, HoldsTheRigWithItsMakerAndName) {
    const auto rig = quavel::hamlib_rig(GetParam().model);
    ASSERT_TRUE(rig.has_value());
    EXPECT_EQ(rig->maker, "Hamlib");
    EXPECT_EQ(rig->name, GetParam().name);
    EXPECT_EQ(quavel::rig_label(GetParam().model), "rig model " + std::to_string(GetParam().model) +
                                                       " (Hamlib " + GetParam().name + ")");
}

INSTANTIATE_TEST_SUITE_P(Hamlib, HamlibRigList,
                         ::testing::Values(KnownRig{quavel::kHamlibDummyModel, "Dummy"},
                                           KnownRig{quavel::kHamlibNetModel, "NET rigctl"}),
                         [](const auto& param_info) {
                             return "Model" + std::to_string(param_info.param.model);
                         });

TEST(HamlibRigs, AreSortedByMakerThenNameEachModelOnce) {
    const std::vector<RigModelInfo>& rigs = quavel::hamlib_rigs();
    ASSERT_GT(rigs.size(), 2u);
    for (std::size_t i = 1; i < rigs.size(); ++i) {
        const RigModelInfo& a = rigs[i - 1];
        const RigModelInfo& b = rigs[i];
        const auto key = [](const RigModelInfo& r) {
            return std::make_tuple(lower(r.maker), lower(r.name), r.model);
        };
        EXPECT_LT(key(a), key(b)) << a.model << " " << b.model;
    }
    for (const RigModelInfo& rig : rigs) {
        EXPECT_FALSE(rig.name.empty()) << rig.model;
        EXPECT_EQ(rig.name.find_first_not_of(' '), 0u) << rig.model;
    }
}

TEST(HamlibRigs, AnUnknownModelIsNamedByItsNumberAlone) {
    EXPECT_FALSE(quavel::hamlib_rig(999999).has_value());
    EXPECT_EQ(quavel::rig_label(999999), "rig model 999999");
    const quavel::RigProbe probe = quavel::rig_probe(999999, "", 0);
    EXPECT_FALSE(probe.answered);
    EXPECT_EQ(probe.report, "rig model 999999: hamlib knows no such rig model");
}

TEST(HamlibRigs, FrequenciesReadInMegahertzToTheHertz) {
    EXPECT_EQ(quavel::format_frequency(14070000), "14.070000 MHz");
    EXPECT_EQ(quavel::format_frequency(145000001), "145.000001 MHz");
}

TEST(RigProbe, APortNothingListensOnGivesTheSystemsReason) {
    const quavel::RigProbe probe = quavel::rig_probe(quavel::kHamlibNetModel, "127.0.0.1:1", 0);
    EXPECT_FALSE(probe.answered);
    EXPECT_EQ(probe.report, "rig model 2 (Hamlib NET rigctl) on 127.0.0.1:1: connection refused");
}

class RigProbeRealTime : public ::testing::Test {
protected:
    void SetUp() override {
        if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
    }
    quavel::test::Rigctld rig;
};

TEST_F(RigProbeRealTime, ReportsWhatTheRigAnswersWithoutKeyingIt) {
    const quavel::RigProbe probe = quavel::rig_probe(quavel::kHamlibNetModel, rig.address(), 0);
    ASSERT_TRUE(probe.answered) << probe.report;
    EXPECT_TRUE(probe.has_frequency);
    EXPECT_GT(probe.frequency_hz, 0);
    EXPECT_FALSE(probe.mode.empty());
    EXPECT_EQ(probe.ptt, "off");
    const std::string expected = "rig model 2 (Hamlib NET rigctl) on " + rig.address() +
                                 " answers: " + quavel::format_frequency(probe.frequency_hz) + " " +
                                 probe.mode + ", PTT off";
    EXPECT_EQ(probe.report, expected);
    EXPECT_EQ(rig.ptt(), false);
}

TEST_F(RigProbeRealTime, ARigThisProgramHoldsForKeyingIsNotOpenedASecondTime) {
    quavel::HamlibPtt keying;
    ASSERT_TRUE(keying.open(rig.address())) << keying.error();
    const quavel::RigProbe probe = quavel::rig_probe(quavel::kHamlibNetModel, rig.address(), 0);
    EXPECT_FALSE(probe.answered);
    EXPECT_EQ(probe.report, "rig model 2 (Hamlib NET rigctl) on " + rig.address() +
                                ": held by this console's keying, so not opened a second time");
}

} // namespace
