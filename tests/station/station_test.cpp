#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/wav/wav_file.h"
#include "platform/wav/wav_input.h"
#include "platform/wav/wav_output.h"
#include "rx/memory_canvas.h"
#include "station/station.h"
#include "support/recording_messages.h"
#include "support/recording_ptt.h"
#include "support/temp_dir.h"

namespace quavel {
namespace {

using test::RecordingPtt;

struct Events : StationEvents {
    void transmit_buttons_changed(bool cw, bool tune) override {
        cw_enabled = cw;
        tune_enabled = tune;
    }
    void switches_changed() override { ++switch_updates; }
    bool cw_enabled = true;
    bool tune_enabled = true;
    int switch_updates = 0;
};

// Records the messages, and lets a test look at the station as each box would come up.
struct WatchedMessages : RecordingMessages {
    void show(const std::string& text, const std::string& title, MessageIcon icon) override {
        if (on_show) on_show();
        RecordingMessages::show(text, title, icon);
    }
    std::function<void()> on_show;
};

// One station with string panes and memory canvases.
struct Rig {
    StringPane memo1, memo2, memo4, memo5;
    MemoryCanvas waterfall{320, 20}, scope{128, 64}, spectrum{80, 64};
    WatchedMessages messages;
    Events events;
    Station station{{memo1, memo2, memo4, memo5}, waterfall, scope, spectrum, messages, events};
};

// Sends `text` from one station into a WAV file and returns the samples written.
std::vector<int16_t> transmit(int speed_item, const std::string& text, const std::string& path) {
    WavOutput out(path); // devices outlive the station that uses them
    Rig tx;
    tx.station.set_audio_output(&out);
    tx.station.activate(kSpeeds[speed_item], 2);
    tx.memo4.set_text(text);
    tx.station.start_transmission();
    // Once everything is taken, the queue holds at most two symbols; two more idle ones let the
    // receiver (one symbol behind) print the last, and two buffers are still with the device.
    int refills_after_text = 0;
    while (refills_after_text < 6) {
        out.pump();
        if (tx.station.transmit_tick() && tx.memo4.text().empty()) ++refills_after_text;
    }
    out.pump();
    out.pump();
    tx.station.stop_transmission();
    EXPECT_EQ(tx.memo5.text(), text);
    const WavData wav = read_wav(path);
    EXPECT_TRUE(wav.ok()) << wav.error;
    return wav.samples;
}

// Receives `samples` on a second station and returns the primary pane.
std::string receive(int speed_item, std::vector<int16_t> samples) {
    SampleInput in(std::make_unique<MemorySampleSource>(std::move(samples)), Pacing::Fast);
    Rig rx;
    rx.station.set_audio_input(&in);
    rx.station.activate(kSpeeds[speed_item], 2);
    bool more = true;
    while (more) {
        more = rx.station.pump_devices();
        while (rx.station.capture_tick()) {
        }
        while (rx.station.receive_tick()) {
        }
    }
    return rx.memo1.text();
}

class StationRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(StationRoundTrip, OneStationCopiesAnother) {
    const test::TempDir dir;
    const std::string path = (dir.path() / "station-rt.wav").string();
    const std::string text = "CQ CQ DE TEST 73?";
    const auto samples = transmit(GetParam(), text, path);
    const std::string copy = receive(GetParam(), samples);
    EXPECT_NE(copy.find(text), std::string::npos)
        << "copied: [" << copy << "] from " << samples.size();
}

INSTANTIATE_TEST_SUITE_P(
    AllSpeeds, StationRoundTrip, ::testing::Values(0, 1, 2), [](const auto& param_info) {
        return "Speed" + std::to_string(kSpeedValues[static_cast<size_t>(param_info.param)]);
    });

// AFC's moves come back from the receive steps; the station tunes to each after its step, so
// a station tuned a few hertz off ends on the sender's frequency with the text copied.
TEST(Station, TunesToWhereAfcMovesAfterEachReceiveStep) {
    const test::TempDir dir;
    const std::string path = (dir.path() / "station-afc.wav").string();
    const std::string text = "CQ CQ DE TEST 73?";
    SampleInput in(std::make_unique<MemorySampleSource>(transmit(1, text, path)), Pacing::Fast);
    Rig rx;
    rx.station.set_audio_input(&in);
    rx.station.activate(Speed::Two, 2);
    ASSERT_EQ(rx.station.set_centre_frequency(1003), 1003u);
    std::vector<CentreHz> centres;
    bool more = true;
    while (more) {
        more = rx.station.pump_devices();
        while (rx.station.capture_tick()) {
        }
        while (rx.station.receive_tick()) {
            if (centres.empty() || centres.back() != rx.station.centre_hz())
                centres.push_back(rx.station.centre_hz());
        }
    }
    ASSERT_GE(centres.size(), 2u) << "AFC never moved";
    for (size_t i = 1; i < centres.size(); ++i)
        EXPECT_EQ(std::abs(static_cast<int>(centres[i]) - static_cast<int>(centres[i - 1])), 1)
            << "AFC moves 1 Hz at a time";
    EXPECT_NEAR(static_cast<double>(rx.station.centre_hz()), 1000.0, 1.0);
    EXPECT_NE(rx.memo1.text().find(text), std::string::npos) << rx.memo1.text();
}

TEST(Station, ActivationWithoutCaptureWarnsOnceAndReceivesNothing) {
    Rig r;
    r.station.activate(Speed::Two, 2);
    ASSERT_EQ(r.messages.messages().size(), 1u);
    EXPECT_EQ(r.messages.messages()[0].text, "Cannot Open Audio Input Device");
    EXPECT_EQ(r.messages.messages()[0].title, "Vexmar Quavel2000 Program");
    EXPECT_EQ(r.station.centre_hz(), 1000u);
    EXPECT_EQ(r.station.profile().speed, 2u);
    EXPECT_FALSE(r.station.receive_tick());
    // The speed change keeps the centre and switches everything back on.
    r.station.set_afc(false);
    r.station.set_autosync(false);
    r.station.set_centre_frequency(957);
    r.station.change_speed(Speed::Four);
    EXPECT_EQ(r.station.centre_hz(), 957u);
    EXPECT_TRUE(r.station.afc());
    EXPECT_TRUE(r.station.autosync());
    EXPECT_EQ(r.station.sync_position(), 512u);
    EXPECT_GE(r.events.switch_updates, 2);
    EXPECT_EQ(r.messages.messages().size(), 1u); // no second open attempt on a speed change
}

TEST(Station, KeyingFollowsThePlaybackAndNeverOutlivesIt) {
    RecordingPtt ptt;
    const test::TempDir dir;
    const std::string path = (dir.path() / "station-ptt.wav").string();
    WavOutput out(path);
    Rig r;
    r.station.set_ptt(&ptt);
    r.station.set_audio_output(&out);
    r.station.settings().port_name = "COM1";
    // The configured port opens at start-up.
    r.station.activate(Speed::Four, 2);
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_EQ(ptt.opened, (std::vector<std::string>{"COM1"}));
    r.station.settings().port_name = "COM3";
    r.station.open_ptt_port();
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_EQ(ptt.opened, (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_EQ(ptt.closes, 1);
    r.station.start_transmission();
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_TRUE(r.station.transmitting());
    EXPECT_TRUE(r.station.keyed());
    EXPECT_TRUE(r.events.cw_enabled);
    r.station.stop_transmission();
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_FALSE(r.events.cw_enabled);
    EXPECT_FALSE(ptt.keyed());
    // "NONE" releases and closes; nothing keys after that.
    r.station.settings().port_name = "NONE";
    r.station.open_ptt_port();
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_FALSE(ptt.is_open());
    EXPECT_FALSE(r.station.ptt_port_open());
    const size_t keys = ptt.keys.size();
    r.station.start_transmission();
    r.station.stop_transmission();
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_EQ(ptt.keys.size(), keys);
    // A device chosen for keying takes the place of the settings' port name.
    r.station.set_ptt(&ptt, "/dev/ttyUSB7");
    r.station.open_ptt_port();
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_EQ(ptt.opened.back(), "/dev/ttyUSB7");
    // A port that cannot be opened: the message, and the flag stays clear.
    ptt.refuse_open = true;
    r.station.open_ptt_port();
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_EQ(r.messages.messages().back().text.rfind("Cannot open COM Port\n/dev/ttyUSB7", 0), 0u);
    EXPECT_FALSE(r.station.ptt_port_open());
}

TEST(Station, DestroyedWhileTransmittingUnkeysFirst) {
    RecordingPtt ptt;
    const test::TempDir dir;
    const std::string path = (dir.path() / "station-close.wav").string();
    {
        WavOutput out(path);
        Rig r;
        r.station.set_ptt(&ptt);
        r.station.set_audio_output(&out);
        r.station.settings().port_name = "COM1";
        r.station.activate(Speed::Two, 2);
        r.station.start_transmission();
        ASSERT_TRUE(r.station.settle_keying());
        EXPECT_TRUE(ptt.keyed());
    }
    EXPECT_FALSE(ptt.keyed());
    EXPECT_EQ(ptt.keys.back(), false);
}

TEST(Station, TuneAndIdentificationDriveTheButtons) {
    const test::TempDir dir;
    const std::string path = (dir.path() / "station-tune.wav").string();
    WavOutput out(path);
    Rig r;
    r.station.set_audio_output(&out);
    r.station.activate(Speed::Four, 2);
    r.station.settings().callsign = "NOCALL";
    r.station.start_transmission();
    const size_t shown = r.messages.messages().size();
    EXPECT_FALSE(r.station.cw_id());
    // No box while on the air: it would keep the operator from "Tx OFF". It comes after.
    EXPECT_EQ(r.messages.messages().size(), shown);
    r.station.tune_up();
    EXPECT_FALSE(r.events.tune_enabled);
    int refills = 0;
    while (!r.events.tune_enabled && refills < 100) {
        out.pump();
        if (r.station.transmit_tick()) ++refills;
    }
    EXPECT_EQ(refills, 24); // 6 x speed buffers at speed 4
    r.station.stop_transmission();
    ASSERT_GT(r.messages.messages().size(), shown);
    EXPECT_EQ(r.messages.messages()[shown].text,
              "No Callsign !\nRun Set Up if you want to Transmit");
}

// Every way a transmission ends with a message: the box comes only once the transmitter is
// released and the station is receiving (or trying to), never while anything is on the air.
struct EndCase {
    const char* name;
    std::function<void(Rig&, RecordingPtt&)> before; // before Tx ON
    std::function<void(Rig&, RecordingPtt&)> end;    // while transmitting
    const char* message;                             // how the box it ends with begins
};

class StationEnds : public testing::TestWithParam<EndCase> {};

TEST_P(StationEnds, ReleaseFirstThenTell) {
    const EndCase& c = GetParam();
    RecordingPtt ptt;
    const test::TempDir dir;
    WavOutput out((dir.path() / "ends.wav").string());
    Rig r;
    r.station.set_ptt(&ptt);
    r.station.set_audio_output(&out);
    r.station.settings().port_name = "COM1";
    r.station.activate(Speed::Four, 2); // no input: capture cannot open
    ASSERT_TRUE(r.station.settle_keying());
    std::vector<bool> on_air_at_box;
    r.messages.on_show = [&] { on_air_at_box.push_back(ptt.keyed() || r.station.transmitting()); };
    r.messages.clear();
    if (c.before) c.before(r, ptt);
    ASSERT_TRUE(r.station.start_transmission());
    ASSERT_TRUE(r.station.settle_keying());
    c.end(r, ptt);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((r.station.transmitting() || r.messages.messages().empty()) &&
           std::chrono::steady_clock::now() < give_up) {
        out.pump();
        r.station.transmit_tick();
        r.station.settle_keying(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(r.station.transmitting());
    EXPECT_FALSE(ptt.keyed());
    ASSERT_FALSE(r.messages.messages().empty());
    EXPECT_EQ(r.messages.messages().front().text.rfind(c.message, 0), 0u)
        << r.messages.messages().front().text;
    for (const bool on_air : on_air_at_box)
        EXPECT_FALSE(on_air);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, StationEnds,
    testing::Values(EndCase{"TxOffWithoutCapture", nullptr,
                            [](Rig& r, RecordingPtt&) { r.station.stop_transmission(); },
                            "Cannot Open Audio Input Device"},
                    EndCase{"KeyingLost", nullptr, [](Rig&, RecordingPtt& p) { p.lose(); },
                            "The keying port was lost during the transmission"},
                    EndCase{"KeyRefused", [](Rig&, RecordingPtt& p) { p.refuse_key = true; },
                            [](Rig&, RecordingPtt&) {}, "Cannot key the transmitter"},
                    EndCase{"Watchdog",
                            [](Rig& r, RecordingPtt&) {
                                r.station.set_watchdog(std::chrono::milliseconds(1));
                            },
                            [](Rig&, RecordingPtt&) {
                                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                            },
                            "The transmit watchdog ended the transmission after"}),
    [](const testing::TestParamInfo<EndCase>& param_info) {
        return std::string(param_info.param.name);
    });

TEST(Station, ARigThatMustAnswerAndDoesNotRefusesTxOn) {
    RecordingPtt ptt;
    ptt.refuse_open = true;
    const test::TempDir dir;
    WavOutput out((dir.path() / "refused.wav").string());
    Rig r;
    r.station.set_ptt(&ptt, "localhost:4532");
    r.station.set_keying_required(true);
    r.station.set_audio_output(&out);
    r.station.activate(Speed::Two, 2);
    ASSERT_TRUE(r.station.settle_keying());
    EXPECT_EQ(r.messages.messages().back().text.rfind("Cannot reach the rig\nlocalhost:4532", 0),
              0u);
    EXPECT_FALSE(r.station.start_transmission());
    EXPECT_FALSE(r.station.transmitting());
    EXPECT_EQ(r.messages.messages().back().text.rfind("Cannot key the transmitter\n", 0), 0u);
    EXPECT_TRUE(ptt.keys.empty() || !ptt.keyed());
}

// A capture device that can stop on its own and refuse to open.
struct LosableInput : AudioInput {
    bool open(std::span<int16_t>, Done) override {
        ++opens;
        return !refuse;
    }
    void requeue(int) override {}
    void stop() override {}
    void restart() override {}
    void close() override {}
    bool lost() const override { return gone; }
    int opens = 0;
    bool refuse = false;
    bool gone = false;
};

TEST(Station, ACaptureThatStopsIsToldOnceAndComesBackByItself) {
    LosableInput input;
    Rig r;
    r.station.set_audio_input(&input);
    r.station.activate(Speed::Two, 2);
    ASSERT_TRUE(r.messages.messages().empty());
    input.gone = true;
    input.refuse = true; // the sound server is down
    for (int i = 0; i < 5; ++i)
        r.station.capture_tick();
    ASSERT_EQ(r.messages.messages().size(), 1u);
    EXPECT_EQ(r.messages.messages()[0].text.rfind("The audio input stopped", 0), 0u);
    input.gone = false;
    input.refuse = false; // back
    for (int i = 0; i < 1000 && input.opens < 3; ++i) {
        r.station.capture_tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(input.opens, 2);
    EXPECT_EQ(r.messages.messages().size(), 1u); // the retries are silent
}

TEST(Station, SensitivityFollowsTheTrackBar) {
    Rig r;
    r.station.activate(Speed::Two, 2);
    const float expected[] = {0.5f, 1.0f, 10.0f, 20.0f, 40.0f};
    for (int pos = 1; pos <= 5; ++pos) {
        r.station.set_sensitivity_position(pos);
        EXPECT_EQ(r.station.sensitivity(), expected[pos - 1]);
    }
    r.station.set_sensitivity_position(9);
    EXPECT_EQ(r.station.sensitivity(), 40.0f);
}

} // namespace
} // namespace quavel
