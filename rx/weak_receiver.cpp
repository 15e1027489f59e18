#include "rx/weak_receiver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "modem/code_table.h"
#include "rx/weak_edges.h"
#include "rx/weak_statistics.h"

namespace quavel {

namespace {

// Symbols the search must have seen at every trial start before the tracker first locks.
constexpr uint32_t kAcquireRounds = 3;
// Symbols before the lock decided again once it is found, so that the beginning of a
// transmission is copied too.
constexpr int kReplaySymbols = 5;
// A symbol of a signal is rarely this far (9 dB) under its loudest: what is, is noise.
constexpr double kSignalLevel = 0.125;
// The largest sample-clock difference between the stations followed (2000 ppm).
constexpr double kMaxClockError = 0.002;
// The symbols the SNR is averaged over, and how many it needs.
constexpr int kSnrSymbols = 16;
constexpr int kSnrFirst = 4;
// A symbol's energy above the noise over its nine tones, in noise powers, is the signal's power
// times the symbol's length T over the noise's density: 2500 T times its SNR in 2500 Hz.

} // namespace

WeakReceiver::WeakReceiver() {
    reset(Config{});
}

void WeakReceiver::reset(const Config& config) {
    config_ = config;
    if (config_.speed != 1 && config_.speed != 4) config_.speed = 2;
    build_weak_symbols(symbols_, config_.speed);
    front_end_.carriers().set_symbol_rate(config_.speed);
    front_end_.reset(config_.centre_hz);
    notches_seen_ = 0;
    search_.reset(symbols_);
    correlator_.reset(symbols_);
    next_search_ = symbols_.length;
    centroid_gap_s_ = weak_centroid_gap_s(symbols_);

    tracking_ = false;
    position_ = 0.0;
    replayed_until_ = 0.0;
    fitted_until_ = 0.0;
    replay_floor_ = 0;
    lock_fit_ = 0;
    frequency_.set(0.0);
    alias_.reset();
    timing_.forget_rate();
    timing_.restart(WeakTimingLoop::kMaxShifts);
    timing_doubt_ = {};
    relock_.reset();
    noise_.reset();
    model_choice_.reset();
    squelch_.restart();
    dropped_ = 0;
    printed_ = 0;
    snr_above_ = 0.0;
    snr_symbols_ = 0;
    snr_far_ = {};
    snr_far_symbols_ = 0;
}

void WeakReceiver::retune(CentreHz centre_hz) {
    if (tracking_ && std::abs(centre_hz - frequency_hz()) <= 3.0) return;
    front_end_.set_reference(centre_hz);
    search_.reset(symbols_);
    tracking_ = false;
    frequency_.set(0.0);
    timing_.forget_rate();
    squelch_.restart();
}

void WeakReceiver::forget_a_carrier() {
    const CarrierCanceller& carriers = front_end_.carriers();
    if (carriers.notches_made() == notches_seen_) return;
    notches_seen_ = carriers.notches_made();
    // What the ring holds from before the notch still has the carrier in it: it is taken out of
    // as much audio as the carrier was measured on.
    const CarrierCanceller::Line& line = carriers.last_made_line();
    // The carrier may be what the search found or the tracker follows: unless it lay outside the
    // signal being followed, or what is followed has sent text (a carrier is copied as nothing
    // but idles), search afresh on the audio without it, forgetting what is older.
    const double followed = frequency_hz() - front_end_.reference_hz();
    const double reach = 5.0 * tone_spacing_hz(config_.speed);
    const bool keep = tracking_ && (std::abs(carriers.last_made_hz() - followed) > reach ||
                                    (squelch_.open() && printed_text()));
    correlator_.remove_line(line.amplitude, line.omega, line.span, !keep);
    if (keep) return;
    search_.reset(symbols_);
    tracking_ = false;
    frequency_.set(0.0);
    timing_.forget_rate();
    squelch_.restart();
}

void WeakReceiver::set_squelch(bool on) {
    config_.squelch = on;
}

size_t WeakReceiver::push(std::span<const int16_t> samples, std::span<uint8_t> out) {
    std::size_t written = 0;
    while (!samples.empty()) {
        const std::size_t n = std::min<std::size_t>(samples.size(), 2048);
        const std::size_t made = front_end_.push(samples.first(n), scratch_);
        // What came out before a notch made in this run still has the carrier: it goes in
        // before the receiver forgets what it took from the carrier, the rest after.
        std::size_t before_notch = 0;
        const CarrierCanceller& carriers = front_end_.carriers();
        if (carriers.notches_made() != notches_seen_) {
            const uint64_t first = carriers.taken() - made;
            if (carriers.last_made_at() > first)
                before_notch = std::min<std::size_t>(
                    made, static_cast<std::size_t>(carriers.last_made_at() - first));
        }
        take(std::span(scratch_.data(), before_notch), out, written);
        forget_a_carrier();
        take(std::span(scratch_.data() + before_notch, made - before_notch), out, written);
        samples = samples.subspan(n);
    }
    return written;
}

void WeakReceiver::take(std::span<const std::complex<float>> baseband, std::span<uint8_t> out,
                        std::size_t& written) {
    for (const std::complex<float>& x : baseband) {
        correlator_.push(x);
        if (correlator_.received() == next_search_) {
            search_step();
            next_search_ += search_.hop();
            if (!tracking_ && search_.rounds() >= kAcquireRounds) lock(search_.peak(), true);
        }
        while (tracking_ && ready()) {
            decide(out, written);
            check_relock();
        }
    }
}

bool WeakReceiver::ready() const {
    // The symbol and the timing curve's reach after it are in.
    return static_cast<int64_t>(std::floor(position_)) + symbols_.length + search_.hop() + 2 <=
           correlator_.received();
}

void WeakReceiver::search_step() {
    const uint32_t length = symbols_.length;
    const int64_t start = next_search_ - length;
    for (uint32_t m = 0; m < length; ++m)
        window_[m] = correlator_.at(start + m);
    const int trial = static_cast<int>((start / search_.hop()) % WeakSearch::kStarts);
    search_.process(std::span(window_.data(), length), trial);
}

bool WeakReceiver::lock(const WeakSearch::Peak& peak, bool replay, int fit_latest, bool anywhere) {
    const auto length = static_cast<int64_t>(symbols_.length);
    const auto hop = static_cast<int64_t>(search_.hop());
    const double coarse_start = peak.start_fraction * static_cast<double>(hop);
    int64_t start = std::llround(coarse_start) % length;
    if (start < 0) start += length;
    // The latest symbol at that timing that is whole in the ring (with room to look a trial
    // start either side), then as many before it as the ring holds and the replay allows.
    const int64_t received = correlator_.received();
    const int64_t latest_end = received - hop - 1;
    int64_t position = start + length * ((latest_end - length - start) / length);
    if (position + length > latest_end) position -= length;
    const int64_t in_ring =
        std::max<int64_t>(hop, received - static_cast<int64_t>(kRingSamples) + hop + 1);
    const int64_t earliest = std::max(in_ring, replay_floor_);
    int symbols = 1;
    for (int k = 0; k < (replay ? kReplaySymbols : 0) && position - length >= earliest; ++k) {
        position -= length;
        ++symbols;
    }
    const bool floored = replay && symbols <= kReplaySymbols && position - length >= in_ring &&
                         position - length < earliest;
    // Moving an established track to a stronger signal: keep the count of symbols. Look at the
    // symbol nearest the one just decided, and go on with the one after it, so that the move
    // (less than half a symbol) neither repeats a symbol nor steps over one.
    // When that symbol is not yet whole, fit by the one before it and go on two after it.
    bool keep_count = false;
    int64_t next_after = 1; // symbols from the one fitted to the next to decide
    if (tracking_ && !replay) {
        const double last = position_ - static_cast<double>(length);
        int64_t nearest =
            start + length * std::llround((last - static_cast<double>(start)) / length);
        if (nearest + length + hop >= received) {
            nearest -= length;
            ++next_after;
        }
        if (nearest - hop >= earliest && nearest + length + hop < received) {
            position = nearest;
            keep_count = true;
        }
    }
    const double coarse_hz = peak.frequency_fraction * search_.bin_hz();

    // The search's grid is too coarse for the phases of a wide pair: try every start to the
    // sample within a trial start either side on the symbols held. Nor can it tell the tone set's
    // alignments a whole spacing apart on a signal that sounds few outer tones: at the start
    // found, try every alignment within the search range too. Keep what fits the symbols best.
    // Fit by the latest `fit_latest` symbols where the older ones are known to be noise.
    const int fit_from = fit_latest > 0 ? std::max(0, symbols - fit_latest) : 0;
    auto fit_at = [&](int64_t first, double hz) {
        double fit = 0.0;
        for (int k = fit_from; k < symbols; ++k) {
            std::array<std::complex<float>, kToneCount> z{};
            correlator_.tones_at(first + k * length, hz, z);
            fit += weak_idle_favoured(decide_symbol(symbols_, z));
        }
        return fit;
    };
    double best = -1.0;
    int64_t best_start = position;
    // Where the tracker was following noise, the symbols' start may be anywhere: try every one
    // within a symbol, as far as the ring holds the symbols fitted.
    int64_t from_shift = -hop;
    int64_t to_shift = hop;
    if (anywhere) {
        from_shift =
            std::max<int64_t>(-(length - 1), earliest - hop - (position + fit_from * length));
        to_shift = std::min<int64_t>(hop, received - 1 - (position + symbols * length));
    }
    for (int64_t shift = from_shift; shift <= to_shift; ++shift) {
        const double fit = fit_at(position + shift, coarse_hz);
        if (fit > best) {
            best = fit;
            best_start = position + shift;
        }
    }
    // The frequency to a trial frequency of the search within half a spacing, then the alignment.
    best = -1.0;
    double best_hz = coarse_hz;
    const auto steps = static_cast<int>(0.5 * symbols_.spacing_hz / search_.bin_hz());
    for (int j = -steps; j <= steps; ++j) {
        const double hz = coarse_hz + j * search_.bin_hz();
        const double fit = fit_at(best_start, hz);
        if (fit > best) {
            best = fit;
            best_hz = hz;
        }
    }
    const double fine_hz = best_hz;
    best = -1.0;
    const double limit = WeakSearch::kRangeHz + 0.5 * symbols_.spacing_hz;
    const int aliases = static_cast<int>(2.0 * limit / symbols_.spacing_hz);
    // An alignment with more than noise beyond an outer tone has the signal's own tones (or a
    // neighbour's) there: that outer tone is left out of its fit (WeakEdgeFit).
    const double noise =
        (noise_.tone_noise() > 0.0 ? noise_.tone_noise() : noise_.power()) * symbols_.pulse_energy;
    auto edge_fit_at = [&](int64_t first, double hz) {
        WeakEdgeFit edges;
        const double spacing = symbols_.spacing_hz;
        auto metric = [&](const std::array<std::complex<float>, kToneCount>& z) {
            return weak_idle_favoured(decide_symbol(symbols_, z));
        };
        for (int k = fit_from; k < symbols; ++k) {
            const int64_t at = first + k * length;
            std::array<std::complex<float>, kToneCount> z{};
            correlator_.tones_at(at, hz, z);
            auto beyond = [&](double tone_hz) {
                return std::complex<float>(correlator_.correlate(at, tone_hz + hz, 0, length));
            };
            const double low = symbols_.offset_hz.front();
            const double high = symbols_.offset_hz.back();
            const double gain = 1.0 / static_cast<double>(k - fit_from + 1);
            edges.add(WeakEdgeFit::fits(z, metric),
                      WeakEdgeFit::powers(z, beyond(low - 2.0 * spacing), beyond(low - spacing),
                                          beyond(high + spacing), beyond(high + 2.0 * spacing)),
                      gain, gain);
        }
        return edges.value(noise);
    };
    // Nearest first, so that between alignments that fit alike (the symbols fitted sound only
    // tones they all hold) the one the search and the fine step found is kept.
    for (int j = 0; j <= 2 * aliases; ++j) {
        const int k = j % 2 ? (j + 1) / 2 : -(j / 2);
        const double hz = fine_hz + k * symbols_.spacing_hz;
        if (std::abs(hz) > limit) continue;
        const double fit = edge_fit_at(best_start, hz);
        if (fit > best) {
            best = fit;
            best_hz = hz;
        }
    }
    // Of the symbols fitted, those at the signal's level: where a signal came up within them,
    // the noise before it says nothing of its timing, nor which alignment it has.
    std::array<double, kReplaySymbols + 1> heard{};
    for (int k = fit_from; k < symbols; ++k) {
        std::array<std::complex<float>, kToneCount> z{};
        correlator_.tones_at(best_start + k * length, best_hz, z);
        heard[static_cast<std::size_t>(k)] = decide_symbol(symbols_, z).best;
    }
    const double loudest = *std::max_element(heard.begin(), heard.end());
    lock_fit_ =
        static_cast<int>(std::count_if(heard.begin() + fit_from, heard.begin() + symbols,
                                       [&](double h) { return h >= kSignalLevel * loudest; }));
    position_ = static_cast<double>(keep_count ? best_start + next_after * length : best_start);
    replayed_until_ = static_cast<double>(received);
    fitted_until_ = static_cast<double>(best_start + symbols * length);
    frequency_.set(best_hz);
    if (!keep_count) timing_.forget_rate();
    tracking_ = true;
    timing_.restart(static_cast<int>(4 * search_.hop() + 1));
    relock_.reset();
    alias_.reset();
    timing_doubt_.restart();
    if (!replay) return floored;
    model_choice_.reset();
    noise_.restart_level();
    // Go through the held symbols once to settle the loops and the timing curve, then go back
    // to the first and decide them again for the text.
    training_ = true;
    int trained = 0;
    std::array<uint8_t, 1> none{};
    std::size_t unused = 0;
    while (ready()) {
        decide(none, unused);
        ++trained;
    }
    training_ = false;
    position_ -= trained * (static_cast<double>(length) + timing_.rate());
    squelch_.restart();
    return floored;
}

void WeakReceiver::decide(std::span<uint8_t> out, std::size_t& written) {
    const auto start = static_cast<int64_t>(std::floor(position_));
    // The symbol starts a fraction of a baseband sample after `start`.
    const double fraction = position_ - static_cast<double>(start);
    correlator_.tones(start, fraction, frequency_.offset_hz(), tones_);
    correlator_.between_tones(start, frequency_.offset_hz(), between_);
    double tone_power = 0.0;
    for (const std::complex<float>& z : tones_.z)
        tone_power += std::norm(std::complex<double>(z));
    noise_.measure(between_, tone_power / (kToneCount * symbols_.pulse_energy));

    WeakDecision decision = decide_models();
    const double statistic = weak_statistic(decision, noise_.power());
    squelch_.observe(statistic);
    const double weight = weak_weight(statistic);
    // Going over the symbols a lock was just fitted to, the alignment is what the fit chose.
    if (!training_) follow_alias(start, fraction, weight);
    const TonePair decided = kTonePairs[decision.symbol - 1];
    const WeakNoise::Level level =
        noise_.follow(decided, between_, tones_.z, symbols_.pulse_energy);
    frequency_.step(weak_frequency_error(tones_.parts, decided, centroid_gap_s_), weight,
                    WeakSearch::kRangeHz + symbols_.spacing_hz);
    position_ += symbols_.length + follow_timing(start, fraction, statistic, weight, decision);

    if (training_) return;
    // Only a symbol the lock went by: the audio held at a lock may end with one it could not fit
    // yet, where a signal that came up just then shows first.
    const bool fitted = position_ <= fitted_until_ + 0.5 * symbols_.length &&
                        lock_fit_ >= WeakSquelch::kSymbolsToLockBy;
    const WeakSquelch::Symbol symbol{static_cast<uint8_t>(decision.symbol), statistic, level.above,
                                     level.tone_level};
    const double far = std::min(snr_far_[0], snr_far_[1]);
    if (squelch_.open() && far > 0.0 && snr_far_symbols_ >= kSnrFirst) {
        double energy = 0.0;
        for (const std::complex<float>& z : tones_.z)
            energy += std::norm(std::complex<double>(z));
        snr_symbols_ = std::min(snr_symbols_ + 1, kSnrSymbols);
        snr_above_ += (energy / far - kToneCount - snr_above_) / snr_symbols_;
    } else if (!squelch_.open()) {
        snr_symbols_ = 0;
    }
    apply(squelch_.step(symbol, config_.squelch, fitted), out, written);
    spare_own_tones();
}

void WeakReceiver::spare_own_tones() {
    std::array<double, kToneCount> tones{};
    std::size_t count = 0;
    const double spacing = tone_spacing_hz(config_.speed);
    if (!squelch_.open()) printed_ = 0;
    if (printed_text()) {
        const double followed = frequency_hz() - front_end_.reference_hz();
        for (uint32_t k = 0; k < kToneCount; ++k)
            tones[count++] = followed + (static_cast<double>(k) - 4.0) * spacing;
    }
    front_end_.carriers().spare(std::span<const double>(tones.data(), count), 0.25 * spacing);
}

WeakDecision WeakReceiver::decide_models() {
    WeakModelChoice::Decisions decisions{};
    // The locked model needs no levels; its decision tells the noise away from the tones.
    const auto locked = static_cast<std::size_t>(WeakModel::Locked);
    decisions[locked] = decide_symbol(symbols_, WeakModel::Locked, tones_.parts, WeakLevels{});
    noise_.follow_tone_noise(kTonePairs[decisions[locked].symbol - 1], between_);
    const WeakLevels levels = noise_.levels();
    for (std::size_t m = 0; m < decisions.size(); ++m) {
        if (m != locked)
            decisions[m] = decide_symbol(symbols_, static_cast<WeakModel>(m), tones_.parts, levels);
    }
    const WeakModel model =
        model_choice_.choose(decisions, noise_.power(), noise_.tone_noise(), tones_, symbols_);
    // The models are chosen between by the energy-normalised metric; where the symbol holds whole
    // and its level steady, the level decides it.
    if (model == WeakModel::Locked && levels.steady_snr > 0.0)
        return decide_known_level(symbols_, tones_.z, levels);
    return decisions[static_cast<std::size_t>(model)];
}

void WeakReceiver::follow_alias(int64_t start, double fraction, double weight) {
    auto outer = [&](double hz) {
        const double w = 2.0 * std::numbers::pi * hz / kWeakRateHz;
        return std::complex<float>(std::polar(1.0, w * fraction) *
                                   correlator_.correlate(start, hz, 0, symbols_.length));
    };
    const double spacing = symbols_.spacing_hz;
    const double offset_hz = frequency_.offset_hz();
    WeakAliasWatch::Beyond beyond{};
    for (int k = 1; k <= 3; ++k) {
        beyond[static_cast<std::size_t>(3 - k)] =
            outer(symbols_.offset_hz[0] - k * spacing + offset_hz);
        beyond[static_cast<std::size_t>(2 + k)] =
            outer(symbols_.offset_hz[kToneCount - 1] + k * spacing + offset_hz);
    }
    snr_far_symbols_ = std::min(snr_far_symbols_ + 1, kSnrSymbols);
    snr_far_[0] += (std::norm(beyond.front()) - snr_far_[0]) / snr_far_symbols_;
    snr_far_[1] += (std::norm(beyond.back()) - snr_far_[1]) / snr_far_symbols_;
    const int move = alias_.step(symbols_, tones_.z, beyond, weight, squelch_.open());
    if (move != 0) frequency_.move_by(move * spacing);
}

double WeakReceiver::follow_timing(int64_t start, double fraction, double statistic, double weight,
                                   WeakDecision& decision) {
    const double noise = noise_.power();
    const double strength = noise > 0.0 ? decision.best / noise : 0.0;
    const WeakTimingLoop::Gains gains = WeakTimingLoop::gains(strength);
    const auto reach = static_cast<int64_t>(search_.hop());
    for (int64_t i = -reach; i <= reach + 1; ++i)
        correlator_.tones_at(start + i, frequency_.offset_hz(),
                             shifted_[static_cast<std::size_t>(i + reach)]);
    const bool doubt = timing_doubt_.active() && model_choice_.model() == WeakModel::Locked;
    const double doubt_reach = WeakTimingDoubt::reach(symbols_);
    WeakDecision snapped{};
    double snapped_shift = 0.0;
    double centre_best = 0.0;
    for (int j = 0; j < timing_.shifts(); ++j) {
        const double shift = timing_.shift(j);
        const double at_shift = fraction + shift;
        const auto base = static_cast<int64_t>(std::floor(at_shift));
        const double rest = at_shift - static_cast<double>(base);
        const auto& row = shifted_[static_cast<std::size_t>(base + reach)];
        std::array<std::complex<float>, kToneCount> turned{};
        for (std::size_t t = 0; t < turned.size(); ++t)
            turned[t] = row[t] * std::complex<float>(std::polar(1.0, tones_.w[t] * rest));
        const WeakDecision here = decide_symbol(symbols_, turned);
        if (j == timing_.centre()) centre_best = here.best;
        if (doubt && std::abs(shift) <= doubt_reach && here.best > snapped.best) {
            snapped = here;
            snapped_shift = shift;
        }
        timing_.add(j, noise > 0.0 ? here.best / noise : 0.0, gains.memory, weight);
    }
    const WeakTimingLoop::Error error = timing_.error();
    const bool snap = doubt && WeakTimingDoubt::snaps(snapped, snapped_shift, centre_best, noise);
    if (snap) decision = snapped;
    const double correction = timing_.step(error, gains, weight, symbols_.length * kMaxClockError,
                                           snap ? &snapped_shift : nullptr);
    timing_doubt_.count(decision.symbol, statistic);
    return correction;
}

void WeakReceiver::apply(const WeakSquelch::Verdict& verdict, std::span<uint8_t> out,
                         std::size_t& written) {
    if (verdict.closed) {
        // Closing after a signal that ended: no later lock goes back over it to print it again.
        if (verdict.signal_ended)
            replay_floor_ = std::llround(position_) - static_cast<int64_t>(search_.hop());
        model_choice_.reset();
        noise_.restart_level();
    }
    for (const uint8_t symbol : verdict.print)
        emit(symbol, out, written);
    // Not on a symbol the last lock had whole before it: a lock afresh would fit the same audio
    // again and go over the same symbols to this one. The next one brings audio it did not have.
    if (verdict.lock_on > 0 && position_ > replayed_until_) {
        // The tracker was following noise when this began, and decodes confidently but maybe
        // half a spacing off: find timing and frequency afresh on the symbols held, around where
        // it is, and go over them again. Just after a signal ended, the lock may not go back
        // over all of them: what it fitted is all there is, and it does not lock again on the
        // same symbols.
        const double phase = std::fmod(position_, static_cast<double>(symbols_.length));
        WeakSearch::Peak here;
        here.start_fraction = phase / search_.hop();
        here.frequency_fraction = frequency_.offset_hz() / search_.bin_hz();
        if (lock(here, true, verdict.lock_on, true))
            lock_fit_ = std::max(lock_fit_, WeakSquelch::kSymbolsToLockBy);
    }
}

WeakReceiver::Place WeakReceiver::place() const {
    const double length = symbols_.length;
    double phase = std::fmod(position_, length);
    if (phase < 0) phase += length;
    Place p;
    p.start = static_cast<int>(std::lround(phase / search_.hop())) % WeakSearch::kStarts;
    p.frequency = static_cast<int>(std::lround(frequency_.offset_hz() / search_.bin_hz()));
    p.value = search_.near(p.start, p.frequency);
    return p;
}

void WeakReceiver::check_relock() {
    // Not while going over the symbols held at the last lock: the search has learnt nothing new.
    if (search_.rounds() < kAcquireRounds || position_ < replayed_until_) return;
    const WeakSearch::Peak peak = search_.peak();
    const auto [start, frequency, here] = place();
    const bool open = squelch_.open();
    // Not onto the signal followed seen a whole spacing off, which a neighbour lighting the
    // far edge can make score higher: at the same timing that is the alignment's question,
    // which the alias watch answers on the tones themselves.
    const double spacings = (peak.frequency - frequency) * search_.bin_hz() / symbols_.spacing_hz;
    int apart = std::abs(peak.start - start);
    apart = std::min(apart, WeakSearch::kStarts - apart);
    if (open && apart <= 1 && std::abs(std::abs(spacings) - 1.0) < 0.3) {
        relock_.reset();
        return;
    }
    if (relock_.vote(peak, start, frequency, here, open))
        lock(peak, !open, open ? 0 : squelch_.trailing_signal());
}

std::optional<double> WeakReceiver::snr_db() const {
    if (!squelch_.open() || snr_symbols_ < kSnrFirst) return std::nullopt;
    const double symbol_s = symbols_.length / kWeakRateHz;
    return 10.0 * std::log10(std::max(snr_above_, 1e-3) / (2500.0 * symbol_s));
}

bool WeakReceiver::printed_text() const {
    return std::popcount(printed_ & ~(uint64_t{1} << (kIdleSymbol - 1))) >= 2;
}

void WeakReceiver::emit(uint8_t symbol, std::span<uint8_t> out, std::size_t& written) {
    if (symbol >= 1 && symbol <= kSymbolCount) printed_ |= uint64_t{1} << (symbol - 1);
    if (written < out.size())
        out[written++] = symbol;
    else
        ++dropped_;
}

} // namespace quavel
