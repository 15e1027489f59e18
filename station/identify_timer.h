// Identification on time: the station must send its callsign at least every ten minutes. The
// timer is told what went on the air (the characters as their last symbol was played, and the
// Morse identification once played whole) and says when the next identification is due.
//
// The callsign counts in text as a whole word: upper or lower case alike, with no letter or
// digit right before or after it (a "/P" after it still counts). The start of a transmission
// stands before the first character, and its end after the last: a callsign that closes a
// transmission counts, one cut in two by the pause between transmissions does not.
//
// No clock of its own: each call takes the time it happened, so a test can move time on.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quavel {

class IdentifyTimer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes kInterval{10};

    // The station's callsign, at most a few dozen characters; empty or "NOCALL" (the setup
    // panel's "none entered") never counts as sent.
    void set_callsign(std::string_view callsign);
    // A transmission starts: what went before stands apart from what comes now.
    void begin_transmission();
    // `text` (the modem's 8-bit characters) went on the air at `now`.
    void sent(std::string_view text, Clock::time_point now);
    // The Morse identification was played whole at `now`.
    void identified(Clock::time_point now);

    // When the callsign last went out; nothing when it has not yet.
    std::optional<Clock::time_point> last_identified() const;
    // More than kInterval since the callsign last went out, or it has not yet.
    bool due(Clock::time_point now) const;

private:
    std::string call_;   // upper case; empty: nothing matches
    std::string recent_; // the last characters on the air, upper case, at most call_ + 1 long
    // The callsign just went out and nothing but a word's end may follow; it counts unless a
    // letter or digit comes next in the same transmission.
    std::optional<Clock::time_point> candidate_;
    std::optional<Clock::time_point> last_;
};

} // namespace quavel
