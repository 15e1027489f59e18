#include "ui/band_rows.h"

#include <algorithm>
#include <cmath>

namespace quavel {

namespace {

std::time_t system_now() {
    return std::time(nullptr);
}

} // namespace

BandRows::BandRows() : now_(system_now) {}

void BandRows::set_clock(std::time_t (*now)()) {
    now_ = now != nullptr ? now : system_now;
}

void BandRows::set_own_call(std::string_view call) {
    own_call_ = std::string(call);
    for (BandRow& row : rows_)
        row.calls.set_own_call(own_call_);
}

void BandRows::set_age(std::chrono::minutes age) {
    age_ = std::max(age, std::chrono::minutes(1));
}

const BandRow* BandRows::find(uint32_t key) const {
    const auto it =
        std::find_if(rows_.begin(), rows_.end(), [key](const BandRow& r) { return r.key == key; });
    return it == rows_.end() ? nullptr : &*it;
}

void BandRows::forget_stations() {
    for (BandRow& row : rows_) {
        row.station_id = 0;
        row.locked = false;
    }
    lines_.clear();
}

std::vector<BandHeardLine> BandRows::take_lines() {
    std::vector<BandHeardLine> out;
    out.swap(lines_);
    return out;
}

BandRow& BandRows::row_for(const BandStation& station) {
    for (BandRow& row : rows_)
        if (row.station_id == station.id) return row;
    // A station found again: the nearest row within reach that no station holds now.
    BandRow* nearest = nullptr;
    for (BandRow& row : rows_) {
        const double apart = std::abs(row.freq_hz - station.freq_hz);
        if (row.station_id == 0 && apart <= kMergeHz &&
            (nearest == nullptr || apart < std::abs(nearest->freq_hz - station.freq_hz)))
            nearest = &row;
    }
    if (nearest != nullptr) {
        nearest->station_id = station.id;
        return *nearest;
    }
    BandRow row;
    row.key = next_key_++;
    row.station_id = station.id;
    row.freq_hz = station.freq_hz;
    row.heard_utc = now_();
    row.calls.set_own_call(own_call_);
    rows_.push_back(std::move(row));
    changed_ = true;
    // The caller holds the reference until it returns: sorting waits for update().
    return rows_.back();
}

void BandRows::follow(BandRow& row, const BandStation& station) {
    if ((station.locked && row.freq_hz != station.freq_hz) || row.locked != station.locked ||
        row.snr_db != station.snr_db || (station.speed != 0 && row.speed != station.speed))
        changed_ = true;
    // Where it was last held: a receiver that lost the signal wanders off in the noise.
    if (station.locked) row.freq_hz = station.freq_hz;
    if (station.speed != 0) row.speed = station.speed;
    row.locked = station.locked;
    if (station.snr_db) row.snr_db = station.snr_db;
}

void BandRows::text(const BandStation& station, std::string_view text) {
    if (text.empty()) return;
    BandRow& row = row_for(station);
    follow(row, station);
    row.heard_utc = now_();
    if (row.line_ended) row.line.clear();
    row.line_ended = false;
    for (const char c : text)
        if (c != '\r' && c != '\n') row.line.push_back(c);
    row.text.append(text);
    if (row.text.size() > kMaxText) row.text.erase(0, row.text.size() - kMaxText);
    for (std::string& call : row.calls.feed(text))
        row.call = std::move(call);
    changed_ = true;
}

void BandRows::line(const BandLine& line) {
    BandRow& row = row_for(line.station);
    follow(row, line.station);
    std::string ended(line.text);
    if (!ended.empty()) {
        row.line = ended;
        row.line_ended = true;
    }
    // The line break that ended the line is no character the receiver hands over: the copy
    // keeps the station's lines apart.
    if (!row.text.empty() && row.text.back() != '\n') row.text.push_back('\n');
    changed_ = true;
    if (ended.empty()) return;
    lines_.push_back({now_(), row.freq_hz, row.speed, row.snr_db, row.call, std::move(ended)});
}

void BandRows::gone(uint32_t station_id) {
    for (BandRow& row : rows_)
        if (row.station_id == station_id) {
            row.station_id = 0;
            row.locked = false;
            changed_ = true;
        }
}

bool BandRows::update(std::span<const BandStation> stations) {
    // A row whose station the receiver no longer lists is free for a find near it, this one's
    // too.
    for (BandRow& row : rows_) {
        if (row.station_id == 0) continue;
        const bool listed =
            std::any_of(stations.begin(), stations.end(),
                        [&](const BandStation& s) { return s.id == row.station_id; });
        if (!listed) {
            row.station_id = 0;
            row.locked = false;
            changed_ = true;
        }
    }
    for (const BandStation& station : stations)
        follow(row_for(station), station);
    const std::time_t oldest =
        now_() - static_cast<std::time_t>(std::chrono::seconds(age_).count());
    const auto aged = std::remove_if(rows_.begin(), rows_.end(),
                                     [oldest](const BandRow& r) { return r.heard_utc < oldest; });
    if (aged != rows_.end()) {
        rows_.erase(aged, rows_.end());
        changed_ = true;
    }
    sort();
    const bool changed = changed_;
    changed_ = false;
    return changed;
}

void BandRows::sort() {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const BandRow& a, const BandRow& b) { return a.freq_hz < b.freq_hz; });
}

} // namespace quavel
