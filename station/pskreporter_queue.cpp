#include "station/pskreporter_queue.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace quavel {

PskReporterQueue::PskReporterQueue(int64_t start_s, std::function<double()> uniform)
    : uniform_(std::move(uniform)) {
    domain_id_ = static_cast<uint32_t>(std::clamp(uniform_(), 0.0, 1.0) * 4294967295.0);
    next_due_s_ = start_s + interval();
}

int64_t PskReporterQueue::interval() {
    const double u = std::clamp(uniform_(), 0.0, 1.0);
    return kIntervalSeconds - kIntervalSpreadSeconds +
           static_cast<int64_t>(std::floor(u * 2.0 * kIntervalSpreadSeconds));
}

bool PskReporterQueue::add(const Spot& spot) {
    // Forget stations long gone, so a day's listening keeps the table small.
    std::erase_if(last_reported_s_, [&](const auto& entry) {
        return spot.time_s - entry.second >= kRepeatSeconds || entry.second > spot.time_s;
    });
    if (last_reported_s_.contains(spot.callsign)) return false;
    if (waiting_.size() >= kMostWaiting) waiting_.pop_front();
    last_reported_s_[spot.callsign] = spot.time_s;
    waiting_.push_back(spot);
    return true;
}

bool PskReporterQueue::templates_due(int64_t now_s) const {
    return datagrams_ < kTemplateDatagrams || !templates_sent_s_ ||
           now_s - *templates_sent_s_ >= kTemplateSeconds || now_s < *templates_sent_s_;
}

bool PskReporterQueue::full(const SpotReceiver& receiver, int64_t now_s) const {
    std::vector<Spot> all(waiting_.begin(), waiting_.end());
    return pskreporter_datagram_size(receiver, all, templates_due(now_s)) > kMostBytes;
}

std::vector<uint8_t> PskReporterQueue::take(int64_t now_s, const SpotReceiver& receiver) {
    const bool templates = templates_due(now_s);
    std::vector<Spot> spots;
    while (!waiting_.empty()) {
        spots.push_back(waiting_.front());
        if (spots.size() > 1 &&
            pskreporter_datagram_size(receiver, spots, templates) > kMostBytes) {
            spots.pop_back();
            break;
        }
        waiting_.pop_front();
    }
    IpfixHeader header;
    header.export_time_s = now_s > 0 && now_s <= 0xFFFFFFFFLL ? static_cast<uint32_t>(now_s) : 0;
    header.sequence = sequence_;
    header.domain_id = domain_id_;
    sequence_ += static_cast<uint32_t>(spots.size()) + 1; // the receiver record is one too
    ++datagrams_;
    if (templates) templates_sent_s_ = now_s;
    next_due_s_ = now_s + interval();
    return pskreporter_datagram(header, receiver, spots, templates);
}

std::optional<std::vector<uint8_t>> PskReporterQueue::take_due(int64_t now_s,
                                                               const SpotReceiver& receiver) {
    if (waiting_.empty()) return std::nullopt;
    if (now_s < next_due_s_ && !full(receiver, now_s)) return std::nullopt;
    return take(now_s, receiver);
}

std::optional<std::vector<uint8_t>> PskReporterQueue::take_now(int64_t now_s,
                                                               const SpotReceiver& receiver) {
    if (waiting_.empty()) return std::nullopt;
    return take(now_s, receiver);
}

} // namespace quavel
