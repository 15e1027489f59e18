#include "rx/receiver.h"

#include "modem/code_table.h"

namespace quavel {

void Receiver::profile_rebuilt(const SpeedProfile& profile) {
    capture.clear_pending();
    capture.reset_ring(profile.symbol_step);
    demodulator.forget_slice();
    decoder.afc = true; // the vote count carries on
    decoder.print = true;
    auto_sync = true;
}

void Receiver::resume_receiving() {
    demodulator.clear_scope_average();
    demodulator.forget_slice();
    capture.clear_pending();
}

void Receiver::set_test_mode(bool on) {
    if (on && !test_mode) test_position = 0;
    test_mode = on;
}

bool Receiver::receive_step(Modem& modem, ProfileListener& listener, const ReceiveOutputs& out) {
    CaptureRing& ring = capture.ring();
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

    const StepDecisions decided = demodulate(demodulator, source, modem.profile, modem.tuning,
                                             auto_sync, out.displays, waterfall_sensitivity);
    for (const ToneDecision& d : decided.decided()) {
        last_decision_ = d;
        decode_and_track(decoder, d, modem, listener, out.primary, out.secondary);
    }
    ring.advance_read();
    ++steps_;
    return true;
}

} // namespace quavel
