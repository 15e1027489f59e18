// AFC's retune leaves the receive step as a request: the modem is not touched while a step runs,
// the owner tunes it afterwards, and the receive chain doing so copies exactly what a receiver
// driven by hand in the same way copies.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "platform/wav/wav_input.h"
#include "receive_support.h"
#include "rx/displays.h"
#include "rx/receive_chain.h"
#include "rx/receiver.h"

namespace quavel {
namespace {

// Forwards to the receiver as the station does, and notes every retune and whether a receive
// step was running when it came.
class WatchingListener : public ProfileListener {
public:
    explicit WatchingListener(Receiver& rx) : rx_(rx) {}
    void before_profile_change() override { rx_.before_profile_change(); }
    void profile_rebuilt(const SpeedProfile& p) override { rx_.profile_rebuilt(p); }
    void retuned(const Tuning& t) override {
        if (stepping) ++retuned_mid_step;
        centres.push_back(t.centre_hz);
        rx_.retuned(t);
    }
    void after_profile_change() override { rx_.after_profile_change(); }

    bool stepping = false;
    int retuned_mid_step = 0;
    std::vector<CentreHz> centres;

private:
    Receiver& rx_;
};

struct Copy {
    std::string primary;
    CentreHz centre_hz = 0;
    uint64_t steps = 0;
};

struct RetuneCase {
    const char* name;
    ReceiverChoice receiver;
    float signal_hz; // where the station transmits
    CentreHz tuned_hz;
};
void PrintTo(const RetuneCase& c, std::ostream* os) {
    *os << c.name;
}

class ReceiverRetune : public ::testing::TestWithParam<RetuneCase> {
protected:
    std::vector<int16_t> audio() const {
        return rxtest::make_transmission(
            {.text = "CQ CQ DE G4XYZ", .centre_hz = GetParam().signal_hz, .lead_idle = 8});
    }
    ReceiveChainSettings settings() const {
        ReceiveChainSettings s;
        s.centre_hz = GetParam().tuned_hz;
        s.receiver = GetParam().receiver;
        return s;
    }
};

TEST_P(ReceiverRetune, StepReturnsTheMoveAndTheOwnerTunesAfterIt) {
    const RetuneCase c = GetParam();
    auto modem = std::make_unique<Modem>();
    auto rx = std::make_unique<Receiver>();
    WatchingListener listener(*rx);
    StringPane primary;
    StringPane secondary;
    const ReceiveOutputs out{primary, secondary, nullptr};
    modem->initialise_profile(Speed::Two, listener);
    modem->set_centre_frequency(c.tuned_hz, listener);
    rx->set_receiver(c.receiver);
    listener.centres.clear();

    SampleInput input(std::make_unique<MemorySampleSource>(audio()), Pacing::Fast);
    ASSERT_TRUE(rx->capture().open(input));
    int moves = 0;
    bool more = true;
    while (more) {
        more = rx->capture().pump();
        do {
            for (;;) {
                const CentreHz before = modem->tuning.centre_hz;
                listener.stepping = true;
                const ReceiveStep step = rx->receive_step(*modem, out);
                listener.stepping = false;
                ASSERT_EQ(modem->tuning.centre_hz, before) << "the step retuned the modem itself";
                if (step.retune) {
                    ++moves;
                    EXPECT_NE(*step.retune, before);
                    EXPECT_EQ(modem->set_centre_frequency(*step.retune, listener), *step.retune);
                }
                if (!step.ran) break;
            }
        } while (rx->capture_tick());
    }
    rx->capture().close();

    EXPECT_GT(moves, 0) << "AFC never moved: the case tests nothing";
    EXPECT_EQ(listener.retuned_mid_step, 0);
    EXPECT_EQ(static_cast<int>(listener.centres.size()), moves);
    EXPECT_NEAR(static_cast<double>(modem->tuning.centre_hz), c.signal_hz, 1.0);

    // The receive chain applies the moves the same way: the same copy, tuning and steps.
    StringPane chain_primary;
    StringPane chain_secondary;
    ReceiveChain chain(settings(), chain_primary, chain_secondary);
    SampleInput chain_input(std::make_unique<MemorySampleSource>(audio()), Pacing::Fast);
    ASSERT_TRUE(chain.receive_recording(chain_input));
    EXPECT_EQ(chain_primary.text(), primary.text());
    EXPECT_EQ(chain.modem().tuning.centre_hz, modem->tuning.centre_hz);
    EXPECT_EQ(chain.receiver().steps(), rx->steps());

    // Only the move a step returned is taken as already followed: the operator's next retune
    // reaches the weak-signal receiver, which searches around it afresh.
    modem->set_centre_frequency(1200, listener);
    EXPECT_DOUBLE_EQ(rx->weak_frequency_hz(), 1200.0);
}

INSTANTIATE_TEST_SUITE_P(Afc, ReceiverRetune,
                         ::testing::Values(RetuneCase{"classic", ReceiverChoice::classic, 1000.0f,
                                                      1003},
                                           RetuneCase{"weak", ReceiverChoice::weak, 1006.0f, 1000}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

} // namespace
} // namespace quavel
