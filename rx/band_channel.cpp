#include "rx/band_channel.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "modem/code_table.h"
#include "modem/speed_profile.h"

namespace quavel {

BandChannel::BandChannel() {
    for (auto& receiver : receivers_)
        receiver = std::make_unique<WeakReceiver>();
    line_.reserve(2 * static_cast<std::size_t>(BandReceiver::kLineCharacters));
}

BandChannel::~BandChannel() = default;

void BandChannel::open(uint32_t id, double centre_hz, double start_s, bool squelch) {
    const auto centre = static_cast<CentreHz>(std::lround(std::max(0.0, centre_hz)));
    for (std::size_t i = 0; i < receivers_.size(); ++i)
        receivers_[i]->reset({.speed = kSpeedValues[i], .centre_hz = centre, .squelch = squelch});
    kept_count_ = {};
    held_symbols_ = {};
    chosen_ = 0;
    open_ = true;
    station_ = BandStation{};
    station_.id = id;
    station_.freq_hz = centre_hz;
    station_.heard_s = start_s;
    opened_s_ = start_s;
    place_hz_ = centre_hz;
    peak_hz_ = centre_hz;
    steady_ = 0;
    locked_s_ = start_s;
    fed_s_ = start_s;
    decoder_ = {};
    decoder_.afc = false;
    line_.clear();
}

void BandChannel::push(std::span<const int16_t> samples, double end_s, BandListener& listener) {
    if (!open_) return;
    listener_ = &listener;
    fed_s_ = end_s;
    std::array<uint8_t, 8> out{};
    if (trying()) {
        for (std::size_t i = 0; i < receivers_.size(); ++i) {
            WeakReceiver& r = *receivers_[i];
            const std::size_t n = r.push(samples, out);
            held_symbols_[i] = r.locked() ? held_symbols_[i] + static_cast<uint32_t>(n) : 0;
            for (std::size_t j = 0; j < n && kept_count_[i] < kKept; ++j)
                kept_[i][kept_count_[i]++] = out[j];
        }
        // The speed whose receiver holds a signal and stands furthest above the noise, if it
        // clearly leads. A receiver twice as fast as the signal also locks, and often stands
        // higher (its symbols are clean halves of the signal's), but gives each symbol twice:
        // it is passed over once that shows. A receiver slower than the signal may lock too at a
        // good SNR, decided over two of its symbols: once a faster receiver, about as strong,
        // shows symbols that change faster than the slower one's could, the slower is passed
        // over.
        const auto too_slow = [&](std::size_t j) {
            for (std::size_t i = j + 1; i < receivers_.size(); ++i)
                if (candidate(i) &&
                    kSpeedLead * receivers_[i]->confidence() >= receivers_[j]->confidence())
                    return true;
            return false;
        };
        std::optional<std::size_t> best;
        for (std::size_t i = 0; i < receivers_.size(); ++i)
            if (candidate(i) && !too_slow(i) &&
                (!best || receivers_[i]->confidence() > receivers_[*best]->confidence()))
                best = i;
        bool clear = best.has_value();
        for (std::size_t i = 0; i < receivers_.size() && clear; ++i)
            if (i != *best && !too_fast(i) && !too_slow(i) &&
                receivers_[*best]->confidence() < kSpeedLead * receivers_[i]->confidence())
                clear = false;
        if (best) station_.freq_hz = receivers_[*best]->frequency_hz();
        if (best && clear) {
            station_.heard_s = end_s;
            chosen_s_ = end_s;
            choose(*best, listener);
        }
    } else {
        WeakReceiver& r = *receivers_[chosen_];
        const std::size_t n = r.push(samples, out);
        station_.heard_s = n > 0 ? end_s : station_.heard_s;
        for (std::size_t j = 0; j < n; ++j)
            print(out[j]);
    }
    if (!trying()) {
        const WeakReceiver& r = *receivers_[chosen_];
        station_.locked = r.locked();
        station_.freq_hz = r.frequency_hz();
        station_.snr_db = r.snr_db();
        if (station_.locked) locked_s_ = end_s;
    }
    listener_ = nullptr;
}

void BandChannel::guide(double peak_hz) {
    steady_ = std::abs(peak_hz - peak_hz_) < 4.0 ? steady_ + 1 : 0;
    peak_hz_ = peak_hz;
}

bool BandChannel::holding() const {
    if (!open_) return false;
    if (!trying()) return receivers_[chosen_]->locked();
    return std::any_of(receivers_.begin(), receivers_.end(),
                       [](const auto& r) { return r->locked(); });
}

bool BandChannel::candidate(std::size_t i) const {
    const WeakReceiver& r = *receivers_[i];
    if (!r.locked() || held_symbols_[i] < kSpeedSymbols) return false;
    if (steady_ < kSteadySpectra ||
        std::abs(r.frequency_hz() - peak_hz_) > kNearSpacings * tone_spacing_hz(kSpeedValues[i]))
        return false;
    return i == 0 || told_not_too_fast(i);
}

bool BandChannel::too_fast(std::size_t i) const {
    return i > 0 && receivers_[i]->locked() && pairs_equal(i) == Pairs::equal;
}

bool BandChannel::told_not_too_fast(std::size_t i) const {
    return pairs_equal(i) == Pairs::unequal;
}

BandChannel::Pairs BandChannel::pairs_equal(std::size_t i) const {
    // The symbols since the lock in pairs, at both alignments: a signal of half the speed makes
    // one alignment's pairs equal. A pair like the one before it tells nothing (a run of one
    // symbol, as an idle lead-in or "EEEE", reads the same at every speed).
    const std::size_t n = std::min<std::size_t>(held_symbols_[i], kept_count_[i]);
    const uint8_t* symbols = kept_[i].data() + (kept_count_[i] - n);
    // Unequal only once both alignments have shown enough pairs: the one that pairs a slower
    // signal's halves may still be short of pairs while the other has plenty.
    bool told = true;
    for (std::size_t phase = 0; phase < 2; ++phase) {
        int equal = 0;
        int pairs = 0;
        for (std::size_t k = phase; k + 1 < n; k += 2) {
            if (k >= 2 && symbols[k] == symbols[k - 2] && symbols[k + 1] == symbols[k - 1])
                continue;
            ++pairs;
            equal += symbols[k] == symbols[k + 1] ? 1 : 0;
        }
        if (pairs >= kPairsToTell && equal >= kDoubledShare * pairs) return Pairs::equal;
        told = told && pairs >= kPairsToTell;
    }
    return told ? Pairs::unequal : Pairs::untold;
}

void BandChannel::choose(std::size_t speed_index, BandListener& listener) {
    chosen_ = speed_index;
    const WeakReceiver& r = *receivers_[chosen_];
    station_.speed = kSpeedValues[chosen_];
    station_.freq_hz = r.frequency_hz();
    station_.locked = r.locked();
    station_.snr_db = r.snr_db();
    listener_ = &listener;
    for (std::size_t j = 0; j < kept_count_[chosen_]; ++j)
        print(kept_[chosen_][j]);
    kept_count_ = {};
}

void BandChannel::print(uint8_t symbol) {
    // The primary alphabet's text: the secondary pane's reading of the same symbols is left out.
    NullPane secondary;
    decode_symbol(decoder_, symbol, *this, secondary);
}

void BandChannel::insert(std::string_view text) {
    if (text.empty() || listener_ == nullptr) return;
    listener_->text(station_, text);
    line_station_ = station_;
    for (const char c : text) {
        if (c == '\n') {
            end_line(*listener_);
        } else if (c != '\r') {
            line_ += c;
            if (line_.size() >= BandReceiver::kLineCharacters) end_line(*listener_);
        }
    }
}

void BandChannel::end_line(BandListener& listener) {
    if (line_.empty()) return;
    listener.line({.station = line_station_, .time_s = line_station_.heard_s, .text = line_});
    line_.clear();
}

} // namespace quavel
