#include "tx/transmit_session.h"

namespace quavel {

void TransmitSession::set_watchdog(std::chrono::milliseconds limit) {
    watchdog_ = limit.count() > 0 ? limit : std::chrono::milliseconds(0);
}

std::string TransmitSession::refusal() const {
    if (!keying_required_) return {};
    const KeyingStatus status = keyer_.status();
    if (!status.configured || status.open) return {};
    // Still being opened (at start-up): the key waits for it, and a failure ends the
    // transmission at once.
    if (status.pending && !status.failed) return {};
    return status.error.empty() ? status.device + ": the rig does not answer" : status.error;
}

void TransmitSession::begin(Clock::time_point now) {
    active_ = true;
    started_ = now;
    // Asked for even with no device known yet: one still being opened keys once it is open.
    keyer_.key(true);
}

void TransmitSession::end() {
    active_ = false;
    keyer_.key(false);
}

TransmitSession::Poll TransmitSession::poll(Clock::time_point now, bool output_lost) {
    Poll out;
    for (KeyingEvent& event : keyer_.take_events()) {
        using Kind = KeyingEventKind;
        const bool in_transmission = active_ && event.while_keyed;
        switch (event.kind) {
        case Kind::Opened:
            break;
        case Kind::OpenFailed:
            if (in_transmission && keying_required_) {
                out.end = TransmitEnd::KeyRefused;
                out.end_detail = event.detail;
            } else {
                out.notices.push_back({KeyingNotice::Kind::OpenFailed, event.detail});
            }
            break;
        case Kind::Recovered:
            out.notices.push_back({KeyingNotice::Kind::Recovered, event.detail});
            break;
        case Kind::KeyFailed:
            if (active_) {
                out.end = TransmitEnd::KeyRefused;
                out.end_detail = event.detail;
            }
            break;
        case Kind::Lost:
            if (in_transmission) {
                out.end = TransmitEnd::KeyingLost;
                out.end_detail = event.detail;
            } else {
                out.notices.push_back({KeyingNotice::Kind::Lost, event.detail});
            }
            break;
        case Kind::ReleaseFailed:
            out.notices.push_back({KeyingNotice::Kind::ReleaseFailed, event.detail});
            break;
        }
    }
    if (!active_ || out.end) return out;
    if (const KeyingStatus k = keyer_.status();
        k.in_call && now - k.call_started >= kKeyingCallLimit) {
        out.end = TransmitEnd::KeyingLost;
        out.end_detail = k.device + ": the rig has not answered for " +
                         std::to_string(kKeyingCallLimit.count()) +
                         " ms; it is released as soon as it answers";
    } else if (output_lost) {
        out.end = TransmitEnd::OutputLost;
    } else if (watchdog_.count() > 0 && now - started_ >= watchdog_) {
        out.end = TransmitEnd::Watchdog;
    }
    return out;
}

std::string duration_text(std::chrono::milliseconds d) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    if (seconds % 60 == 0 && seconds > 0)
        return std::to_string(seconds / 60) + (seconds == 60 ? " minute" : " minutes");
    if (seconds > 0) return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
    return std::to_string(d.count()) + " ms";
}

std::string transmit_end_text(TransmitEnd end, const std::string& detail,
                              std::chrono::milliseconds watchdog) {
    std::string text;
    switch (end) {
    case TransmitEnd::OutputLost:
        text = "The audio output stopped during the transmission";
        break;
    case TransmitEnd::KeyingLost:
        text = "The keying port was lost during the transmission";
        break;
    case TransmitEnd::KeyRefused:
        text = "Cannot key the transmitter";
        break;
    case TransmitEnd::Watchdog:
        text = "The transmit watchdog ended the transmission after " + duration_text(watchdog);
        break;
    }
    if (!detail.empty()) text += "\n" + detail;
    return text;
}

} // namespace quavel
