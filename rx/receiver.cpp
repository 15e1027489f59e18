#include "rx/receiver.h"

#include <algorithm>
#include <cmath>

#include "modem/code_table.h"

namespace quavel {

namespace {

// The weak-signal receiver decides at most this many symbols per 2048 samples given to it.
constexpr size_t kWeakSymbolsPerBlock = 8;

} // namespace

Receiver::Receiver() : weak_(std::make_unique<WeakReceiver>()) {
    restart_weak();
}

Receiver::~Receiver() = default;

void Receiver::profile_rebuilt(const SpeedProfile& profile) {
    capture_.clear_pending();
    capture_.reset_ring(profile.symbol_step);
    demodulator_.forget_slice();
    speed_ = profile.speed;
    weak_blocks_ = 0;
    weak_reset_pending_ = true;
    decoder_.afc = true; // the vote count carries on
    decoder_.print = true;
    auto_sync_ = true;
}

void Receiver::resume_receiving() {
    demodulator_.clear_scope_average();
    demodulator_.forget_slice();
    capture_.clear_pending();
    // Our own transmission came in between: whatever answers is found afresh.
    restart_weak();
}

void Receiver::retuned(const Tuning& tuning) {
    // The owner applying what the last step returned: this receiver moved there within the step.
    const std::optional<CentreHz> followed = followed_in_step_;
    followed_in_step_.reset();
    if (followed == tuning.air_hz) return;
    follow(tuning);
}

void Receiver::follow(const Tuning& tuning) {
    centre_hz_ = tuning.air_hz;
    if (weak_reset_pending_) {
        restart_weak();
    } else {
        weak_->retune(centre_hz_);
    }
}

void Receiver::retune_in_step(const Modem& modem, Tuning& tuning, CentreHz to, ReceiveStep& step) {
    tuning = to > kCentreMaxHz ? modem.air_tuning_for(to) : modem.tuning_for(to);
    follow(tuning);
    step.retune = tuning.air_hz;
    followed_in_step_ = tuning.air_hz;
}

void Receiver::set_receiver(ReceiverChoice choice) {
    if (choice == choice_) return;
    choice_ = choice;
    if (choice == ReceiverChoice::weak) restart_weak();
}

void Receiver::set_squelch(bool on) {
    squelch_ = on;
    weak_->set_squelch(on);
}

void Receiver::restart_weak() {
    weak_->reset({.speed = speed_, .centre_hz = centre_hz_, .squelch = squelch_});
    weak_text_.escape_pending = false;
    weak_blocks_ = capture_.ring().write_count();
    weak_reset_pending_ = false;
}

std::optional<CentreHz> Receiver::feed_weak(std::span<const int16_t> samples, CentreHz centre_hz,
                                            const ReceiveOutputs& out) {
    std::array<uint8_t, kWeakSymbolsPerBlock> symbols{};
    weak_text_.print = decoder_.print;
    while (!samples.empty()) {
        const size_t n = std::min<size_t>(samples.size(), kCaptureBlockSamples);
        const uint64_t dropped = weak_->dropped();
        const size_t decided = weak_->push(samples.first(n), symbols);
        weak_dropped_ += weak_->dropped() - dropped;
        for (size_t i = 0; i < decided; ++i)
            decode_symbol(weak_text_, symbols[i], out.primary, out.secondary);
        samples = samples.subspan(n);
    }
    // AFC follows the frequency it copies, in whole hertz, once it is a hertz or more away.
    if (!decoder_.afc || !weak_->locked()) return std::nullopt;
    const double hz = weak_->frequency_hz();
    if (!std::isfinite(hz) || std::abs(hz - centre_hz) < 1.0) return std::nullopt;
    // Tuned beyond the classic receiver's range, it follows the station anywhere up to the top
    // of the air range; within it, only within it.
    const CentreHz highest = centre_hz > kCentreMaxHz ? kAirCentreMaxHz : kCentreMaxHz;
    const long long target = std::clamp<long long>(std::llround(hz), kCentreMinHz, highest);
    if (target == centre_hz) return std::nullopt;
    return static_cast<CentreHz>(target);
}

void Receiver::set_test_mode(bool on) {
    if (on && !test_mode_) test_position_ = 0;
    test_mode_ = on;
}

ReceiveStep Receiver::receive_step(Modem& modem, const ReceiveOutputs& out) {
    ReceiveStep step;
    // A retune returned before and never applied is not waited for any longer.
    followed_in_step_.reset();
    // The tuning this step works at: the modem's, moved wherever AFC moves it on the way.
    Tuning tuning = modem.tuning;
    CaptureRing& ring = capture_.ring();
    const bool weak = choice_ == ReceiverChoice::weak;
    if (weak && !test_mode_) {
        // A reader that fell more than the ring behind resumes at its oldest block.
        if (ring.write_count() - weak_blocks_ > kRingBlocks)
            weak_blocks_ = ring.write_count() - kRingBlocks;
        while (weak_blocks_ != ring.write_count()) {
            if (const auto to = feed_weak(ring.block(weak_blocks_++), tuning.air_hz, out))
                retune_in_step(modem, tuning, *to, step);
        }
    }
    if (!capture_.data_arrived() || !ring.symbol_ready()) return step;

    std::span<const int16_t> source;
    if (test_mode_) {
        const auto sequence = test_sequence();
        if (test_position_ >= sequence.size()) test_position_ = 0;
        const uint32_t symbol = sequence[test_position_];
        test_position_ = (test_position_ + 1) % static_cast<uint32_t>(sequence.size());
        source = std::span<const int16_t>(modem.test_bank.row(symbol - 1).data(), modem.profile.N);
    } else {
        source = ring.symbol();
    }

    // In test mode the weak-signal receiver hears the test bank too.
    if (weak && test_mode_) {
        if (const auto to = feed_weak(source, tuning.air_hz, out))
            retune_in_step(modem, tuning, *to, step);
    }

    const StepDecisions decided = demodulate(demodulator_, source, modem.profile, tuning,
                                             auto_sync_, out.displays, waterfall_sensitivity_);
    for (const ToneDecision& d : decided.decided()) {
        last_decision_ = d;
        if (weak) continue;
        if (const auto to =
                decode_and_track(decoder_, d, tuning.centre_hz, out.primary, out.secondary))
            retune_in_step(modem, tuning, *to, step);
    }
    ring.advance_read();
    ++steps_;
    step.ran = true;
    return step;
}

} // namespace quavel
