// Keying by CAT command through hamlib: the rig (hamlib's model number: 1 is its dummy rig, 2 a
// rigctld reached over the network) on its port (a serial device, or HOST:PORT for a rigctld) at
// its serial speed. The transmitter is released on opening and on closing.
//
// hamlib talks to the rig synchronously, so each call can take as long as the rig's reply: the
// adapter keeps hamlib's timeout short and tries once, so that a rig that has gone quiet holds
// the caller up for about a second, not for minutes. Use from one thread.
#pragma once

#include <string>

#include "platform/audio_device.h"

struct s_rig;

namespace quavel {

inline constexpr int kHamlibDummyModel = 1;
inline constexpr int kHamlibNetModel = 2;

class HamlibPtt : public Ptt {
public:
    // `speed_baud` 0 keeps the rig's own default speed.
    explicit HamlibPtt(int model = kHamlibNetModel, int speed_baud = 0);
    ~HamlibPtt() override; // releases and closes
    HamlibPtt(const HamlibPtt&) = delete;
    HamlibPtt& operator=(const HamlibPtt&) = delete;

    // Takes effect at the next open().
    void configure(int model, int speed_baud);
    int model() const { return model_; }
    int speed_baud() const { return speed_baud_; }

    // `port`: the rig's serial device, or HOST:PORT for model 2. Empty keeps hamlib's default
    // for the model (localhost:4532 for a rigctld).
    bool open(const std::string& port) override;
    bool key(bool on) override;
    void close() override;
    bool is_open() const override { return rig_ != nullptr; }
    std::string error() const override { return error_; }
    // A key or release failed after a successful open: the rig stopped answering.
    bool lost() const override { return lost_; }

    // What the rig itself says: true when it reports the transmitter keyed. False, with
    // error() set, when it cannot be asked.
    bool keyed();

private:
    std::string where() const;

    int model_;
    int speed_baud_;
    std::string port_;
    s_rig* rig_ = nullptr;
    std::string error_;
    bool lost_ = false;
};

} // namespace quavel
