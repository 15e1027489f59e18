// Any text, speed, centre frequency, tune and identification through the transmit scheduler,
// refilled as a sound card would ask: it never crashes, and it always runs dry in a bounded
// number of refills.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <span>
#include <string>

#include "interfaces/audio_device.h"
#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "tx/scheduler.h"

namespace {

// A sound card that plays each queued buffer at the next pump, at once.
class InstantOutput : public quavel::AudioOutput {
public:
    bool open(Done done) override {
        done_ = std::move(done);
        return true;
    }
    void queue(int index, std::span<const int16_t> samples) override {
        if (samples.empty() || samples.size() > 8192) std::abort();
        queued_.push_back(index);
    }
    void close() override {
        queued_.clear();
        done_ = nullptr;
    }
    void pump() override {
        if (queued_.empty() || !done_) return;
        const int index = queued_.front();
        queued_.pop_front();
        done_(index);
    }

private:
    Done done_;
    std::deque<int> queued_;
};

class Retune : public quavel::ProfileListener {
public:
    Retune(quavel::Transmitter& tx, const quavel::Modem& modem, std::string callsign)
        : tx_(tx), modem_(modem), callsign_(std::move(callsign)) {}
    void retuned(const quavel::Tuning&) override { tx_.build_identification(modem_, callsign_); }

private:
    quavel::Transmitter& tx_;
    const quavel::Modem& modem_;
    std::string callsign_;
};

class NoEvents : public quavel::TransmitListener {};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Speed, centre, flags, callsign length, then the callsign and the text.
    constexpr size_t kHeadBytes = 4;
    constexpr size_t kMaxText = 64;
    if (size < kHeadBytes) return 0;
    const size_t callsign_length = std::min<size_t>(data[3] % 16, size - kHeadBytes);
    const std::string callsign(reinterpret_cast<const char*>(data + kHeadBytes), callsign_length);
    const size_t text_at = kHeadBytes + callsign_length;
    const std::string text(reinterpret_cast<const char*>(data + text_at),
                           std::min(size - text_at, kMaxText));

    quavel::Modem modem;
    quavel::Transmitter tx;
    Retune retune(tx, modem, callsign);
    modem.initialise_profile(quavel::kSpeeds[data[0] % 3], retune);
    modem.set_centre_frequency(static_cast<uint32_t>(data[1]) * 8u, retune);
    quavel::StringPane transmit_pane;
    quavel::StringPane sent_pane;
    NoEvents events;
    transmit_pane.set_text(text);
    InstantOutput output;
    if (!tx.start_transmission(output, modem, (data[2] & 1) != 0)) return 0;
    if ((data[2] & 2) != 0) tx.tune_up();
    if ((data[2] & 4) != 0) tx.cw_id(callsign);
    // Every character, the tune carrier and the identification are each done in a bounded
    // number of refills.
    const int bound = 2 * static_cast<int>(text.size()) + 400;
    int refills = 0;
    while (!transmit_pane.text().empty() || !tx.queue().is_empty() || tx.sending_special()) {
        output.pump();
        if (!tx.refill_tick(modem, transmit_pane, sent_pane, events)) std::abort();
        if (++refills > bound) std::abort();
    }
    tx.stop_transmission();
    return 0;
}
