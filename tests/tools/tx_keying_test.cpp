// `quavel-modem tx --ptt` keying a real rigctld (hamlib's dummy rig) while it plays through a
// sound server of the test's own: keyed while the sound runs, released at the end, by the
// watchdog, by a stop signal and when the sound server goes away; never keyed when the
// playback cannot start. The keying options are checked before anything is opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <pty.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "sound_support.h"
#include "support/rigctld.h"

namespace quavel {
namespace {

namespace fs = std::filesystem;
using test::Command;
using test::Process;

constexpr const char* kLongText = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789";

class TxKeying : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name)
            if (c == '/') c = '-';
        dir = fs::temp_directory_path() /
              ("quavel-keying-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Skips (the caller returns when IsSkipped()) without hamlib's programs or a sound server.
    void need_rig_and_sound() {
        rig = std::make_unique<test::Rigctld>();
        if (!rig->skip_reason().empty()) GTEST_SKIP() << rig->skip_reason();
        server = std::make_unique<test::SoundServer>();
        if (!server->skip_reason().empty()) GTEST_SKIP() << server->skip_reason();
    }
    Command tx(std::vector<std::string> args) const {
        Command c{{QUAVEL_MODEM_TOOL, "tx", "--speed", "4"}, dir / "tx.out", dir / "tx.err", {}};
        if (rig) {
            for (const std::string& a :
                 {std::string("--ptt"), std::string("cat"), std::string("--rig-model"),
                  std::string("2"), std::string("--rig-port"), rig->address()})
                c.argv.push_back(a);
        }
        c.argv.insert(c.argv.end(), args.begin(), args.end());
        return c;
    }
    std::string err() const { return test::read_text(dir / "tx.err"); }

    fs::path dir;
    std::unique_ptr<test::Rigctld> rig;
    std::unique_ptr<test::SoundServer> server;
};

using TxKeyingSoundServer = TxKeying;

TEST_F(TxKeyingSoundServer, KeyedWhileTheSoundRunsAndReleasedAfterTheLastSymbol) {
    need_rig_and_sound();
    if (IsSkipped()) return;
    Process p(tx({"CQ CQ DE TEST"}));
    ASSERT_TRUE(test::wait_until_keyed(*rig, 10000)) << err();
    EXPECT_EQ(p.wait(60000), std::optional<int>(0)) << err();
    EXPECT_EQ(rig->ptt(), false);
}

TEST_F(TxKeyingSoundServer, TheWatchdogEndsTheTransmissionAndReleases) {
    need_rig_and_sound();
    if (IsSkipped()) return;
    Process p(tx({"--watchdog", "2s", kLongText}));
    EXPECT_EQ(p.wait(20000), std::optional<int>(1)) << err();
    EXPECT_NE(err().find("watchdog"), std::string::npos) << err();
    EXPECT_EQ(rig->ptt(), false);
}

class TxKeyingSignalSoundServer : public TxKeying, public ::testing::WithParamInterface<int> {};

TEST_P(TxKeyingSignalSoundServer, AStopSignalCutsTheSoundAndReleases) {
    need_rig_and_sound();
    if (IsSkipped()) return;
    Process p(tx({kLongText}));
    ASSERT_TRUE(test::wait_until_keyed(*rig, 10000)) << err();
    p.signal(GetParam());
    EXPECT_EQ(p.wait(5000), std::optional<int>(128 + GetParam())) << err();
    EXPECT_EQ(rig->ptt(), false);
}

INSTANTIATE_TEST_SUITE_P(Signals, TxKeyingSignalSoundServer,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP), [](const auto& param_info) {
                             return std::string(param_info.param == SIGINT    ? "SIGINT"
                                                : param_info.param == SIGTERM ? "SIGTERM"
                                                                              : "SIGHUP");
                         });

// However the tool ends while keyed, the rig is released: by the tool itself for a stop request
// (a second one in a hurry included), by its guardian process for a death it cannot answer.
struct DeathCase {
    const char* name;
    std::vector<int> signals;
};

class TxKeyingDeathSoundServer : public TxKeying,
                                 public ::testing::WithParamInterface<DeathCase> {};

TEST_P(TxKeyingDeathSoundServer, TheRigIsReleasedWithinTwoSeconds) {
    need_rig_and_sound();
    if (IsSkipped()) return;
    Process p(tx({kLongText}));
    ASSERT_TRUE(test::wait_until_keyed(*rig, 10000)) << err();
    for (const int signal : GetParam().signals)
        p.signal(signal);
    EXPECT_EQ(test::wait_until_released(*rig, 2000), false) << err();
    const std::optional<int> status = p.wait(10000);
    ASSERT_TRUE(status.has_value());
    // A stop request, however often repeated, ends the tool by its normal path.
    const std::vector<int>& sent = GetParam().signals;
    if (std::all_of(sent.begin(), sent.end(), [](int s) { return s == SIGTERM; })) {
        EXPECT_EQ(*status, 128 + SIGTERM) << err();
    }
}

INSTANTIATE_TEST_SUITE_P(Deaths, TxKeyingDeathSoundServer,
                         ::testing::Values(DeathCase{"Kill", {SIGKILL}},
                                           DeathCase{"Segv", {SIGSEGV}},
                                           DeathCase{"Abort", {SIGABRT}},
                                           DeathCase{"Term", {SIGTERM}},
                                           DeathCase{"TermTwice", {SIGTERM, SIGTERM}},
                                           DeathCase{"TermThenKill", {SIGTERM, SIGKILL}}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(TxKeyingSoundServer, ASecondToolOnTheKeyedRigIsRefusedAndLeavesItKeyed) {
    need_rig_and_sound();
    if (IsSkipped()) return;
    Process first(tx({kLongText}));
    ASSERT_TRUE(test::wait_until_keyed(*rig, 10000)) << err();
    Command second = tx({"TEST"});
    second.stderr_path = dir / "second.err";
    EXPECT_EQ(test::run(second, 20000), 1);
    const std::string refused = test::read_text(dir / "second.err");
    EXPECT_NE(refused.find("rig model 2 on " + rig->address() +
                           " is in use by another Quavel program (process " +
                           std::to_string(first.pid()) + ")"),
              std::string::npos)
        << refused;
    EXPECT_EQ(rig->ptt(), true);
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(10000), std::optional<int>(128 + SIGTERM)) << err();
    EXPECT_EQ(rig->ptt(), false);
}

TEST_F(TxKeyingSoundServer, ALostSoundServerReleasesTheRig) {
    need_rig_and_sound();
    if (IsSkipped()) return;
    if (!server->private_server()) GTEST_SKIP() << "needs a sound server of the test's own to stop";
    Process p(tx({kLongText}));
    ASSERT_TRUE(test::wait_until_keyed(*rig, 10000)) << err();
    server->stop();
    EXPECT_EQ(p.wait(15000), std::optional<int>(1)) << err();
    EXPECT_EQ(rig->ptt(), false);
}

TEST_F(TxKeyingSoundServer, APlaybackThatCannotStartNeverKeys) {
    rig = std::make_unique<test::Rigctld>();
    if (!rig->skip_reason().empty()) GTEST_SKIP() << rig->skip_reason();
    Command c = tx({"TEST"});
    c.env = {{"PULSE_SERVER", "unix:" + (dir / "no-server").string()}};
    EXPECT_EQ(test::run(c, 20000), 1) << err();
    EXPECT_NE(err().find("the transmitter was not keyed"), std::string::npos) << err();
    EXPECT_EQ(rig->ptt(), false);
}

// A terminal without modem lines stands for a serial port whose driver refuses RTS: the refusal
// is reported and the sound stops.
TEST_F(TxKeyingSoundServer, AKeyThePortRefusesIsReportedAndNothingIsSent) {
    server = std::make_unique<test::SoundServer>();
    if (!server->skip_reason().empty()) GTEST_SKIP() << server->skip_reason();
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    Command c = tx({"--ptt", "rts", "--ptt-port", name, "TEST"});
    EXPECT_EQ(test::run(c, 20000), 1) << err();
    EXPECT_NE(err().find(std::string("cannot key the transmitter: ") + name), std::string::npos)
        << err();
    ::close(slave);
    ::close(master);
}

TEST_F(TxKeying, ARigThatCannotBeReachedStopsTheCommandBeforeAnySound) {
    Command c = tx({"--ptt", "cat", "--rig-model", "2", "--rig-port", "127.0.0.1:1", "TEST"});
    EXPECT_EQ(test::run(c, 20000), 1) << err();
    EXPECT_NE(err().find("cannot open the rig: rig model 2 on 127.0.0.1:1"), std::string::npos)
        << err();
}

struct UsageCase {
    std::vector<std::string> args;
    const char* message;
};

TEST_F(TxKeying, KeyingOptionsAreCheckedFirst) {
    const std::vector<UsageCase> cases = {
        {{"--ptt", "vox", "X"}, "--ptt must be rts, dtr, cat or none"},
        {{"--ptt", "rts", "X"}, "--ptt rts needs --ptt-port DEVICE"},
        {{"--ptt", "cat", "--rig-model", "2", "X"}, "--ptt cat needs --rig-model N and --rig-port"},
        {{"--ptt", "dtr", "--ptt-port", "/dev/ttyUSB0", "-o", "x.wav", "X"}, "with -o nothing"},
        {{"--watchdog", "61", "X"}, "--watchdog takes 0..60 minutes"},
        {{"--rig-speed", "12", "X"}, "--rig-speed must be 300..115200"},
    };
    for (const UsageCase& u : cases) {
        Command c{{QUAVEL_MODEM_TOOL, "tx"}, dir / "tx.out", dir / "tx.err", {}};
        c.argv.insert(c.argv.end(), u.args.begin(), u.args.end());
        EXPECT_EQ(test::run(c, 20000), 2) << u.message;
        EXPECT_NE(err().find(u.message), std::string::npos) << err();
    }
}

} // namespace
} // namespace quavel
