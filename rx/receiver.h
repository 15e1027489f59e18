// The receiver: capture (buffers, hand-over, ring), the demodulator, the character decoder and
// the operator's receive switches in one object, so that the station can own it by value and a
// test can run two side by side. The modem (profile, tuning, test bank), the panes and the
// displays are passed in by the caller on each step: the receiver owns none of them.
//
// Two receivers share the captured audio. The classic one (demodulator and decoder) always runs,
// since the displays show its work; the weak-signal receiver runs only while it is the one chosen
// to print, and then the classic decoder prints nothing and casts no AFC vote.
//
// Everything runs on the window's thread except the audio input's completion callback, which
// only touches the capture hand-over.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "rx/capture.h"
#include "rx/decoder.h"
#include "rx/demodulator.h"
#include "rx/displays.h"
#include "rx/receiver_choice.h"
#include "rx/weak_receiver.h"

namespace quavel {

class ReceiveDisplays;

// Where a receive step puts what it finds. `displays` may be null (nothing drawn).
struct ReceiveOutputs {
    TextSink& primary;   // the primary alphabet's pane
    TextSink& secondary; // the secondary alphabet's pane
    ReceiveDisplays* displays = nullptr;
};

class Receiver {
public:
    Receiver();
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    Capture capture;
    DemodulatorState demodulator;
    DecoderState decoder;

    bool test_mode = false;     // feed the test bank in the order of the test sequence
    uint32_t test_position = 0; // next entry of the test sequence
    bool auto_sync = true;
    float waterfall_sensitivity = 1.0f; // 0.5, 1, 10, 20 or 40

    // The speed-profile initialisation, in its three moments (the station's ProfileListener
    // forwards them): capture stops; the ring and the pending list empty for the new symbol
    // step and AFC, auto-sync and printing come back on; capture starts again.
    void before_profile_change() { capture.stop(); }
    void profile_rebuilt(const SpeedProfile& profile);
    void after_profile_change() { capture.restart(); }
    // The centre frequency was set (by the operator, AFC or the initialisation): the weak-signal
    // receiver searches around it (a move onto what it copies keeps its lock).
    void retuned(const Tuning& tuning);

    // Which receiver prints. Choosing the weak-signal receiver starts it afresh on the audio
    // from then on.
    void set_receiver(ReceiverChoice choice);
    ReceiverChoice receiver() const { return choice_; }
    // The weak-signal receiver's squelch (on by default): off, it prints whatever it decides.
    void set_squelch(bool on);
    bool squelch() const { return squelch_; }
    // Where the weak-signal receiver copies: whether it holds a signal, and tone 5's frequency.
    bool weak_locked() const { return choice_ == ReceiverChoice::weak && weak_->locked(); }
    double weak_frequency_hz() const { return weak_->frequency_hz(); }

    // Back to receiving after a transmission: the scope average and the pending list start
    // afresh; the ring's counts carry on. (Capture itself is reopened by the caller.)
    void resume_receiving();

    // Switching test mode on starts the test sequence from its first entry.
    void set_test_mode(bool on);

    // The capture tick: one completed capture buffer into the ring. True if one moved.
    bool capture_tick() { return capture.tick(); }

    // One receive step, if capture has delivered and the ring holds a whole symbol.
    // Returns whether a step ran. In test mode the symbol comes from `modem.test_bank` but the
    // captured audio still paces the steps. An AFC correction retunes `modem` via `listener`.
    // With the weak-signal receiver chosen, every block captured since the last call goes to it
    // first (whether or not a step is due), and what it decides is printed at once.
    bool receive_step(Modem& modem, ProfileListener& listener, const ReceiveOutputs& out);

    uint64_t steps() const { return steps_; }
    const ToneDecision& last_decision() const { return last_decision_; }

private:
    void restart_weak();
    void feed_weak(std::span<const int16_t> samples, Modem& modem, ProfileListener& listener,
                   const ReceiveOutputs& out);

    uint64_t steps_ = 0;
    ToneDecision last_decision_;

    ReceiverChoice choice_ = ReceiverChoice::classic;
    bool squelch_ = true;
    std::unique_ptr<WeakReceiver> weak_; // large: on the heap, made once
    DecoderState weak_text_;             // its escape state; the print switch is the decoder's
    uint32_t weak_blocks_ = 0;           // ring blocks it has taken (counted like the write count)
    uint32_t speed_ = 2;
    uint32_t centre_hz_ = kDefaultCentreHz;
    bool weak_reset_pending_ = true; // a new profile: start afresh at the next tuning
};

// For drivers with a receiver and nothing else (the headless receiver, the measurements): the
// speed-profile initialisation and AFC reach only the receiver and its displays.
class ReceiverListener : public ProfileListener {
public:
    ReceiverListener(Receiver& rx, ReceiveDisplays& displays) : rx_(rx), displays_(displays) {}
    void before_profile_change() override { rx_.before_profile_change(); }
    void profile_rebuilt(const SpeedProfile& p) override {
        rx_.profile_rebuilt(p);
        displays_.clear_scope_and_spectrum();
    }
    void retuned(const Tuning& t) override { rx_.retuned(t); }
    void after_profile_change() override { rx_.after_profile_change(); }

private:
    Receiver& rx_;
    ReceiveDisplays& displays_;
};

} // namespace quavel
