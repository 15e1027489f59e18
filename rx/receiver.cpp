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
    capture.clear_pending();
    capture.reset_ring(profile.symbol_step);
    demodulator.forget_slice();
    speed_ = profile.speed;
    weak_blocks_ = 0;
    weak_reset_pending_ = true;
    decoder.afc = true; // the vote count carries on
    decoder.print = true;
    auto_sync = true;
}

void Receiver::resume_receiving() {
    demodulator.clear_scope_average();
    demodulator.forget_slice();
    capture.clear_pending();
    // Our own transmission came in between: whatever answers is found afresh.
    restart_weak();
}

void Receiver::retuned(const Tuning& tuning) {
    centre_hz_ = tuning.centre_hz;
    if (weak_reset_pending_) {
        restart_weak();
    } else {
        weak_->retune(centre_hz_);
    }
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
    weak_->reset(
        {.speed = speed_, .centre_hz = static_cast<double>(centre_hz_), .squelch = squelch_});
    weak_text_.escape_pending = false;
    weak_blocks_ = capture.ring().write_count();
    weak_reset_pending_ = false;
}

void Receiver::feed_weak(std::span<const int16_t> samples, Modem& modem, ProfileListener& listener,
                         const ReceiveOutputs& out) {
    std::array<uint8_t, kWeakSymbolsPerBlock> symbols{};
    weak_text_.print = decoder.print;
    while (!samples.empty()) {
        const size_t n = std::min<size_t>(samples.size(), kCaptureBlockSamples);
        const size_t decided = weak_->push(samples.first(n), symbols);
        for (size_t i = 0; i < decided; ++i)
            decode_symbol(weak_text_, symbols[i], out.primary, out.secondary);
        samples = samples.subspan(n);
    }
    // AFC follows the frequency it copies, in whole hertz, once it is a hertz or more away.
    if (!decoder.afc || !weak_->locked()) return;
    const double hz = weak_->frequency_hz();
    if (!std::isfinite(hz) || std::abs(hz - modem.tuning.centre_hz) < 1.0) return;
    const long long target = std::clamp<long long>(std::llround(hz), kCentreMinHz, kCentreMaxHz);
    if (target != modem.tuning.centre_hz) modem.set_centre_frequency(target, listener);
}

void Receiver::set_test_mode(bool on) {
    if (on && !test_mode) test_position = 0;
    test_mode = on;
}

bool Receiver::receive_step(Modem& modem, ProfileListener& listener, const ReceiveOutputs& out) {
    CaptureRing& ring = capture.ring();
    const bool weak = choice_ == ReceiverChoice::weak;
    if (weak && !test_mode) {
        // A reader that fell more than the ring behind resumes at its oldest block.
        if (ring.write_count() - weak_blocks_ > kRingBlocks)
            weak_blocks_ = ring.write_count() - kRingBlocks;
        while (weak_blocks_ != ring.write_count())
            feed_weak(ring.block(weak_blocks_++), modem, listener, out);
    }
    if (!capture.data_arrived() || !ring.symbol_ready()) return false;

    std::span<const int16_t> source;
    if (test_mode) {
        const auto sequence = test_sequence();
        if (test_position >= sequence.size()) test_position = 0;
        const uint32_t symbol = sequence[test_position];
        test_position = (test_position + 1) % static_cast<uint32_t>(sequence.size());
        source = std::span<const int16_t>(modem.test_bank.row(symbol - 1).data(), modem.profile.N);
    } else {
        source = ring.symbol();
    }

    // In test mode the weak-signal receiver hears the test bank too.
    if (weak && test_mode) feed_weak(source, modem, listener, out);

    const StepDecisions decided = demodulate(demodulator, source, modem.profile, modem.tuning,
                                             auto_sync, out.displays, waterfall_sensitivity);
    for (const ToneDecision& d : decided.decided()) {
        last_decision_ = d;
        if (!weak) decode_and_track(decoder, d, modem, listener, out.primary, out.secondary);
    }
    ring.advance_read();
    ++steps_;
    return true;
}

} // namespace quavel
