// The station keying a real rig through hamlib's rigctld (its dummy rig keeps its PTT as a rig
// does) while the rig goes away, stops answering, or is not there at start-up.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/wav/wav_output.h"
#include "rx/memory_canvas.h"
#include "station/station.h"
#include "support/recording_messages.h"
#include "support/rigctld.h"
#include "support/temp_dir.h"

namespace quavel {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Keyed {
    Keyed(const std::string& wav, const std::string& rig_address)
        : out(wav),
          station({memo1, memo2, memo4, memo5}, waterfall, scope, spectrum, messages, events) {
        station.set_audio_output(&out);
        station.set_ptt(&cat, rig_address);
        station.set_keying_required(true);
        station.activate(Speed::Four, 2);
        station.settle_keying();
        messages.clear();
    }
    // Plays and ticks, as the window's Timer2 does, until `done` or `limit`.
    void run_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto give_up = Clock::now() + limit;
        while (!done() && Clock::now() < give_up) {
            out.pump();
            station.transmit_tick();
            station.capture_tick();
            std::this_thread::sleep_for(5ms);
        }
    }

    HamlibPtt cat{kHamlibNetModel}; // before the station, which keys it to the end
    StringPane memo1, memo2, memo4, memo5;
    MemoryCanvas waterfall{320, 20}, scope{128, 64}, spectrum{80, 64};
    RecordingMessages messages;
    StationEvents events;
    WavOutput out;
    Station station;
};

struct RigFault {
    const char* name;
    void (*fault)(test::Rigctld&);
};

class StationRigRealTime : public testing::TestWithParam<RigFault> {};

// The transmission ends within about two seconds with one message naming the rig; the rig,
// once it answers again, reads released.
TEST_P(StationRigRealTime, ALostRigEndsTheTransmissionAndSaysWhy) {
    test::Rigctld rig;
    if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
    const test::TempDir dir;
    Keyed k((dir.path() / "lost.wav").string(), rig.address());
    k.memo4.set_text(std::string(200, 'E'));
    ASSERT_TRUE(k.station.start_transmission());
    k.run_until([&] { return rig.ptt() == true; }, 5s);
    ASSERT_EQ(rig.ptt(), true);
    GetParam().fault(rig);
    k.run_until([&] { return !k.station.transmitting(); }, 6s);
    EXPECT_FALSE(k.station.transmitting());
    k.station.settle_keying();
    ASSERT_EQ(k.messages.messages().size(), 1u);
    const std::string& text = k.messages.messages()[0].text;
    EXPECT_EQ(text.rfind("The keying port was lost during the transmission", 0), 0u) << text;
    EXPECT_NE(text.find(rig.address().substr(rig.address().find(':'))), std::string::npos) << text;
    rig.thaw();
    if (rig.answers_now()) {
        const auto give_up = Clock::now() + 5s;
        while (rig.ptt() != false && Clock::now() < give_up)
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(rig.ptt(), false);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, StationRigRealTime,
                         testing::Values(RigFault{"Killed", [](test::Rigctld& r) { r.kill(); }},
                                         RigFault{"StopsAnswering",
                                                  [](test::Rigctld& r) { r.freeze(); }}),
                         [](const testing::TestParamInfo<RigFault>& param_info) {
                             return std::string(param_info.param.name);
                         });

TEST(StationRigComesBackRealTime, ARigAbsentAtStartUpIsRefusedThenKeysOnceItAnswers) {
    test::Rigctld rig(0, false);
    if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
    const test::TempDir dir;
    // The station's messages at start-up are cleared by the fixture; the refusal comes after.
    Keyed k((dir.path() / "absent.wav").string(), rig.address());
    EXPECT_FALSE(k.station.start_transmission());
    ASSERT_FALSE(k.messages.messages().empty());
    EXPECT_EQ(k.messages.messages().back().text.rfind("Cannot key the transmitter", 0), 0u);
    EXPECT_TRUE(k.station.keying_status().failed);
    rig.start();
    ASSERT_TRUE(rig.skip_reason().empty()) << rig.skip_reason();
    // Retried in the background: it comes back by itself.
    k.run_until([&] { return k.station.keying_status().open; }, 10s);
    ASSERT_TRUE(k.station.keying_status().open);
    ASSERT_TRUE(k.station.start_transmission());
    k.run_until([&] { return rig.ptt() == true; }, 5s);
    EXPECT_EQ(rig.ptt(), true);
    k.station.stop_transmission();
    k.station.settle_keying();
    EXPECT_EQ(rig.ptt(), false);
}

} // namespace
} // namespace quavel
