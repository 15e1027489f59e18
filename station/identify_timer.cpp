#include "station/identify_timer.h"

#include <cctype>

namespace quavel {

namespace {

char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool word_character(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Stands in `recent_` for the start of a transmission: no word runs across it.
constexpr char kBoundary = ' ';

} // namespace

void IdentifyTimer::set_callsign(std::string_view callsign) {
    while (!callsign.empty() && callsign.front() == ' ')
        callsign.remove_prefix(1);
    while (!callsign.empty() && callsign.back() == ' ')
        callsign.remove_suffix(1);
    std::string call;
    for (const char c : callsign)
        call.push_back(upper(c));
    if (call == "NOCALL") call.clear();
    if (call == call_) return;
    call_ = std::move(call);
    recent_.assign(1, kBoundary);
    candidate_.reset();
}

void IdentifyTimer::begin_transmission() {
    // A callsign that ended the last transmission counted.
    if (candidate_) identified(*candidate_);
    recent_.assign(1, kBoundary);
}

void IdentifyTimer::sent(std::string_view text, Clock::time_point now) {
    if (call_.empty()) return;
    for (const char raw : text) {
        const char c = upper(raw);
        if (candidate_) {
            if (!word_character(c)) identified(*candidate_);
            candidate_.reset();
        }
        recent_.push_back(c);
        if (recent_.size() > call_.size() + 1) recent_.erase(0, recent_.size() - call_.size() - 1);
        if (recent_.size() == call_.size() + 1 && !word_character(recent_.front()) &&
            std::string_view(recent_).substr(1) == call_)
            candidate_ = now;
    }
}

void IdentifyTimer::identified(Clock::time_point now) {
    if (!last_ || now > *last_) last_ = now;
    candidate_.reset();
}

std::optional<IdentifyTimer::Clock::time_point> IdentifyTimer::last_identified() const {
    if (candidate_ && (!last_ || *candidate_ > *last_)) return candidate_;
    return last_;
}

bool IdentifyTimer::due(Clock::time_point now) const {
    const auto last = last_identified();
    return !last || now - *last > kInterval;
}

} // namespace quavel
