// The transmitter's keying device on a thread of its own. A serial port's line changes quickly,
// but a rig's CAT command takes as long as the rig's reply, and a rig that has stopped answering
// takes as long as its timeout: no such call may hold up the thread that feeds the sound card,
// runs the watchdog and draws the window. The owner asks (open, key, release, close) and returns
// at once; the keying thread makes the calls in order and reports what the device answered.
//
// While the device is open it is asked how it is (Ptt::check): every `keyed_check` while keyed,
// so that a rig that went away or dropped its transmitter is noticed within about a second and a
// half, and every `idle_check` otherwise. A device that cannot be opened, or that was lost, is
// opened again every `retry` until it answers or another open() or close() is asked for.
//
// The devices are not owned: each must outlive the keyer. All public calls are for one thread
// (the owner's); only the worker calls into the device.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/ptt.h"

namespace quavel {

struct KeyerTiming {
    std::chrono::milliseconds keyed_check{500};
    std::chrono::milliseconds idle_check{2000};
    std::chrono::milliseconds retry{2000};
};

// What the keying thread last found.
struct KeyingStatus {
    bool configured = false; // a device and a name to open on it were given
    bool open = false;       // it is open and answered its last call
    bool keyed = false;      // the transmitter is keyed: the device accepted the key
    bool wanted = false;     // the latest wish is keyed
    bool pending = false;    // a request is queued or under way
    bool failed = false;     // the last open failed, or the device was lost since
    std::string device;      // what is open, or was last tried
    std::string error;       // why it is not open, or why the last change failed
    // A call into the device is under way, since `call_started`: a rig that has stopped
    // answering, or trickles its reply, holds it there for as long as it likes.
    bool in_call = false;
    std::chrono::steady_clock::time_point call_started{};
};

enum class KeyingEventKind {
    Opened,        // an open() request succeeded on its first try
    OpenFailed,    // an open() request failed on its first try (retries are not reported)
    Recovered,     // a device that had failed or was lost answers again
    KeyFailed,     // the key was refused; the device was released and closed
    ReleaseFailed, // the release was refused: the transmitter may still be keyed; closed
    Lost,          // an open device stopped answering, or reports its transmitter released
                   // while keyed; closed, to be retried
};

struct KeyingEvent {
    KeyingEventKind kind;
    bool while_keyed = false; // the transmitter was keyed (or to be keyed) when it happened
    std::string detail;       // the device's own reason
};

class Keyer {
public:
    explicit Keyer(KeyerTiming timing = {});
    // Releases and closes the device, then ends the thread (waiting at most for the call under
    // way).
    ~Keyer();
    Keyer(const Keyer&) = delete;
    Keyer& operator=(const Keyer&) = delete;

    // Releases and closes whatever is open, then opens `device` on `ptt` (null or an empty name:
    // nothing; keying is off). A failure is retried in the background.
    void open(Ptt* ptt, std::string device);
    // Releases and closes; no retries.
    void close();
    // Keys or releases; the latest wish wins. A key waits for a device that is being opened.
    void key(bool on);
    // Runs `task` on the keying thread, in order with the requests (configuring an adapter that
    // the thread may be using).
    void run(std::function<void()> task);
    // Runs `task` on the keying thread once the keying has nothing left to do: behind every
    // request and behind any key or release still to be made, so that a question to the device
    // (a rig's frequency) never holds up the keying. `task` is told whether the transmitter is
    // keyed or about to be, and should then leave the device alone. A key asked for while the
    // task runs waits for it: ask for as little as a call or two.
    void run_when_settled(std::function<void(bool keying)> task);

    KeyingStatus status() const;
    // What happened since the last call, oldest first. Cheap when nothing did.
    std::vector<KeyingEvent> take_events();
    // For tests and headless drivers: waits until nothing is queued or under way. False when
    // `timeout` ran out first.
    bool wait_idle(std::chrono::milliseconds timeout) const;

private:
    struct Request {
        enum class Kind { Open, Close, Task } kind;
        Ptt* ptt = nullptr;
        std::string device;
        std::function<void()> task;
    };
    using Clock = std::chrono::steady_clock;

    void work();
    // The steps below run on the worker with `lock` held; they let go of it around every
    // device call.
    void handle(Request& request, std::unique_lock<std::mutex>& lock);
    void try_open(bool first, std::unique_lock<std::mutex>& lock);
    void shut(std::unique_lock<std::mutex>& lock);
    void reconcile(std::unique_lock<std::mutex>& lock);
    void check(std::unique_lock<std::mutex>& lock);
    void lose(KeyingEventKind kind, std::string why, std::unique_lock<std::mutex>& lock);
    void report(KeyingEventKind kind, std::string detail);
    // Around each call into the device: the lock is let go, and the call's start noted.
    void unlock_for_call(std::unique_lock<std::mutex>& lock);
    void relock_after_call(std::unique_lock<std::mutex>& lock);
    Clock::time_point next_due() const;

    KeyerTiming timing_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    mutable std::condition_variable idle_;
    std::deque<Request> requests_;
    std::deque<std::function<void(bool)>> settled_tasks_;
    std::vector<KeyingEvent> events_;
    bool stopping_ = false;
    bool busy_ = false;
    // The device as the worker holds it (written by the worker, under the lock).
    Ptt* ptt_ = nullptr;
    KeyingStatus status_;
    Clock::time_point next_check_{};
    Clock::time_point next_retry_{};
    std::thread worker_;
};

} // namespace quavel
