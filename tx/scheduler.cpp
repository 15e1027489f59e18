#include "tx/scheduler.h"

#include <algorithm>

#include "tx/type_ahead.h"

namespace quavel {

Transmitter::~Transmitter() {
    stop_transmission();
}

std::span<int16_t> Transmitter::playback_buffer(int index, uint32_t n) {
    return std::span<int16_t>(playback_.data() + static_cast<size_t>(index) * n, n);
}

bool Transmitter::start_transmission(AudioOutput& output, const Modem& modem,
                                     bool silent_first_buffer) {
    stop_transmission();
    transmitting_.store(true, std::memory_order_release);
    queue_.clear();
    next_buffer_ = 0;
    for (auto& d : done_)
        d.store(false);
    if (!output.open([this](int index) { buffer_done(index); })) return false;
    output_ = &output;

    const uint32_t n = modem.profile.N;
    const auto idle = modem.transmit_bank.row(kIdleSymbol - 1).first(n);
    for (int i = 0; i < kPlaybackBuffers; ++i) {
        const auto buffer = playback_buffer(i, n);
        if (i == 0 && silent_first_buffer) {
            std::fill(buffer.begin(), buffer.end(), int16_t{0});
        } else {
            std::copy(idle.begin(), idle.end(), buffer.begin());
        }
        output_->queue(i, buffer);
    }
    return true;
}

void Transmitter::stop_transmission() {
    transmitting_.store(false, std::memory_order_release);
    if (output_ != nullptr) {
        output_->close();
        output_ = nullptr;
    }
}

void Transmitter::buffer_done(int index) {
    if (index < 0 || index >= kPlaybackBuffers) return;
    if (!transmitting_.load(std::memory_order_acquire)) return;
    done_[static_cast<size_t>(index)].store(true, std::memory_order_release);
}

bool Transmitter::refill_tick(Modem& modem, TextSource& transmit_pane, TextSink& sent_pane,
                              TransmitListener& listener) {
    if (output_ == nullptr) return false;
    if (!done_[static_cast<size_t>(next_buffer_)].load(std::memory_order_acquire)) return false;
    refill(modem, transmit_pane, sent_pane, listener);
    return true;
}

void Transmitter::refill(Modem& modem, TextSource& transmit_pane, TextSink& sent_pane,
                         TransmitListener& listener) {
    const int i = next_buffer_;
    const uint32_t n = modem.profile.N;
    const uint32_t speed = modem.profile.speed;
    const auto buffer = playback_buffer(i, n);

    bool tune_ended = false;
    bool identification_ended = false;
    if (tune_.active) {
        tune_ended = tune_.fill(buffer, modem.tuning.tune_phase_step, speed);
    } else if (identification_.active) {
        identification_ended = identification_.fill(buffer, identification_audio_, speed);
    } else {
        const uint32_t s = queue_.head();
        // The queue only ever holds symbol numbers 1..45; the idle row is always current.
        const bool data = s > kIdleSymbol && s <= static_cast<uint32_t>(kSymbolCount);
        const auto row = modem.transmit_row(data ? s : kIdleSymbol);
        std::copy_n(row.begin(), n, buffer.begin());
        if (s != 0) queue_.pop();
    }

    // Cleared before the buffer is queued again, so even a completion that came at once would
    // be seen.
    done_[static_cast<size_t>(i)].store(false, std::memory_order_release);
    output_->queue(i, buffer);

    if (queue_.count() <= kPullThreshold) type_ahead_pull(transmit_pane, sent_pane, queue_);
    next_buffer_ = 1 - i;

    if (tune_ended) listener.tune_ended();
    if (identification_ended) listener.identification_ended();
}

IdentificationStart Transmitter::cw_id(std::string_view callsign) {
    if (callsign == kRefusedCallsign) return IdentificationStart::NoCallsign;
    identification_.start(identification_audio_);
    return IdentificationStart::Started;
}

void Transmitter::build_identification(const Modem& modem, std::string_view callsign) {
    identification_audio_.build(modem.tuning.air_hz, callsign, modem.profile.keying_ramp);
}

void Transmitter::profile_changed() {
    tune_.active = false;
    next_buffer_ = 0;
    for (auto& d : done_)
        d.store(false);
}

} // namespace quavel
