// Keying by CAT command through hamlib: the rig (hamlib's model number: 1 is its dummy rig, 2 a
// rigctld reached over the network) on its port (a serial device, or HOST:PORT for a rigctld) at
// its serial speed. The transmitter is released on opening and on closing.
//
// hamlib talks to the rig synchronously, so each call can take as long as the rig's reply: the
// adapter keeps hamlib's timeout short and tries once, so that a rig that has gone quiet holds
// the caller up for about a second, not for minutes. Use from one thread at a time (any one).
//
// One program per rig: open() takes the rig's lock (platform/hamlib/rig_lock.h) and fails, naming
// the other program's process, when another holds it. Once open, a guardian process
// (platform/hamlib/rig_guardian.h, where the program's main() runs one) is told before each keying
// and after each release, and releases the rig should the program die keyed.
//
// hamlib formats and reads numbers under the C library's numeric locale and switches it
// process-wide (from whatever thread it runs on) when it is not "C": the program runs with
// LC_NUMERIC set to "C" from start-up, so hamlib's switches change nothing.
#pragma once

#include <optional>
#include <string>

#include "interfaces/ptt.h"
#include "platform/hamlib/rig_guardian.h"
#include "platform/hamlib/rig_lock.h"

struct s_rig;

namespace quavel {

inline constexpr int kHamlibDummyModel = 1;
inline constexpr int kHamlibNetModel = 2;

// What an open rig says of its dial.
struct RigDial {
    double frequency_hz = 0;
    std::string mode; // hamlib's name ("USB", "PKTLSB"...); empty when the rig would not say
};

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

    // Asks the rig for its PTT: Keyed or Released as it reports, NoAnswer (error() says why)
    // when it cannot be asked.
    PttCheck check() override;

    // What the rig itself says: true when it reports the transmitter keyed. False, with
    // error() set, when it cannot be asked.
    bool keyed();

    // Asks the open rig for its dial frequency and mode (two calls, each up to hamlib's
    // timeout). Nothing, with error() set, when no rig is open or it gives no frequency. A
    // failure here does not count as the rig lost: check() decides that.
    std::optional<RigDial> dial();

    // "rig model 2 on localhost:4532", as messages name the rig.
    std::string where() const;
    // After an open that failed because another program has the rig: its process id (0 when
    // it has not written it yet). Nothing otherwise.
    std::optional<long> in_use_by() const { return in_use_by_; }
    // The guardian's process id while one watches the open rig; -1 when none does.
    long guardian_pid() const { return guardian_.pid(); }

private:
    bool take_lock(s_rig* rig);

    int model_;
    int speed_baud_;
    std::string port_;
    s_rig* rig_ = nullptr;
    std::string error_;
    bool lost_ = false;
    std::optional<long> in_use_by_;
    RigLock lock_;
    RigGuardian guardian_;
};

} // namespace quavel
