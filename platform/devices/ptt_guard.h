// The last line of defence for a keyed transmitter: when the process dies without running its
// normal cleanup (a crash, an abort, Ctrl+\, a stop request the window thread cannot answer),
// RTS and DTR are dropped on every serial keying port still open, from the signal handler itself
// (one ioctl per port), before the signal goes on to do what it would have done.
//
// Signal handlers can reach nothing but static storage, so the watched descriptors are the one
// piece of process-wide state here: a few lock-free slots, filled and emptied by the serial
// keying adapter as it opens and closes its port. POSIX only; elsewhere every call does nothing.
#pragma once

namespace quavel {

inline constexpr int kPttGuardSlots = 8;

// Watches `fd`, an open serial port, until ptt_guard_forget(fd). False when every slot is taken.
bool ptt_guard_watch(int fd);
void ptt_guard_forget(int fd);

// Catches SIGSEGV, SIGABRT, SIGBUS, SIGFPE and SIGQUIT: the lines are dropped, then the handler
// that was there before (the default: the process dies) gets the signal. Once per process; later
// calls do nothing.
void ptt_guard_install();

// Drops RTS and DTR on every watched port. Async-signal-safe.
void ptt_guard_release_all();

// For a stop handler: when the normal stop path has not ended the process within `seconds`,
// the lines are dropped and the process ends by `signal` with its default action (a rig keyed
// by CAT is then released by its guardian, platform/hamlib/rig_guardian.h). Armed once: calls while
// it runs change nothing, so a stream of stop requests cannot keep pushing it back.
// Async-signal-safe. ptt_guard_cancel_deadline() once the normal path has released the keying;
// after that the next call arms it again.
void ptt_guard_arm_deadline(int signal, unsigned seconds);
void ptt_guard_cancel_deadline();

// For tests, where no port has modem lines to read back: called from the handler after each
// port's lines were dropped, with the descriptor and the ioctl's result. Must be
// async-signal-safe. Null: none.
using PttGuardObserver = void (*)(int fd, int result);
void ptt_guard_set_observer(PttGuardObserver observer);

} // namespace quavel
