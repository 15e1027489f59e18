#include "rx/band_receiver.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "rx/band_channel.h"

namespace quavel {

namespace {

constexpr double kRateHz = 8000.0;
// A tone set standing this far above the floor (as BandSpectrum::excess) is tried.
constexpr double kFindExcess = 0.2;
// A new place keeps far enough from every station and place being tried that the tone sets
// looked for there (reaching 72 Hz either side, at 4 Quavel/sec) miss the station's own tones
// (36 Hz either side at 1 and 2 Quavel/sec, 72 at 4; a place being tried may be either).
constexpr double kReachHz = 72.0;
double reach_hz(uint32_t speed) {
    return speed == 1 || speed == 2 ? 36.0 : 72.0;
}
// Places opened per spectrum at most, so a band full of new stations is taken in over a second.
constexpr int kOpenPerSpectrum = 4;
// A place tried in vain rests this long.
constexpr double kRestS = 20.0;
// A station whose receiver has not held its signal for this long is dropped.
constexpr double kSilentS = 30.0;
// A trial that holds nothing gives way to a peak near it this many times its own excess.
constexpr double kDisplace = 2.0;
// A place being tried moves to the strongest tone set within kRecentreHz when that lies kMovedHz
// or more away and stands kMoveExcess times as high as where it is: early in a station's
// transmission the average has seen little more than its idle tone, and a tone set a few
// spacings off fits nearly as well.
constexpr double kRecentreHz = 40.0;
constexpr double kMovedHz = 6.0;
constexpr double kMoveExcess = 1.3;
// Two stations this close copy the same signal.
constexpr double kSameHz = 10.0;

} // namespace

BandReceiver::BandReceiver() {
    channels_.reserve(kMaxChannels);
    for (std::size_t i = 0; i < kMaxChannels; ++i)
        channels_.push_back(std::make_unique<BandChannel>());
    history_.assign(static_cast<std::size_t>(kHistoryS * kRateHz), 0);
    listed_.reserve(kMaxChannels);
    rested_.reserve(2 * kMaxChannels);
    taken_.reserve(3 * kMaxChannels);
    reset(config_);
}

BandReceiver::~BandReceiver() = default;

void BandReceiver::reset(const BandConfig& config) {
    spectrum_.reset(config.from_hz, config.to_hz);
    config_ = config;
    config_.from_hz = std::clamp(std::min(config.from_hz, config.to_hz), 100.0, 3900.0);
    config_.to_hz = std::clamp(std::max(config.from_hz, config.to_hz), config_.from_hz, 3900.0);
    for (auto& channel : channels_)
        channel->close();
    std::fill(history_.begin(), history_.end(), int16_t{0});
    samples_ = 0;
    next_id_ = 1;
    listed_.clear();
    rested_.clear();
}

void BandReceiver::push(std::span<const int16_t> samples, BandListener& listener) {
    while (!samples.empty()) {
        const auto to_hop =
            static_cast<std::size_t>(BandSpectrum::kHop - samples_ % BandSpectrum::kHop);
        const std::size_t n = std::min(to_hop, samples.size());
        take(samples.first(n), listener);
        samples = samples.subspan(n);
    }
    list_stations();
}

void BandReceiver::take(std::span<const int16_t> samples, BandListener& listener) {
    for (const int16_t s : samples)
        history_[samples_++ % history_.size()] = s;
    const double now = time_s();
    const bool frame = spectrum_.push(samples) > 0;
    for (auto& channel : channels_) {
        channel->push(samples, now, listener);
        // A pause ends the line.
        if (channel->is_open() && channel->line_length() > 0 &&
            now - channel->station().heard_s >= kLinePauseS)
            channel->end_line(listener);
    }
    if (frame) {
        recentre(listener);
        close_channels(listener);
        open_channels(listener);
    }
}

void BandReceiver::open_channels(BandListener& listener) {
    const double now = time_s();
    std::erase_if(
        rested_, [&](const Rested& r) { return r.until_s <= now && r.heard_s <= now - kHistoryS; });
    for (int opened = 0; opened < kOpenPerSpectrum; ++opened) {
        const auto idle = std::find_if(channels_.begin(), channels_.end(),
                                       [](const auto& c) { return !c->is_open(); });
        if (idle == channels_.end()) return;
        list_taken(true);
        // A place being tried keeps its ground against a peak near it, unless the peak stands
        // well above it while none of its receivers holds anything: then the trial was opened
        // on the noise, or on the skirt of what has now grown into a station beside it.
        BandSpectrum::Peak peak;
        bool free = false;
        for (std::size_t look = 0; look <= channels_.size() && !free; ++look) {
            peak = spectrum_.strongest(kFindExcess, taken_);
            if (peak.excess <= 0.0) return;
            BandChannel* in_the_way = nullptr;
            bool kept = false;
            for (const auto& channel : channels_) {
                if (!channel->trying()) continue;
                const double hz = channel->station().freq_hz;
                if (std::abs(hz - peak.centre_hz) >= 2 * kReachHz) continue;
                if (channel->holding() || std::abs(hz - peak.centre_hz) <= kSameHz ||
                    kDisplace * spectrum_.excess(hz) >= peak.excess) {
                    taken_.push_back({.hz = hz, .apart_hz = 2 * kReachHz});
                    kept = true;
                    break;
                }
                in_the_way = channel.get();
            }
            if (kept) continue;
            if (in_the_way != nullptr) in_the_way->close();
            free = true;
        }
        if (!free) return;
        // From as far back as the audio is kept, but not over what a station dropped here
        // already printed.
        double from_s = std::max(0.0, now - kHistoryS);
        for (const Rested& r : rested_)
            if (std::abs(r.freq_hz - peak.centre_hz) < 2 * kReachHz)
                from_s = std::max(from_s, std::min(r.heard_s, now));
        (*idle)->open(next_id_++, peak.centre_hz, from_s, config_.squelch);
        replay(**idle, from_s, listener);
    }
}

void BandReceiver::list_taken(bool rested) {
    taken_.clear();
    for (const auto& channel : channels_)
        if (channel->is_open() && !channel->trying())
            taken_.push_back({.hz = channel->station().freq_hz,
                              .apart_hz = kReachHz + reach_hz(channel->station().speed)});
    if (!rested) return;
    const double now = time_s();
    for (const Rested& r : rested_)
        if (r.until_s > now) taken_.push_back({.hz = r.freq_hz, .apart_hz = kReachHz});
}

void BandReceiver::recentre(BandListener& listener) {
    list_taken(false);
    for (auto& channel : channels_) {
        BandChannel& c = *channel;
        if (!c.trying()) continue;
        const double hz = c.place_hz();
        const BandSpectrum::Peak peak =
            spectrum_.strongest(kFindExcess, taken_, hz - kRecentreHz, hz + kRecentreHz);
        c.guide(peak.excess > 0.0 ? peak.centre_hz : hz);
        if (peak.excess <= 0.0 || std::abs(peak.centre_hz - hz) < kMovedHz ||
            peak.excess < kMoveExcess * spectrum_.excess(hz))
            continue;
        const double from_s = c.opened_s();
        c.open(c.station().id, peak.centre_hz, from_s, config_.squelch);
        replay(c, from_s, listener);
    }
}

void BandReceiver::replay(BandChannel& channel, double from_s, BandListener& listener) {
    // What the station sent before it was found prints as it is copied again, each line with
    // the time it ended.
    std::array<int16_t, BandSpectrum::kHop> block{};
    auto at = static_cast<uint64_t>(std::llround(from_s * kRateHz));
    at = std::max(at, samples_ > history_.size() ? samples_ - history_.size() : uint64_t{0});
    while (at < samples_) {
        const auto n = static_cast<std::size_t>(std::min<uint64_t>(block.size(), samples_ - at));
        for (std::size_t i = 0; i < n; ++i)
            block[i] = history_[(at + i) % history_.size()];
        at += n;
        channel.push(std::span<const int16_t>(block.data(), n), static_cast<double>(at) / kRateHz,
                     listener);
    }
}

void BandReceiver::close_channels(BandListener& listener) {
    const double now = time_s();
    const auto drop = [&](BandChannel& c) {
        c.end_line(listener);
        listener.gone(c.station().id);
        if (rested_.size() < rested_.capacity())
            rested_.push_back(
                {.freq_hz = c.station().freq_hz, .until_s = now, .heard_s = c.station().heard_s});
        c.close();
    };
    for (auto& channel : channels_) {
        BandChannel& c = *channel;
        if (!c.is_open()) continue;
        if (c.trying()) {
            if (now - c.opened_s() >= BandChannel::kTrialS) {
                if (rested_.size() < rested_.capacity())
                    rested_.push_back(
                        {.freq_hz = c.station().freq_hz, .until_s = now + kRestS, .heard_s = 0.0});
                c.close();
            }
            continue;
        }
        if (now - c.locked_s() >= kSilentS) drop(c);
    }
    // Two channels on one signal: the younger goes (a trial without a word said).
    for (auto& a : channels_) {
        for (auto& b : channels_) {
            if (a == b || !a->is_open() || !b->is_open()) continue;
            if (a->trying() || !a->station().locked) continue;
            if (std::abs(a->station().freq_hz - b->station().freq_hz) >= kSameHz) continue;
            if (b->trying()) {
                b->close();
            } else if (b->station().locked && b->station().id > a->station().id) {
                drop(*b);
            }
        }
    }
}

void BandReceiver::finish(BandListener& listener) {
    for (auto& channel : channels_)
        if (channel->is_open()) channel->end_line(listener);
}

void BandReceiver::list_stations() {
    listed_.clear();
    for (const auto& channel : channels_)
        if (channel->is_open() && !channel->trying()) listed_.push_back(channel->station());
    std::sort(listed_.begin(), listed_.end(),
              [](const BandStation& a, const BandStation& b) { return a.freq_hz < b.freq_hz; });
}

std::span<const BandStation> BandReceiver::stations() const {
    return listed_;
}

} // namespace quavel
