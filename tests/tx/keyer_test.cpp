#include "tx/keyer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "support/recording_ptt.h"

namespace quavel {
namespace {

using namespace std::chrono_literals;
using test::RecordingPtt;

constexpr KeyerTiming kQuick{.keyed_check = 5ms, .idle_check = 5ms, .retry = 10ms};

// Waits (bounded) until `done` holds, collecting the keyer's events meanwhile.
bool wait_for(Keyer& keyer, std::vector<KeyingEvent>& events, const std::function<bool()>& done) {
    for (int i = 0; i < 500; ++i) {
        for (KeyingEvent& e : keyer.take_events())
            events.push_back(std::move(e));
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

int count(const std::vector<KeyingEvent>& events, KeyingEventKind kind) {
    int n = 0;
    for (const KeyingEvent& e : events)
        n += e.kind == kind ? 1 : 0;
    return n;
}

TEST(Keyer, NeverWaitsOnADeviceThatStoppedAnswering) {
    RecordingPtt ptt;
    Keyer keyer;
    keyer.open(&ptt, "COM1");
    ASSERT_TRUE(keyer.wait_idle(5s));
    ptt.freeze();
    keyer.key(true);
    ptt.wait_until_held();
    // The device holds the keying thread; the owner's calls still return.
    EXPECT_TRUE(keyer.status().pending);
    keyer.key(false);
    EXPECT_FALSE(keyer.wait_idle(1ms));
    ptt.thaw();
    ASSERT_TRUE(keyer.wait_idle(5s));
    // The latest wish wins: released.
    EXPECT_FALSE(keyer.status().keyed);
    EXPECT_FALSE(ptt.keyed());
    EXPECT_EQ(ptt.keys.back(), false);
}

struct Fault {
    const char* name;
    std::function<void(RecordingPtt&)> before_key;  // set up before the key
    std::function<void(RecordingPtt&)> while_keyed; // then, once keyed
    KeyingEventKind expected;
};

class KeyerFault : public testing::TestWithParam<Fault> {};

TEST_P(KeyerFault, IsReportedAndLeavesTheDeviceClosedAndReleased) {
    const Fault& fault = GetParam();
    RecordingPtt ptt;
    Keyer keyer(kQuick);
    keyer.open(&ptt, "COM1");
    ASSERT_TRUE(keyer.wait_idle(5s));
    ptt.answer = PttCheck::Keyed;
    if (fault.before_key) fault.before_key(ptt);
    keyer.key(true);
    ASSERT_TRUE(keyer.wait_idle(5s));
    if (fault.while_keyed) fault.while_keyed(ptt);
    std::vector<KeyingEvent> events;
    ASSERT_TRUE(wait_for(keyer, events, [&] { return count(events, fault.expected) > 0; }));
    for (const KeyingEvent& e : events) {
        if (e.kind != fault.expected) continue;
        EXPECT_TRUE(e.while_keyed);
        EXPECT_FALSE(e.detail.empty());
    }
    EXPECT_FALSE(keyer.status().keyed);
    EXPECT_GE(ptt.closes, 1);
    EXPECT_FALSE(ptt.keyed());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, KeyerFault,
    testing::Values(
        Fault{"StopsAnswering", nullptr, [](RecordingPtt& p) { p.lose(); }, KeyingEventKind::Lost},
        Fault{"ReportsReleased", nullptr, [](RecordingPtt& p) { p.answer = PttCheck::Released; },
              KeyingEventKind::Lost},
        Fault{"RefusesTheKey", [](RecordingPtt& p) { p.refuse_key = true; }, nullptr,
              KeyingEventKind::KeyFailed}),
    [](const testing::TestParamInfo<Fault>& param_info) {
        return std::string(param_info.param.name);
    });

TEST(Keyer, ReportsARefusedReleaseAndClosesTheDevice) {
    RecordingPtt ptt;
    Keyer keyer(kQuick);
    keyer.open(&ptt, "COM1");
    keyer.key(true);
    ASSERT_TRUE(keyer.wait_idle(5s));
    ptt.refuse_release = true;
    keyer.key(false);
    ASSERT_TRUE(keyer.wait_idle(5s));
    std::vector<KeyingEvent> events = keyer.take_events();
    EXPECT_EQ(count(events, KeyingEventKind::ReleaseFailed), 1);
    EXPECT_FALSE(ptt.is_open()); // closed: a serial driver drops its lines then
}

TEST(Keyer, RetriesADeviceThatCannotBeOpenedAndSaysOnceWhenItIsBack) {
    RecordingPtt ptt;
    ptt.refuse_open = true;
    Keyer keyer(kQuick);
    keyer.open(&ptt, "/dev/ttyUSB0");
    std::vector<KeyingEvent> events;
    ASSERT_TRUE(wait_for(keyer, events, [&] { return keyer.status().failed; }));
    ASSERT_TRUE(keyer.wait_idle(5s));
    // Retried in the background, reported once.
    ASSERT_TRUE(wait_for(keyer, events, [&] { return ptt.open_calls >= 3; }));
    ptt.refuse_open = false;
    ASSERT_TRUE(wait_for(keyer, events, [&] { return keyer.status().open; }));
    wait_for(keyer, events, [&] { return count(events, KeyingEventKind::Recovered) > 0; });
    EXPECT_EQ(count(events, KeyingEventKind::OpenFailed), 1);
    EXPECT_EQ(count(events, KeyingEventKind::Recovered), 1);
    EXPECT_FALSE(keyer.status().failed);
    // Closing ends the retries.
    keyer.close();
    ASSERT_TRUE(keyer.wait_idle(5s));
    EXPECT_FALSE(keyer.status().configured);
}

TEST(Keyer, ReleasesAndClosesAsItGoes) {
    RecordingPtt ptt;
    {
        Keyer keyer;
        keyer.open(&ptt, "COM2");
        keyer.key(true);
        ASSERT_TRUE(keyer.wait_idle(5s));
        EXPECT_TRUE(ptt.keyed());
    }
    EXPECT_FALSE(ptt.keyed());
    EXPECT_FALSE(ptt.is_open());
}

// A question to the device waits behind the keying: one asked while a key is held up runs only
// once the key and the release asked after it have been made, and one asked while keyed is told
// so (and leaves the device alone).
TEST(Keyer, ASettledTaskRunsBehindTheKeyingAndKnowsWhenItIsKeyed) {
    RecordingPtt ptt;
    Keyer keyer;
    keyer.open(&ptt, "COM1");
    ASSERT_TRUE(keyer.wait_idle(5s));
    ptt.freeze();
    keyer.key(true);
    ptt.wait_until_held();
    std::vector<bool> keys_seen;
    bool keying_seen = true;
    keyer.run_when_settled([&](bool keying) {
        keys_seen = ptt.keys;
        keying_seen = keying;
    });
    keyer.key(false);
    ptt.thaw();
    ASSERT_TRUE(keyer.wait_idle(5s));
    EXPECT_EQ(keys_seen, (std::vector<bool>{true, false}));
    EXPECT_FALSE(keying_seen);

    keyer.key(true);
    keyer.run_when_settled([&](bool keying) { keying_seen = keying; });
    ASSERT_TRUE(keyer.wait_idle(5s));
    EXPECT_TRUE(keying_seen);
}

} // namespace
} // namespace quavel
