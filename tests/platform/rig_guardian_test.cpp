// The CAT keying adapter against hamlib's real rigctld: the rig's guardian (the modem tool run
// as one) releases the rig when its program gives it up without a goodbye and leaves it alone
// after one; one program per rig; an open that fails says why.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/hamlib/rig_guardian.h"
#include "platform/hamlib/rig_lock.h"
#include "support/rigctld.h"

namespace quavel {
namespace {

constexpr int kReleaseWaitMs = 2000;

class RigGuardianTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
        set_rig_guardian_program(QUAVEL_MODEM_TOOL);
    }
    void TearDown() override { set_rig_guardian_program({}); }

    test::Rigctld rig;
};

// The guardian's process is gone and reaped: no zombie is left behind.
bool reaped(long pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

struct GuardianCase {
    const char* name;
    bool last_told_keyed;
    bool goodbye;
    bool released_by_guardian;
};

class GuardianEnding : public RigGuardianTest,
                       public ::testing::WithParamInterface<GuardianCase> {};

TEST_P(GuardianEnding, ReleasesOnlyWhenLeftKeyedWithoutAGoodbye) {
    if (IsSkipped()) return;
    const GuardianCase& c = GetParam();
    RigGuardian guardian;
    std::string error;
    ASSERT_TRUE(guardian.start(kHamlibNetModel, rig.address(), 0, error)) << error;
    const long pid = guardian.pid();
    ASSERT_TRUE(guardian.tell_keyed(true));
    if (!c.last_told_keyed) {
        ASSERT_TRUE(guardian.tell_keyed(false));
    }
    // The rig keyed as the program would have left it.
    ASSERT_TRUE(rig.set_ptt(true));
    if (c.goodbye) {
        guardian.dismiss();
    } else {
        guardian.abandon();
    }
    EXPECT_FALSE(guardian.running());
    EXPECT_TRUE(reaped(pid));
    if (c.released_by_guardian) {
        EXPECT_EQ(test::wait_until_released(rig, kReleaseWaitMs), false);
    } else {
        EXPECT_EQ(rig.ptt(), true);
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, GuardianEnding,
                         ::testing::Values(GuardianCase{"KeyedThenGone", true, false, true},
                                           GuardianCase{"ReleasedThenGone", false, false, false},
                                           GuardianCase{"KeyedThenGoodbye", true, true, false},
                                           GuardianCase{"ReleasedThenGoodbye", false, true, false}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// What the guardian holds: its socket and the three standard streams, none of the program's
// other descriptors (a serial port among them would keep its lines up after the program's
// death); a session of its own; the stop signals ignored.
TEST_F(RigGuardianTest, HoldsNothingOfTheProgramsAndOutlivesItsSignals) {
    if (IsSkipped()) return;
    int master = -1;
    int slave = -1;
    char terminal[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, terminal, nullptr, nullptr), 0);
    RigGuardian guardian;
    std::string error;
    ASSERT_TRUE(guardian.start(kHamlibNetModel, rig.address(), 0, error)) << error;
    const std::string proc = "/proc/" + std::to_string(guardian.pid());
    // Whatever the guardian opened itself after it started (hamlib's own) is not the program's.
    std::set<std::string> held;
    for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd"))
        held.insert(std::filesystem::read_symlink(entry.path()).string());
    EXPECT_EQ(held.count(terminal), 0u);
    EXPECT_EQ(held.count("/dev/ptmx"), 0u);
    EXPECT_EQ(std::filesystem::read_symlink(proc + "/fd/0"), "/dev/null");
    EXPECT_EQ(std::filesystem::read_symlink(proc + "/fd/3").string().rfind("socket:", 0), 0u);
    EXPECT_NE(::getsid(static_cast<pid_t>(guardian.pid())), ::getsid(0));
    std::ifstream status(proc + "/status");
    unsigned long long ignored = 0;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigIgn:", 0) == 0) ignored = std::stoull(line.substr(7), nullptr, 16);
    for (const int signal : {SIGINT, SIGHUP, SIGQUIT, SIGTERM})
        EXPECT_NE(ignored & (1ULL << (signal - 1)), 0u) << signal;
    ::close(slave);
    ::close(master);
}

TEST_F(RigGuardianTest, AGuardianKilledIsNoticedAndStartedAgainOnTheNextKeying) {
    if (IsSkipped()) return;
    HamlibPtt cat;
    ASSERT_TRUE(cat.open(rig.address())) << cat.error();
    const long first = cat.guardian_pid();
    ASSERT_GT(first, 0);
    ::kill(static_cast<pid_t>(first), SIGKILL);
    // Dead, not yet reaped: the adapter's part.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(first), &info, WEXITED | WNOWAIT), 0);
    // Until the next keying the adapter cannot know; that one starts a new guardian.
    ASSERT_TRUE(cat.key(true)) << cat.error();
    EXPECT_TRUE(reaped(first));
    EXPECT_GT(cat.guardian_pid(), 0);
    EXPECT_NE(cat.guardian_pid(), first);
    EXPECT_TRUE(cat.key(false)) << cat.error();
    const long second = cat.guardian_pid();
    cat.close();
    EXPECT_TRUE(reaped(second));
    EXPECT_EQ(rig.ptt(), false);
}

TEST_F(RigGuardianTest, AGuardianThatCannotRunFailsTheOpen) {
    if (IsSkipped()) return;
    set_rig_guardian_program("/nonexistent/quavel");
    HamlibPtt cat;
    EXPECT_FALSE(cat.open(rig.address()));
    EXPECT_NE(cat.error().find("guardian"), std::string::npos) << cat.error();
    EXPECT_FALSE(cat.is_open());
    // The lock went with the failed open.
    set_rig_guardian_program({});
    EXPECT_TRUE(cat.open(rig.address())) << cat.error();
}

TEST_F(RigGuardianTest, ASecondAdapterOnTheSameRigIsRefusedUntilTheFirstCloses) {
    if (IsSkipped()) return;
    set_rig_guardian_program({});
    HamlibPtt first;
    HamlibPtt second;
    ASSERT_TRUE(first.open(rig.address())) << first.error();
    ASSERT_TRUE(first.key(true));
    EXPECT_FALSE(second.open(rig.address()));
    EXPECT_EQ(second.error(), "rig model 2 on " + rig.address() +
                                  " is in use by another Quavel program (process " +
                                  std::to_string(::getpid()) + ")");
    EXPECT_EQ(second.in_use_by(), std::optional<long>(::getpid()));
    // The refused open touched nothing: the first one's transmission goes on.
    EXPECT_EQ(rig.ptt(), true);
    first.close();
    EXPECT_TRUE(second.open(rig.address())) << second.error();
}

TEST_F(RigGuardianTest, ARefusedConnectionNamesTheModelAndTheReason) {
    if (IsSkipped()) return;
    HamlibPtt cat;
    EXPECT_FALSE(cat.open("127.0.0.1:1"));
    EXPECT_EQ(cat.error(), "rig model 2 on 127.0.0.1:1 (Hamlib NET rigctl): connection refused");
}

TEST(RigLock, TwoNamesOfOneDeviceAreOneLockAndOddPortsMakePlainNames) {
    const std::string link = "/tmp/quavel-rig-lock-test-" + std::to_string(::getpid());
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);
    EXPECT_EQ(RigLock::path_for(2, link), RigLock::path_for(2, "/dev/null"));
    ::unlink(link.c_str());
    const std::string path = RigLock::path_for(2, "host name/../x:4532");
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(name, "quavel-rig-2-host_name_.._x_4532.lock");
    EXPECT_NE(RigLock::path_for(1, "a"), RigLock::path_for(2, "a"));
}

TEST(RigGuardianMain, RefusesToRunWithoutItsSocket) {
    char program[] = "quavel";
    char flag[] = "--rig-guardian";
    char fd[] = "1023"; // no socket there
    char model[] = "2";
    char speed[] = "0";
    char port[] = "localhost:4532";
    char* argv[] = {program, flag, fd, model, speed, port, nullptr};
    EXPECT_EQ(rig_guardian_main(6, argv), std::optional<int>(2));
    char* plain[] = {program, nullptr};
    const std::string before = rig_guardian_program();
    EXPECT_EQ(rig_guardian_main(1, plain), std::nullopt);
    set_rig_guardian_program(before);
}

} // namespace
} // namespace quavel
