// When spots go to PSK Reporter, by its rules for a program that reports: each station heard
// at most once in five minutes; one datagram about every five minutes (the interval drawn
// afresh each time, so that programs started together do not send together), sooner only
// when the spots waiting fill one; the templates in the first three datagrams of a session and
// then once an hour. Datagrams stay under kMostBytes so that no link has to fragment them.
//
// Qt-free and clock-free: the caller says what time it is (seconds since 1970 UTC) and gives
// the random source, so a test runs hours of rules in no time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "station/pskreporter_packet.h"

namespace quavel {

class PskReporterQueue {
public:
    static constexpr int64_t kRepeatSeconds = 300;        // a station again after this long
    static constexpr int64_t kIntervalSeconds = 300;      // between datagrams, on average
    static constexpr int64_t kIntervalSpreadSeconds = 30; // drawn within +- this
    static constexpr int64_t kTemplateSeconds = 3600;
    static constexpr int kTemplateDatagrams = 3; // the first this many carry the templates
    static constexpr std::size_t kMostBytes = 1400;
    static constexpr std::size_t kMostWaiting = 1000; // spots kept while none can be sent

    // `uniform` returns numbers in [0, 1): the interval's draw and the session's identifier.
    // The first datagram may go one interval after `start_s`.
    PskReporterQueue(int64_t start_s, std::function<double()> uniform);

    // A station heard: false when it was reported (or is waiting) within kRepeatSeconds.
    bool add(const Spot& spot);

    // The datagram due at `now_s` for `receiver`, if any: the spots waiting, as many as fit,
    // oldest first. The caller sends it (a lost datagram is not sent again).
    std::optional<std::vector<uint8_t>> take_due(int64_t now_s, const SpotReceiver& receiver);
    // A datagram now, regardless of the interval (the reporting ends): the oldest spots
    // waiting, as many as fit; nothing when none waits.
    std::optional<std::vector<uint8_t>> take_now(int64_t now_s, const SpotReceiver& receiver);

    std::size_t waiting() const { return waiting_.size(); }
    int64_t next_due_s() const { return next_due_s_; }
    uint32_t domain_id() const { return domain_id_; }

private:
    std::vector<uint8_t> take(int64_t now_s, const SpotReceiver& receiver);
    bool full(const SpotReceiver& receiver, int64_t now_s) const;
    bool templates_due(int64_t now_s) const;
    int64_t interval();

    std::function<double()> uniform_;
    uint32_t domain_id_ = 0;
    uint32_t sequence_ = 0;
    int datagrams_ = 0;
    std::optional<int64_t> templates_sent_s_;
    int64_t next_due_s_ = 0;
    std::deque<Spot> waiting_;
    std::map<std::string, int64_t> last_reported_s_; // callsign: when it last went in
};

} // namespace quavel
