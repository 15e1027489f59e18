// A keying device that records what it is asked, for the tests where no real port can run (the
// station's and window's logic; the adapters themselves are tested on real ports and a real
// rigctld). Opens refuse while `refuse_open` is set; keys or releases refuse while
// `refuse_key` / `refuse_release` is set; lose() stands for an adapter pulled out.
#pragma once

#include <string>
#include <vector>

#include "platform/audio_device.h"

namespace quavel::test {

class RecordingPtt : public Ptt {
public:
    bool open(const std::string& port) override {
        opened.push_back(port);
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

    void lose() {
        lost_ = true;
        error_ = "the device went away";
    }
    // What the transmitter would be doing.
    bool keyed() const { return keyed_; }

    bool refuse_open = false;
    bool refuse_key = false;
    bool refuse_release = false;
    std::vector<std::string> opened;
    std::vector<bool> keys;
    int closes = 0;

private:
    bool open_ = false;
    bool keyed_ = false;
    bool lost_ = false;
    std::string error_;
};

} // namespace quavel::test
