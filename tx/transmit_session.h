// One transmission's rules, the same for the console and the headless transmitter: the
// transmitter is keyed only once the sound runs and released as soon as it is cut; a
// transmission ends by itself when its sound or its keying is lost, when the key is refused and
// when the watchdog runs out; a keying device that must answer (a rig keyed by CAT) and does not
// keeps a transmission from starting at all. What the keying thread reports outside a
// transmission (a device that cannot be opened, is lost, comes back, or would not release) comes
// out as notices, for the owner to tell the operator once the transmitter is safe.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tx/keyer.h"

namespace quavel {

inline constexpr std::chrono::minutes kDefaultWatchdog{10};
// A call into the keying device that has taken this long while transmitting: the rig has stopped
// answering (or trickles), whatever its own timeouts say, and the transmission ends.
inline constexpr std::chrono::milliseconds kKeyingCallLimit{1500};

// Why a transmission ended by itself.
enum class TransmitEnd {
    OutputLost, // the sound device stopped playing
    KeyingLost, // the keying device stopped answering, or the rig dropped its transmitter
    KeyRefused, // the keying device would not key
    Watchdog,   // it ran for the watchdog's time
};

struct KeyingNotice {
    enum class Kind {
        OpenFailed,    // the keying device cannot be opened (it is retried in the background)
        Lost,          // it stopped answering while receiving (retried)
        Recovered,     // it answers again
        ReleaseFailed, // the transmitter may still be keyed
    } kind;
    std::string detail; // the device's reason
};

class TransmitSession {
public:
    using Clock = std::chrono::steady_clock;

    explicit TransmitSession(Keyer& keyer) : keyer_(keyer) {}

    // How long a transmission may run; zero: no limit.
    void set_watchdog(std::chrono::milliseconds limit);
    std::chrono::milliseconds watchdog() const { return watchdog_; }
    // True: a transmission starts only while the keying device answers (a rig keyed by CAT,
    // which would otherwise play its audio with the transmitter silently unkeyed).
    void set_keying_required(bool required) { keying_required_ = required; }

    // Why a transmission must not start now; empty when it may.
    std::string refusal() const;
    // The sound runs: key the transmitter (where a keying device is configured).
    void begin(Clock::time_point now);
    // The sound has been cut: release at once.
    void end();
    bool active() const { return active_; }

    struct Poll {
        std::optional<TransmitEnd> end; // the transmission must end now, for this reason
        std::string end_detail;         // the device's reason, where it gave one
        std::vector<KeyingNotice> notices;
    };
    // Each tick: what the keying thread reported and whether the transmission must end.
    Poll poll(Clock::time_point now, bool output_lost);

private:
    Keyer& keyer_;
    std::chrono::milliseconds watchdog_ = kDefaultWatchdog;
    bool keying_required_ = false;
    bool active_ = false;
    Clock::time_point started_{};
};

// "10 minutes", "1 minute", "90 seconds".
std::string duration_text(std::chrono::milliseconds d);
// The operator's text for a transmission that ended by itself: what happened, then the device's
// reason on a line of its own where there is one.
std::string transmit_end_text(TransmitEnd end, const std::string& detail,
                              std::chrono::milliseconds watchdog);

} // namespace quavel
