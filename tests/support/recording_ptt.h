// A keying device that records what it is asked, for the tests where no real port can run (the
// station's and window's logic; the adapters themselves are tested on real ports and a real
// rigctld). Opens refuse while `refuse_open` is set; freeze() makes key() wait like a rig that has
// stopped answering; check() answers `answer`; keys or releases refuse while
// `refuse_key` / `refuse_release` is set; lose() stands for an adapter pulled out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/ptt.h"

namespace quavel::test {

class RecordingPtt : public Ptt {
public:
    bool open(const std::string& port) override {
        opened.push_back(port);
        ++open_calls;
        lost_ = false;
        if (refuse_open) {
            error_ = port + ": no such device";
            return false;
        }
        open_ = true;
        keyed_ = false;
        return true;
    }
    bool key(bool on) override {
        {
            // A rig that has stopped answering: the call waits until the test lets it go.
            std::unique_lock lock(gate_mutex_);
            ++calls_waiting_;
            gate_cv_.notify_all();
            gate_cv_.wait(lock, [this] { return !frozen_; });
            --calls_waiting_;
        }
        keys.push_back(on);
        if (!open_ || (on ? refuse_key : refuse_release)) {
            error_ = "the line cannot be changed";
            return false;
        }
        keyed_ = on;
        return true;
    }
    void close() override {
        ++closes;
        open_ = false;
        keyed_ = false;
    }
    bool is_open() const override { return open_; }
    std::string error() const override { return error_; }
    bool lost() const override { return lost_; }

    PttCheck check() override {
        ++checks;
        if (!open_ || lost_) return PttCheck::NoAnswer;
        return answer;
    }

    // While frozen, key() waits (on whichever thread calls it) until thaw().
    void freeze() {
        const std::lock_guard lock(gate_mutex_);
        frozen_ = true;
    }
    void thaw() {
        const std::lock_guard lock(gate_mutex_);
        frozen_ = false;
        gate_cv_.notify_all();
    }
    // Waits until a key() call is held by the freeze.
    void wait_until_held() {
        std::unique_lock lock(gate_mutex_);
        gate_cv_.wait(lock, [this] { return calls_waiting_ > 0; });
    }

    void lose() {
        lost_ = true;
        error_ = "the device went away";
    }
    // What the transmitter would be doing.
    bool keyed() const { return keyed_; }

    // Atomic: the keying thread reads them while the test sets them.
    std::atomic<bool> refuse_open = false;
    std::atomic<bool> refuse_key = false;
    std::atomic<bool> refuse_release = false;
    std::vector<std::string> opened;
    std::vector<bool> keys;
    int closes = 0;
    std::atomic<int> checks = 0;
    std::atomic<int> open_calls = 0; // opened.size(), for reading while the keying thread runs
    std::atomic<PttCheck> answer = PttCheck::Answering; // what check() says while open

private:
    std::atomic<bool> open_ = false;
    std::atomic<bool> keyed_ = false;
    std::atomic<bool> lost_ = false;
    std::string error_;
    std::mutex gate_mutex_;
    std::condition_variable gate_cv_;
    bool frozen_ = false;
    int calls_waiting_ = 0;
};

} // namespace quavel::test
