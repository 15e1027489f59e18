// The stop request's last-resort deadline, in a child process of its own: armed by the first
// request only, so that a stream of requests cannot keep putting it off, and armed again after
// a cancel.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/devices/ptt_guard.h"

namespace quavel {
namespace {

struct DeadlineCase {
    const char* name;
    bool cancel_first; // the normal path finished once before the next request
    int signal;        // what the child must die of
};

class PttGuardDeadlineRealTime : public ::testing::TestWithParam<DeadlineCase> {};

TEST_P(PttGuardDeadlineRealTime, FiresOnTheFirstRequestsTimeAndEndsTheProcessByItsSignal) {
    const DeadlineCase& c = GetParam();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (c.cancel_first) {
            ptt_guard_arm_deadline(SIGINT, 1);
            ptt_guard_cancel_deadline();
        }
        ptt_guard_arm_deadline(c.signal, 1);
        // A request every 100 ms for 3 s: had each one re-armed the deadline, it would never
        // come while they last, and the child would end normally.
        for (int i = 0; i < 30; ++i) {
            ::usleep(100000);
            ptt_guard_arm_deadline(SIGINT, 1);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended normally: the deadline was put off";
    EXPECT_EQ(WTERMSIG(status), c.signal);
}

INSTANTIATE_TEST_SUITE_P(Requests, PttGuardDeadlineRealTime,
                         ::testing::Values(DeadlineCase{"Repeated", false, SIGTERM},
                                           DeadlineCase{"AfterACancel", true, SIGHUP}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

} // namespace
} // namespace quavel
