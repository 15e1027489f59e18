#include "platform/devices/ptt_guard.h"

#include <array>
#include <atomic>

#ifndef _WIN32
#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace quavel {

#ifndef _WIN32
namespace {

static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need lock-free slots");

// Each slot holds a watched descriptor plus one, so that the zero of static storage is empty.
std::array<std::atomic<int>, kPttGuardSlots> watched{};

constexpr std::array<int, 5> kFatalSignals = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGQUIT};
std::array<struct sigaction, kFatalSignals.size()> previous{};
std::atomic<bool> installed{false};
volatile std::sig_atomic_t deadline_signal = 0;
// Set by the first stop request: later ones neither push the deadline back nor change its
// signal.
std::atomic<bool> deadline_armed{false};
std::atomic<PttGuardObserver> observer{nullptr};

extern "C" void on_fatal_signal(int signal) {
    ptt_guard_release_all();
    for (size_t i = 0; i < kFatalSignals.size(); ++i) {
        if (kFatalSignals[i] != signal) continue;
        sigaction(signal, &previous[i], nullptr);
    }
    // Blocked while this handler runs: delivered to the previous handler as it returns (a
    // fault re-executes the faulting instruction and arrives there anyway).
    raise(signal);
}

extern "C" void on_deadline(int) {
    ptt_guard_release_all();
    const int signal = deadline_signal;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal);
    _exit(128 + signal); // in case the signal's default does not end the process
}

} // namespace

bool ptt_guard_watch(int fd) {
    if (fd < 0) return false;
    for (auto& slot : watched) {
        int empty = 0;
        if (slot.compare_exchange_strong(empty, fd + 1)) return true;
    }
    return false;
}

void ptt_guard_forget(int fd) {
    for (auto& slot : watched) {
        int expected = fd + 1;
        slot.compare_exchange_strong(expected, 0);
    }
}

void ptt_guard_install() {
    if (installed.exchange(true)) return;
    for (size_t i = 0; i < kFatalSignals.size(); ++i) {
        struct sigaction action {};
        action.sa_handler = on_fatal_signal;
        sigemptyset(&action.sa_mask);
        sigaction(kFatalSignals[i], &action, &previous[i]);
    }
}

void ptt_guard_release_all() {
    for (auto& slot : watched) {
        const int fd = slot.load() - 1;
        if (fd < 0) continue;
        int lines = TIOCM_RTS | TIOCM_DTR;
        const int result = ::ioctl(fd, TIOCMBIC, &lines);
        if (const PttGuardObserver watch = observer.load()) watch(fd, result);
    }
}

void ptt_guard_arm_deadline(int signal, unsigned seconds) {
    if (deadline_armed.exchange(true)) return;
    deadline_signal = signal;
    struct sigaction action {};
    action.sa_handler = on_deadline;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    alarm(seconds == 0 ? 1 : seconds);
}

void ptt_guard_cancel_deadline() {
    alarm(0);
    deadline_armed.store(false);
}

void ptt_guard_set_observer(PttGuardObserver watch) {
    observer.store(watch);
}

#else
bool ptt_guard_watch(int) {
    return false;
}
void ptt_guard_forget(int) {}
void ptt_guard_install() {}
void ptt_guard_release_all() {}
void ptt_guard_arm_deadline(int, unsigned) {}
void ptt_guard_cancel_deadline() {}
void ptt_guard_set_observer(PttGuardObserver) {}
#endif

} // namespace quavel
