// A transmitter wired to a modem, two string panes and a recording output, with a hand-driven
// device: step() reports the buffer the scheduler waits for as played and runs one Timer2 tick.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "interfaces/audio_device.h"
#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "tx/scheduler.h"

namespace quavel::test {

struct QueuedBuffer {
    int index;
    std::vector<int16_t> samples;
};

class RecordingOutput : public AudioOutput {
public:
    bool open(Done done) override {
        if (fail_open) return false;
        done_ = std::move(done);
        open_ = true;
        return true;
    }
    void queue(int index, std::span<const int16_t> samples) override {
        queued.push_back({index, std::vector<int16_t>(samples.begin(), samples.end())});
    }
    void close() override { open_ = false; }
    // What the device's thread would do when a buffer has played.
    void complete(int index) {
        if (done_) done_(index);
    }
    bool is_open() const { return open_; }

    bool fail_open = false;
    std::vector<QueuedBuffer> queued;

private:
    Done done_;
    bool open_ = false;
};

struct CountingListener : TransmitListener {
    void tune_ended() override { ++tunes_ended; }
    void identification_ended() override { ++identifications_ended; }
    int tunes_ended = 0;
    int identifications_ended = 0;
};

struct IdBuilder : ProfileListener {
    IdBuilder(Transmitter& t, const Modem& m) : tx(t), modem(m) {}
    void retuned(const Tuning&) override { tx.build_identification(modem, callsign); }
    Transmitter& tx;
    const Modem& modem;
    std::string callsign;
};

struct Rig {
    explicit Rig(int speed_item = 1, std::string callsign = "") : builder(tx, modem) {
        builder.callsign = std::move(callsign);
        modem.initialise_profile(kSpeeds[speed_item], builder);
    }
    bool start(bool silent_first = false) {
        return tx.start_transmission(output, modem, silent_first);
    }
    // One playback buffer returned by the device and picked up by the timer.
    bool step() {
        output.complete(tx.next_buffer());
        return tx.refill_tick(modem, memo4, memo5, events);
    }
    void retune(long long hz) { modem.set_centre_frequency(hz, builder); }
    uint32_t n() const { return modem.profile.N; }
    std::vector<int16_t> row(uint32_t symbol) {
        std::vector<int16_t> r(n());
        synthesise_symbol(r, symbol, static_cast<float>(modem.tuning.centre_hz), modem.profile);
        return r;
    }
    const std::vector<int16_t>& last() const { return output.queued.back().samples; }

    RecordingOutput output; // outlives the transmitter, which closes it when destroyed
    Modem modem;
    Transmitter tx;
    IdBuilder builder;
    StringPane memo4;
    StringPane memo5;
    CountingListener events;
};

} // namespace quavel::test
