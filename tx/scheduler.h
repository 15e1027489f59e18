// The transmitter: double-buffered playback and the scheduler that keeps it fed, with the
// transmit queue, the tune carrier and the Morse identification it draws from.
//
// Two playback buffers of one symbol (N samples) each are queued to the device in turn. Each
// time the device reports the buffer the scheduler is waiting for, it is refilled with, in order
// of priority, the tune carrier, the identification, the symbol at the head of the transmit
// queue (synthesised just then at the current centre frequency) or the idle symbol, and queued
// again; then, while the queue holds 4 entries or fewer, one more character is pulled from the
// transmit pane.
//
// Threads: buffer_done() is the only entry for the device's thread and only sets a flag.
// Everything else runs on the window's thread (the refill tick and the operator's switches).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "interfaces/audio_device.h"
#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "tx/morse_id.h"
#include "tx/tune.h"
#include "tx/tx_queue.h"

namespace quavel {

// The callsign the setup panel stores when none was entered: "CW I/D" refuses to key it.
inline constexpr std::string_view kRefusedCallsign = "NOCALL";
inline constexpr std::string_view kNoCallsignText =
    "No Callsign !\nRun Set Up if you want to Transmit";
inline constexpr std::string_view kNoCallsignTitle = "Vexmar Driftel Program";
inline constexpr std::string_view kCannotOpenOutputText = "Cannot Open Audio Output Device";
inline constexpr std::string_view kCannotOpenOutputTitle = "Vexmar Quavel2000 Program";

// The PTT delay word of the station settings: only the exact text "ON" makes the first playback
// buffer of a transmission silent, giving the transmitter time to switch over.
constexpr bool ptt_delay_on(std::string_view delay_word) {
    return delay_word == "ON";
}

// What the window must see of the transmitter's own changes.
class TransmitListener {
public:
    virtual ~TransmitListener() = default;
    // The tune carrier has run out: "CW I/D" and "Tune Up" become usable again.
    virtual void tune_ended() {}
    // The identification has run out: "CW I/D" and "Tune Up" become usable again and the
    // keyboard focus goes back to the transmit pane.
    virtual void identification_ended() {}
};

enum class IdentificationStart {
    Started,
    NoCallsign, // the callsign is "NOCALL": nothing started; the window shows kNoCallsignText
};

class Transmitter {
public:
    static constexpr int kPlaybackBuffers = 2;

    Transmitter() = default;
    // Stops a transmission still running, so the output (which must outlive the transmitter,
    // or be stopped first) never reports to a transmitter that is gone.
    ~Transmitter();
    Transmitter(const Transmitter&) = delete;
    Transmitter& operator=(const Transmitter&) = delete;

    // The audio side of switching to transmit: sets the transmitting flag, empties the transmit
    // queue, opens `output` and primes both buffers (buffer 0 silent when
    // `silent_first_buffer`, otherwise the idle symbol; buffer 1 the idle symbol). False when the
    // output cannot be opened: the window then shows kCannotOpenOutputText; the transmitter
    // still counts as transmitting, but nothing is ever sent. `output` is not owned and must
    // stay alive until stop_transmission().
    bool start_transmission(AudioOutput& output, const Modem& modem, bool silent_first_buffer);
    // Clears the transmitting flag first, so the completions the device reports while it is
    // cut off change nothing, then closes the output (whatever is queued is dropped). The
    // queue, the tune carrier and a running identification are kept as they are: an
    // identification cut off here continues at the next transmission.
    void stop_transmission();
    bool transmitting() const { return transmitting_.load(std::memory_order_acquire); }
    bool playback_open() const { return output_ != nullptr; }

    // The device has played buffer `index` (0 or 1). Any thread; ignored while not transmitting
    // and for any other index.
    void buffer_done(int index);

    // The refill tick (every 10 ms in the console): when the buffer the scheduler waits for
    // (next_buffer()) is done, refills and queues it, then pulls one character from
    // `transmit_pane` into the queue and `sent_pane` while the queue holds 4 entries or fewer.
    // Returns true if it refilled.
    bool refill_tick(Modem& modem, TextSource& transmit_pane, TextSink& sent_pane,
                     TransmitListener& listener);

    // "Tune Up": the carrier from phase 0 for 6 x speed buffers, ahead of everything else.
    void tune_up() { tune_.start(); }
    // "CW I/D": the identification as last built, ahead of the queue (behind a tune carrier).
    IdentificationStart cw_id(std::string_view callsign);

    // Rebuilds the identification audio at the modem's centre frequency; the station calls it
    // every time the centre frequency is set. A running identification carries on from the
    // same position with the same number of buffers.
    void build_identification(const Modem& modem, std::string_view callsign);
    // A new speed profile: the tune carrier stops, the scheduler waits for buffer 0 and both
    // done flags are cleared. A running identification is kept.
    void profile_changed();

    TxQueue& queue() { return queue_; }
    const TxQueue& queue() const { return queue_; }
    const TuneCarrier& tune() const { return tune_; }
    const IdentificationPlayback& identification() const { return identification_; }
    const IdentificationAudio& identification_audio() const { return identification_audio_; }
    // A tune carrier or an identification is being sent instead of data.
    bool sending_special() const { return tune_.active || identification_.active; }
    int next_buffer() const { return next_buffer_; }
    bool done_flag(int index) const { return done_[static_cast<size_t>(index & 1)].load(); }

private:
    std::span<int16_t> playback_buffer(int index, uint32_t n);
    void refill(Modem& modem, TextSource& transmit_pane, TextSink& sent_pane,
                TransmitListener& listener);

    AudioOutput* output_ = nullptr;
    std::atomic<bool> transmitting_{false};
    std::array<std::atomic<bool>, kPlaybackBuffers> done_{};
    int next_buffer_ = 0;
    // Both playback buffers, sized for the longest symbol; buffer i is the i-th half of 2N.
    std::array<int16_t, kPlaybackBuffers * kMaxSymbolSamples> playback_{};

    TxQueue queue_;
    TuneCarrier tune_;
    IdentificationAudio identification_audio_;
    IdentificationPlayback identification_;
};

} // namespace quavel
