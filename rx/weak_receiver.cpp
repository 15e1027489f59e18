#include "rx/weak_receiver.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quavel {

namespace {

// Symbols the search must have seen at every trial start before the tracker first locks.
constexpr uint32_t kAcquireRounds = 3;
// Symbols before the lock decided again once it is found, so that the beginning of a
// transmission is copied too.
constexpr int kReplaySymbols = 5;

// Squelch: the statistic is (best - second best metric) / noise power, averaged over about four
// symbols. On noise alone it stays near 1; a signal that copies at all puts it well above 5.
constexpr double kStatisticCap = 30.0;
constexpr double kOpenAbove = 4.0;
constexpr double kCloseBelow = 2.0;
// A strong signal that stops keeps that average up for several symbols, each printing noise.
// Whether a symbol holds a signal at all is told by its energy above the noise over all nine
// tones (in single-tone noise powers: about 0 +- 3 on noise alone). Where the signal's level is
// at least kStrongLevel, a symbol below kAbsentBelow mutes the squelch: it and the symbols after
// it wait for one above kBackAbove.
constexpr double kStrongLevel = 24.0;
constexpr double kAbsentBelow = 4.0;
constexpr double kBackAbove = 10.0;
// When the squelch opens, the held symbols from the last one below this onward are released.
constexpr double kLeadAbove = 2.0;
// Symbols above that the squelch waits for before it locks afresh on a signal that came up while
// it was following noise.
constexpr int kSymbolsToLockBy = 2;

// Loop gains, per symbol, applied to errors weighted by the symbol's confidence.
constexpr double kFrequencyGain = 0.25;
constexpr double kDriftGain = 0.02;
constexpr double kTimingGain = 0.3;
constexpr double kRateGain = 0.035;
// The choice of model: how fast the margins are averaged, and by how much another model's must
// exceed the one in use.
constexpr double kModelMemory = 1.0 / 16.0;
constexpr double kModelMargin = 1.1;
// Chosen by their margins: Locked, FreeHalves and FreeQuarters.
constexpr std::size_t kMarginModels = 3;
// By how much (in noise powers) the tone-by-tone model must fit better than the locked one to
// take over (see decide()).
constexpr double kFitMargin = 2.0;
// How fast the signal's level is averaged.
constexpr double kLevelMemory = 1.0 / 16.0;
// Tone-spacing aliases: how fast their fit is averaged, and by how much one must fit better.
constexpr double kAliasMemory = 0.2;
constexpr double kAliasMargin = 1.15;
constexpr double kAliasMarginClosed = 1.05; // while the squelch is closed
// The timing curve: how fast it forgets, per symbol of full weight.
constexpr double kTimingMemory = 0.15;
// The largest sample-clock difference between the stations followed (2000 ppm).
constexpr double kMaxClockError = 0.002;
// A strong signal times itself precisely and the loops may follow it quickly: from a symbol
// metric 10^kQuickFrom times the noise, fully kQuickOver decades above, they move to these.
constexpr double kQuickFrom = 2.0;
constexpr double kQuickOver = 2.0;
constexpr double kQuickTimingMemory = 0.5;
constexpr double kQuickTimingGain = 0.6;
constexpr double kQuickRateGain = 0.15;

// Timing doubt: after this many single tones and narrow pairs in a row, the next few wide pairs
// (spread over at least kWide spacings) may set the timing anew, within kDoubtLobe of the widest
// pair's lobe, when one fits kSnapMargin better there.
constexpr int kDoubtAfter = 4;
constexpr int kDoubtSymbols = 3;
constexpr int kWide = 3;
constexpr double kDoubtLobe = 0.45;
constexpr double kSnapMargin = 1.5;

int spread(uint32_t symbol) {
    const TonePair pair = kTonePairs[symbol - 1];
    return pair.b - pair.a;
}

double weight_of(double statistic) {
    return statistic / (statistic + 4.0);
}

// A station with nothing to send fills the air with the idle symbol, tone 5 alone, and that is
// what a transmission starts with. Among the alignments of the tone set a whole spacing apart,
// which fit a single tone equally well, the one that reads it as the idle symbol is the likely
// one; a small bonus says so, and the outer tones of the text outweigh it once they come.
constexpr double kIdleBonus = 0.1;
double idle_favoured(const WeakDecision& d) {
    return d.symbol == kIdleSymbol ? d.best * (1.0 + kIdleBonus) : d.best;
}

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
    ring_.fill({});
    received_ = 0;
    next_search_ = symbols_.length;

    const uint32_t half = symbols_.length / 2;
    double w1 = 0.0, c1 = 0.0, w2 = 0.0, c2 = 0.0;
    for (uint32_t m = 0; m < symbols_.length; ++m) {
        (m < half ? w1 : w2) += symbols_.pulse[m];
        (m < half ? c1 : c2) += symbols_.pulse[m] * double(m);
    }
    centroid_gap_s_ = (c2 / w2 - c1 / w1) / kWeakRateHz;

    tracking_ = false;
    position_ = 0.0;
    replayed_until_ = 0.0;
    replay_floor_ = 0;
    timing_rate_ = 0.0;
    offset_hz_ = 0.0;
    drift_hz_ = 0.0;
    relock_votes_ = 0;
    alias_.fill(1.0);
    noise_ = 0.0;
    noise_known_ = false;
    tone_snr_ = 0.0;
    tone_noise_ = 0.0;
    model_margin_.fill(0.0);
    fit_.fill(0.0);
    model_ = 0;
    margin_model_ = 0;
    restart_squelch();
}

void WeakReceiver::retune(CentreHz centre_hz) {
    if (tracking_ && std::abs(centre_hz - frequency_hz()) <= 3.0) return;
    front_end_.set_reference(centre_hz);
    search_.reset(symbols_);
    tracking_ = false;
    offset_hz_ = 0.0;
    drift_hz_ = 0.0;
    timing_rate_ = 0.0;
    restart_squelch();
}

void WeakReceiver::forget_a_carrier() {
    const CarrierCanceller& carriers = front_end_.carriers();
    if (carriers.notches_made() == notches_seen_) return;
    notches_seen_ = carriers.notches_made();
    // A carrier just taken out may be what the search found or the tracker follows: unless it
    // lay outside the signal being followed, search afresh on the audio without it.
    const double followed = frequency_hz() - front_end_.reference_hz();
    const double reach = 5.0 * tone_spacing_hz(config_.speed);
    if (tracking_ && std::abs(carriers.last_made_hz() - followed) > reach) return;
    // What the ring holds from before the notch still has the carrier in it.
    ring_.fill({});
    search_.reset(symbols_);
    tracking_ = false;
    offset_hz_ = 0.0;
    drift_hz_ = 0.0;
    timing_rate_ = 0.0;
    restart_squelch();
}

void WeakReceiver::set_squelch(bool on) {
    config_.squelch = on;
}

size_t WeakReceiver::push(std::span<const int16_t> samples, std::span<uint8_t> out) {
    std::size_t written = 0;
    while (!samples.empty()) {
        const std::size_t n = std::min<std::size_t>(samples.size(), 2048);
        const std::size_t made = front_end_.push(samples.first(n), scratch_);
        forget_a_carrier();
        take(std::span(scratch_.data(), made), out, written);
        samples = samples.subspan(n);
    }
    return written;
}

void WeakReceiver::take(std::span<const std::complex<float>> baseband, std::span<uint8_t> out,
                        std::size_t& written) {
    for (const std::complex<float>& x : baseband) {
        ring_[static_cast<std::size_t>(received_) % kRingSamples] = x;
        ++received_;
        if (received_ == next_search_) {
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
           received_;
}

void WeakReceiver::search_step() {
    const uint32_t length = symbols_.length;
    const int64_t start = next_search_ - length;
    for (uint32_t m = 0; m < length; ++m)
        window_[m] = at(start + m);
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
    const int64_t latest_end = received_ - hop - 1;
    int64_t position = start + length * ((latest_end - length - start) / length);
    if (position + length > latest_end) position -= length;
    const int64_t in_ring =
        std::max<int64_t>(hop, received_ - static_cast<int64_t>(kRingSamples) + hop + 1);
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
        if (nearest + length + hop >= received_) {
            nearest -= length;
            ++next_after;
        }
        if (nearest - hop >= earliest && nearest + length + hop < received_) {
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
    lock_fit_ = symbols - fit_from;
    auto fit_at = [&](int64_t first, double hz) {
        double fit = 0.0;
        for (int k = fit_from; k < symbols; ++k) {
            std::array<std::complex<float>, kToneCount> z{};
            for (std::size_t t = 0; t < z.size(); ++t)
                z[t] = std::complex<float>(
                    correlate(first + k * length, symbols_.offset_hz[t] + hz, 0, length));
            fit += idle_favoured(decide_symbol(symbols_, z));
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
        to_shift = std::min<int64_t>(hop, received_ - 1 - (position + symbols * length));
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
    for (int k = -aliases; k <= aliases; ++k) {
        const double hz = fine_hz + k * symbols_.spacing_hz;
        if (std::abs(hz) > limit) continue;
        const double fit = fit_at(best_start, hz);
        if (fit > best) {
            best = fit;
            best_hz = hz;
        }
    }
    position_ = static_cast<double>(keep_count ? best_start + next_after * length : best_start);
    replayed_until_ = static_cast<double>(received_);
    offset_hz_ = best_hz;
    if (!keep_count) timing_rate_ = 0.0;
    drift_hz_ = 0.0;
    tracking_ = true;
    timing_curve_.fill(0.0);
    timing_shifts_ = static_cast<int>(4 * search_.hop() + 1);
    relock_votes_ = 0;
    alias_.fill(1.0);
    timing_doubt_ = kDoubtSymbols;
    narrow_run_ = 0;
    if (!replay) return floored;
    model_margin_.fill(0.0);
    fit_.fill(0.0);
    model_ = 0;
    margin_model_ = 0;
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
    position_ -= trained * (static_cast<double>(length) + timing_rate_);
    restart_squelch();
    return floored;
}

std::complex<double> WeakReceiver::correlate(int64_t start, double offset_hz, uint32_t from,
                                             uint32_t to) const {
    const double w = -2.0 * std::numbers::pi * offset_hz / kWeakRateHz;
    const std::complex<double> step(std::cos(w), std::sin(w));
    std::complex<double> phase = std::polar(1.0, w * from);
    std::complex<double> sum;
    for (uint32_t m = from; m < to; ++m) {
        sum += std::complex<double>(at(start + m)) * (phase * double(symbols_.pulse[m]));
        phase *= step;
    }
    return sum;
}

void WeakReceiver::decide(std::span<uint8_t> out, std::size_t& written) {
    const uint32_t length = symbols_.length;
    const auto start = static_cast<int64_t>(std::floor(position_));
    // The symbol starts a fraction of a baseband sample after `start`: over so short a shift the
    // pulse hardly moves, but each tone turns by its own frequency times the shift.
    const double fraction = position_ - static_cast<double>(start);

    WeakParts parts{};
    std::array<std::complex<float>, kToneCount> z{};
    std::array<double, kToneCount> w{};
    for (std::size_t t = 0; t < kToneCount; ++t) {
        const double f = symbols_.offset_hz[t] + offset_hz_;
        w[t] = 2.0 * std::numbers::pi * f / kWeakRateHz;
        const std::complex<double> turn = std::polar(1.0, w[t] * fraction);
        for (uint32_t q = 0; q < kWeakParts; ++q) {
            parts[q][t] = std::complex<float>(
                turn * correlate(start, f, q * length / kWeakParts, (q + 1) * length / kWeakParts));
            z[t] += parts[q][t];
        }
    }

    // Noise: the trial frequencies half-way between the tones and half a spacing beyond the
    // outer ones, where a symbol's own tones leave (almost) nothing.
    std::array<double, kToneCount + 1> between{};
    double noise = 0.0;
    for (std::size_t j = 0; j < between.size(); ++j) {
        const double f = symbols_.offset_hz[0] +
                         (static_cast<double>(j) - 0.5) * symbols_.spacing_hz + offset_hz_;
        between[j] = std::norm(correlate(start, f, 0, length)) / symbols_.pulse_energy;
        noise += between[j];
    }
    noise /= kToneCount + 1;
    if (!noise_known_) {
        noise_ = noise;
        noise_known_ = true;
    } else {
        noise_ += (noise - noise_) / 8.0;
    }

    // Every model decides; the one whose winners have stood furthest above their runners-up
    // over the last symbols is the one the channel suits, and its decision is taken.
    // Symbols lost in the noise under every model teach nothing and are left out.
    std::array<WeakDecision, kWeakModels> decisions{};
    std::array<double, kWeakModels> margins{};
    if (tone_noise_ <= 0.0) tone_noise_ = noise_;
    const WeakLevels levels{tone_noise_, tone_snr_};
    for (std::size_t m = 0; m < decisions.size(); ++m) {
        decisions[m] = decide_symbol(symbols_, static_cast<WeakModel>(m), parts, levels);
        margins[m] = noise_ > 0.0 ? std::min((decisions[m].best - decisions[m].second) / noise_,
                                             kStatisticCap)
                                  : 0.0;
    }
    if (*std::max_element(margins.begin(), margins.end()) >= kOpenAbove) {
        for (std::size_t m = 0; m < margins.size(); ++m)
            model_margin_[m] += kModelMemory * (margins[m] - model_margin_[m]);
    }
    for (std::size_t m = 0; m < kMarginModels; ++m) {
        if (model_margin_[m] >
            kModelMargin * model_margin_[static_cast<std::size_t>(margin_model_)])
            margin_model_ = static_cast<int>(m);
    }
    // The tone-by-tone model's margins run smaller than the others' by its make (a runner-up
    // sharing a tone with the winner), so it is weighed otherwise: by how much of the symbol's
    // energy a winner takes in, less what the freedom it is given would take in from noise
    // alone (one noise power per real parameter fitted). Freeing the two tones of a pair from
    // each other (a delay across the tone set) is set against the locked model, and against
    // following the pair's phase from one half of the symbol to the other instead (fading fast
    // against a long symbol, which the tone-by-tone model does not follow and the free-phase
    // models do): it is taken where freeing the tones gains clearly, and more than that.
    if (tone_noise_ > 0.0) {
        const double per_noise = 1.0 / tone_noise_;
        const TonePair tones =
            kTonePairs[decisions[static_cast<std::size_t>(WeakModel::ToneByTone)].symbol - 1];
        const auto a = static_cast<std::size_t>(tones.a - 1);
        const auto b = static_cast<std::size_t>(tones.b - 1);
        double taken = std::norm(std::complex<double>(z[a]));
        if (a != b) taken += std::norm(std::complex<double>(z[b]));
        double halves = 0.0;
        for (std::size_t k = 0; k < kSymbolCount; ++k) {
            const auto ka = static_cast<std::size_t>(kTonePairs[k].a - 1);
            const auto kb = static_cast<std::size_t>(kTonePairs[k].b - 1);
            double sum = 0.0;
            for (std::size_t h = 0; h < 2; ++h) {
                const std::complex<double> y(0.5f * (parts[2 * h][ka] + parts[2 * h + 1][ka] +
                                                     parts[2 * h][kb] + parts[2 * h + 1][kb]));
                if (symbols_.half_energy[h][k] > 0.0)
                    sum += std::norm(y) / symbols_.half_energy[h][k];
            }
            halves = std::max(halves, sum);
        }
        const std::array<double, 3> fit = {
            decisions[static_cast<std::size_t>(WeakModel::Locked)].best * per_noise - 2.0,
            taken / symbols_.pulse_energy * per_noise - (a == b ? 2.0 : 4.0),
            halves * per_noise - 4.0};
        if (*std::max_element(margins.begin(), margins.end()) >= kOpenAbove) {
            for (std::size_t i = 0; i < fit.size(); ++i)
                fit_[i] += kModelMemory * (fit[i] - fit_[i]);
        }
    }
    const double tone_gain = fit_[1] - fit_[0];
    const bool tone_by_tone = model_ == static_cast<int>(WeakModel::ToneByTone);
    if (tone_gain > (tone_by_tone ? 0.0 : kFitMargin) && tone_gain > fit_[2] - fit_[0])
        model_ = static_cast<int>(WeakModel::ToneByTone);
    else
        model_ = margin_model_;
    WeakDecision decision = decisions[static_cast<std::size_t>(model_)];
    const double statistic =
        noise_ > 0.0 ? std::min((decision.best - decision.second) / noise_, kStatisticCap) : 0.0;
    confidence_ += (statistic - confidence_) / 4.0;
    const double weight = weight_of(statistic);
    track_alias(start, fraction, z, weight);

    // The levels for the tone-by-tone model. A strong signal leaks into the trial frequencies
    // next to its tones, by its own Doppler spread and the pulse's skirts, and lifts the noise
    // measured above: the noise under it is measured on the others. The energy above that noise
    // over all nine tones (which a wrong decision hardly biases) is a single tone's SNR, or half
    // of it for a pair.
    {
        const TonePair decided = kTonePairs[decision.symbol - 1];
        const auto a = static_cast<std::size_t>(decided.a - 1);
        const auto b = static_cast<std::size_t>(decided.b - 1);
        double sum = 0.0;
        int count = 0;
        for (std::size_t j = 0; j < between.size(); ++j) {
            if (j == a || j == a + 1 || j == b || j == b + 1) continue;
            sum += between[j];
            ++count;
        }
        tone_noise_ += (sum / count - tone_noise_) / 8.0;
    }
    const double tone_level = tone_snr_;
    double above = 0.0; // the energy above the noise over all nine tones, in noise powers
    if (tone_noise_ > 0.0) {
        for (const std::complex<float>& tone : z)
            above +=
                std::norm(std::complex<double>(tone)) / (symbols_.pulse_energy * tone_noise_) - 1.0;
        const TonePair decided = kTonePairs[decision.symbol - 1];
        const double pair_factor = decided.a != decided.b ? 2.0 : 1.0;
        tone_snr_ = std::max(0.0, tone_snr_ + kLevelMemory * (pair_factor * above - tone_snr_));
    }

    // Frequency: how far the decided symbol's tones turn from the first half to the second,
    // each tone on its own (a second path may turn one against the other).
    const TonePair pair = kTonePairs[decision.symbol - 1];
    const auto a = static_cast<std::size_t>(pair.a - 1);
    const auto b = static_cast<std::size_t>(pair.b - 1);
    std::complex<double> turn;
    for (const std::size_t t : {a, b}) {
        const std::complex<double> first(parts[0][t] + parts[1][t]);
        const std::complex<double> second(parts[2][t] + parts[3][t]);
        turn += second * std::conj(first);
        if (a == b) break;
    }
    const double frequency_error = std::arg(turn) / (2.0 * std::numbers::pi * centroid_gap_s_);
    drift_hz_ = std::clamp(drift_hz_ + kDriftGain * weight * frequency_error, -0.5, 0.5);
    const double limit = WeakSearch::kRangeHz + symbols_.spacing_hz;
    offset_hz_ = std::clamp(offset_hz_ + kFrequencyGain * weight * frequency_error + drift_hz_,
                            -limit, limit);

    // Timing: both tones of a pair start at phase 0, so a start `d` samples off turns the upper
    // tone against the lower by (w_b - w_a) d and the pair's metric falls; the pulse no longer
    // fits either. The best symbol's metric at starts every half sample up to a trial start of
    // the search either side, averaged over the last symbols, peaks where the symbols start:
    // wide pairs make the peak sharp, narrow ones and the pulse keep it unique.
    // A strong signal times itself precisely: the loops may then be quick, as a sample-clock
    // error needs them at the slow speeds, where it moves the boundary most per symbol.
    const double strength = noise_ > 0.0 ? decision.best / noise_ : 0.0;
    const double quick =
        strength > 0.0 ? std::clamp((std::log10(strength) - kQuickFrom) / kQuickOver, 0.0, 1.0)
                       : 0.0;
    const double timing_memory = kTimingMemory + quick * (kQuickTimingMemory - kTimingMemory);
    const double timing_gain = kTimingGain + quick * (kQuickTimingGain - kTimingGain);
    const double rate_gain = kRateGain + quick * (kQuickRateGain - kRateGain);
    const int shifts = timing_shifts_;
    const auto reach = static_cast<int64_t>(search_.hop());
    for (int64_t i = -reach; i <= reach + 1; ++i) {
        auto& row = shifted_[static_cast<std::size_t>(i + reach)];
        for (std::size_t t = 0; t < row.size(); ++t)
            row[t] = std::complex<float>(
                correlate(start + i, symbols_.offset_hz[t] + offset_hz_, 0, length));
    }
    // After a run of single tones and narrow pairs the timing may be off by up to half a lobe of
    // the widest pair; until a few wide pairs have set it again, a symbol that fits clearly
    // better at a start nearby is taken there, and the timing moved to it.
    const bool doubt = timing_doubt_ > 0 && model_ == static_cast<int>(WeakModel::Locked);
    const double doubt_reach = kDoubtLobe * kWeakRateHz / ((kToneCount - 1) * symbols_.spacing_hz);
    WeakDecision snapped{};
    double snapped_shift = 0.0;
    double centre_best = 0.0;
    for (int j = 0; j < shifts; ++j) {
        const double shift = (j - shifts / 2) * kTimingStep;
        const double at_shift = fraction + shift;
        const auto base = static_cast<int64_t>(std::floor(at_shift));
        const double rest = at_shift - static_cast<double>(base);
        const auto& row = shifted_[static_cast<std::size_t>(base + reach)];
        std::array<std::complex<float>, kToneCount> turned{};
        for (std::size_t t = 0; t < turned.size(); ++t)
            turned[t] = row[t] * std::complex<float>(std::polar(1.0, w[t] * rest));
        const WeakDecision here = decide_symbol(symbols_, turned);
        if (j == shifts / 2) centre_best = here.best;
        if (doubt && std::abs(shift) <= doubt_reach && here.best > snapped.best) {
            snapped = here;
            snapped_shift = shift;
        }
        const double value = noise_ > 0.0 ? here.best / noise_ : 0.0;
        timing_curve_[static_cast<std::size_t>(j)] +=
            timing_memory * weight * (value - timing_curve_[static_cast<std::size_t>(j)]);
    }
    const auto peak =
        static_cast<int>(std::max_element(timing_curve_.begin(), timing_curve_.begin() + shifts) -
                         timing_curve_.begin());
    double timing_error = (peak - shifts / 2) * kTimingStep;
    if (peak > 0 && peak < shifts - 1) {
        const double left = timing_curve_[static_cast<std::size_t>(peak - 1)];
        const double centre = timing_curve_[static_cast<std::size_t>(peak)];
        const double right = timing_curve_[static_cast<std::size_t>(peak + 1)];
        const double curve = left - 2.0 * centre + right;
        if (curve < 0.0) timing_error += kTimingStep * 0.5 * (left - right) / curve;
    }
    // A peak at the curve's edge says only that the timing is far off, not by how much: the
    // correction moves towards it, but the clock rate learns nothing from it.
    const bool at_edge = peak == 0 || peak == shifts - 1;
    const double rate_limit = length * kMaxClockError;
    if (!at_edge)
        timing_rate_ =
            std::clamp(timing_rate_ + rate_gain * weight * timing_error, -rate_limit, rate_limit);
    const bool snap = doubt && snapped_shift != 0.0 && snapped.best > kSnapMargin * centre_best &&
                      spread(snapped.symbol) >= kWide &&
                      snapped.best - snapped.second >= kOpenAbove * noise_;
    if (snap) decision = snapped;
    const double correction =
        timing_rate_ + (snap ? snapped_shift : timing_gain * weight * timing_error);
    if (spread(decision.symbol) >= kWide && statistic >= kOpenAbove) {
        narrow_run_ = 0;
        if (timing_doubt_ > 0) --timing_doubt_;
    } else if (spread(decision.symbol) < 2 && ++narrow_run_ >= kDoubtAfter) {
        timing_doubt_ = kDoubtSymbols;
    }
    position_ += length + correction;
    // The curve is kept relative to the tracked start: move it with the correction.
    std::array<double, kMaxTimingShifts> moved{};
    for (int j = 0; j < shifts; ++j) {
        const double x = std::clamp(j + correction / kTimingStep, 0.0, shifts - 1.0);
        const auto i = std::min(static_cast<int>(x), shifts - 2);
        const double f = x - i;
        moved[static_cast<std::size_t>(j)] =
            (1.0 - f) * timing_curve_[static_cast<std::size_t>(i)] +
            f * timing_curve_[static_cast<std::size_t>(i + 1)];
    }
    timing_curve_ = moved;

    if (training_) return;
    const auto symbol = static_cast<uint8_t>(decision.symbol);
    if (!config_.squelch) {
        open_ = confidence_ >= kOpenAbove || (open_ && confidence_ >= kCloseBelow);
        emit(symbol, out, written);
        return;
    }
    if (open_) {
        if (confidence_ < kCloseBelow) {
            // Closing after a signal that ended: no later lock goes back over it to print it
            // again.
            if (muted_)
                replay_floor_ = std::llround(position_) - static_cast<int64_t>(search_.hop());
            open_ = false;
            held_count_ = 0;
            muted_ = false;
            model_margin_.fill(0.0);
            fit_.fill(0.0);
            model_ = 0;
            margin_model_ = 0;
            return;
        }
        // Muted, symbols wait until a clear one shows the signal is back, and are printed with
        // it; the squelch closing drops them (noise alone hardly makes a clear symbol). The
        // oldest makes room: a fade that long leaves nothing to copy. One place is kept free,
        // so that a call still writes no more symbols than when the squelch opens.
        if (muted_ || (above < kAbsentBelow && tone_level >= kStrongLevel)) {
            if (above >= kBackAbove) {
                for (int i = 0; i < held_count_; ++i)
                    emit(held_[static_cast<std::size_t>(i)].symbol, out, written);
                held_count_ = 0;
                muted_ = false;
                emit(symbol, out, written);
                return;
            }
            if (held_count_ == kHeldBack - 1) {
                std::move(held_.begin() + 1, held_.end(), held_.begin());
                --held_count_;
            }
            held_[static_cast<std::size_t>(held_count_++)] = {symbol, statistic};
            muted_ = true;
            return;
        }
        emit(symbol, out, written);
        return;
    }
    if (held_count_ == kHeldBack) {
        std::move(held_.begin() + 1, held_.end(), held_.begin());
        --held_count_;
    }
    held_[static_cast<std::size_t>(held_count_++)] = {symbol, statistic};
    if (confidence_ < kOpenAbove) return;
    const int first_held = held_count_ - trailing_signal();
    if (position_ > replayed_until_ || lock_fit_ < kSymbolsToLockBy) {
        // Wait for a few symbols of the signal, so that the lock below has them to go by: one or
        // two fit a whole spacing higher or lower as well.
        // Their start is found afresh anywhere within a symbol, so wait for one that can show it:
        // a wide pair, whose tones turn apart within a sample (the idle tone shows little).
        const int signal = held_count_ - first_held;
        bool timed = signal >= kHeldBack - 1;
        for (int i = first_held; i < held_count_; ++i)
            timed = timed || spread(held_[static_cast<std::size_t>(i)].symbol) >= kWide;
        if (signal < kSymbolsToLockBy || !timed) return;
        // The tracker was following noise when this began, and decodes confidently but maybe
        // half a spacing off: find timing and frequency afresh on the symbols held, around where
        // it is, and go over them again.
        double phase = std::fmod(position_, static_cast<double>(length));
        WeakSearch::Peak here;
        here.start_fraction = phase / search_.hop();
        here.frequency_fraction = offset_hz_ / search_.bin_hz();
        // Just after a signal ended, the lock may not go back over all of them: what it fitted
        // is all there is, and it does not lock again on the same symbols.
        if (lock(here, true, signal, true)) lock_fit_ = std::max(lock_fit_, kSymbolsToLockBy);
        return;
    }
    open_ = true;
    for (int i = first_held; i < held_count_; ++i)
        emit(held_[static_cast<std::size_t>(i)].symbol, out, written);
    held_count_ = 0;
}

void WeakReceiver::restart_squelch() {
    confidence_ = 0.0;
    open_ = false;
    held_count_ = 0;
    muted_ = false;
}

int WeakReceiver::trailing_signal() const {
    int n = 0;
    while (n < held_count_ &&
           held_[static_cast<std::size_t>(held_count_ - 1 - n)].statistic >= kLeadAbove)
        ++n;
    return n;
}

WeakReceiver::Place WeakReceiver::place() const {
    const double length = symbols_.length;
    double phase = std::fmod(position_, length);
    if (phase < 0) phase += length;
    Place p;
    p.start = static_cast<int>(std::lround(phase / search_.hop())) % WeakSearch::kStarts;
    p.frequency = static_cast<int>(std::lround(offset_hz_ / search_.bin_hz()));
    p.value = search_.near(p.start, p.frequency);
    return p;
}

void WeakReceiver::check_relock() {
    // Not while going over the symbols held at the last lock: the search has learnt nothing new.
    if (search_.rounds() < kAcquireRounds || position_ < replayed_until_) return;
    const WeakSearch::Peak peak = search_.peak();
    const auto [start, frequency, here] = place();
    int apart = std::abs(peak.start - start);
    apart = std::min(apart, WeakSearch::kStarts - apart);

    // Following noise, any clearly better place will do; copying, only a much stronger signal
    // elsewhere takes the tracker away.
    const bool elsewhere = apart > 1 || std::abs(peak.frequency - frequency) > 2;
    if (elsewhere && peak.value > (open_ ? 2.0 : 1.1) * here) {
        if (++relock_votes_ >= (open_ ? 3 : 2)) lock(peak, !open_, open_ ? 0 : trailing_signal());
        return;
    }
    relock_votes_ = 0;
}

void WeakReceiver::track_alias(int64_t start, double fraction,
                               const std::array<std::complex<float>, kToneCount>& z,
                               double weight) {
    // With only the idle tone or few outer tones on the air, the nine tones fit a whole spacing
    // higher or lower almost as well: keep scoring both neighbours, and move when one fits
    // clearly better over the last symbols.
    auto outer = [&](double hz) {
        const double w = 2.0 * std::numbers::pi * hz / kWeakRateHz;
        return std::complex<float>(std::polar(1.0, w * fraction) *
                                   correlate(start, hz, 0, symbols_.length));
    };
    const double spacing = symbols_.spacing_hz;
    const std::complex<float> below = outer(symbols_.offset_hz[0] - spacing + offset_hz_);
    const std::complex<float> above =
        outer(symbols_.offset_hz[kToneCount - 1] + spacing + offset_hz_);
    std::array<std::complex<float>, kToneCount> lower{};
    std::array<std::complex<float>, kToneCount> higher{};
    lower[0] = below;
    for (int t = 1; t < kToneCount; ++t) {
        lower[static_cast<std::size_t>(t)] = z[static_cast<std::size_t>(t - 1)];
        higher[static_cast<std::size_t>(t - 1)] = z[static_cast<std::size_t>(t)];
    }
    higher[kToneCount - 1] = above;
    const std::array<double, 3> fit = {idle_favoured(decide_symbol(symbols_, lower)),
                                       idle_favoured(decide_symbol(symbols_, z)),
                                       idle_favoured(decide_symbol(symbols_, higher))};
    const double scale = fit[1] > 0.0 ? 1.0 / fit[1] : 0.0;
    for (std::size_t i = 0; i < alias_.size(); ++i)
        alias_[i] += kAliasMemory * weight * (fit[i] * scale - alias_[i]);
    const double margin = open_ ? kAliasMargin : kAliasMarginClosed;
    for (int side : {0, 2}) {
        if (alias_[static_cast<std::size_t>(side)] > margin * alias_[1]) {
            offset_hz_ += (side - 1) * spacing;
            alias_.fill(1.0);
            return;
        }
    }
}

void WeakReceiver::emit(uint8_t symbol, std::span<uint8_t> out, std::size_t& written) {
    if (written < out.size()) out[written++] = symbol;
}

} // namespace quavel
