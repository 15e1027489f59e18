// The receiver: capture (buffers, hand-over, ring), the demodulator, the character decoder and
// the operator's receive switches in one object, so that the station can own it by value and a
// test can run two side by side. The modem (profile, tuning, test bank), the panes and the
// displays are passed in by the caller on each step: the receiver owns none of them.
//
// Two receivers share the captured audio. The classic one (demodulator and decoder) always runs,
// since the displays show its work; the weak-signal receiver runs only while it is the one chosen
// to print, and then the classic decoder prints nothing and casts no AFC vote.
//
// A step never retunes anything itself: it returns the centre frequency AFC wants, and its owner
// tunes the modem to it once the step is over (the modem then tells everyone, this receiver
// included, as for any other retune). What the rest of the step works on is already the new
// tuning, as the step saw it when it decided.
//
// Everything runs on the window's thread except the audio input's completion callback, which
// only touches the capture hand-over.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

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

// What one call of Receiver::receive_step decided, besides the text it printed.
struct ReceiveStep {
    bool ran = false; // a symbol step ran (the weak-signal receiver may have worked without one)
    // Where AFC moved the centre frequency (within the centre-frequency range, or beyond it up
    // to kAirCentreMaxHz while tuned there): the owner tunes the modem there, through
    // Modem::apply_retune, before anything else.
    std::optional<CentreHz> retune;
};

class Receiver {
public:
    Receiver();
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    // Capture: the device hand-over and the ring the steps read.
    Capture& capture() { return capture_; }
    const Capture& capture() const { return capture_; }
    // What the demodulator and the decoder keep between steps, for the displays and tests.
    const DemodulatorState& demodulator() const { return demodulator_; }
    const DecoderState& decoder() const { return decoder_; }

    // The receive switches. Turning AFC on starts its vote afresh (DecoderState::set_afc); with
    // printing off only escaped characters reach the panes.
    void set_afc(bool on) { decoder_.set_afc(on); }
    bool afc() const { return decoder_.afc; }
    void set_print(bool on) { decoder_.print = on; }
    bool print() const { return decoder_.print; }
    void set_auto_sync(bool on) { auto_sync_ = on; }
    bool auto_sync() const { return auto_sync_; }
    // Forgets a pending escape: the next symbol is read as a character of its own.
    void clear_escape() { decoder_.escape_pending = false; }
    // How bright the waterfall draws: 0.5, 1, 10, 20 or 40.
    void set_waterfall_sensitivity(float sensitivity) { waterfall_sensitivity_ = sensitivity; }
    float waterfall_sensitivity() const { return waterfall_sensitivity_; }

    // The speed-profile initialisation, in its three moments (the station's ProfileListener
    // forwards them): capture stops; the ring and the pending list empty for the new symbol
    // step and AFC, auto-sync and printing come back on; capture starts again.
    void before_profile_change() { capture_.stop(); }
    void profile_rebuilt(const SpeedProfile& profile);
    void after_profile_change() { capture_.restart(); }
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
    // The weak receiver's estimate of the copied signal's SNR in 2500 Hz (WeakReceiver::snr_db).
    std::optional<double> weak_snr_db() const {
        return choice_ == ReceiverChoice::weak ? weak_->snr_db() : std::nullopt;
    }
    // Symbols the weak-signal receiver decided but had no room to hand over, since this receiver
    // was made: a copy with a gap in it.
    uint64_t weak_dropped() const { return weak_dropped_; }

    // Back to receiving after a transmission: the scope average and the pending list start
    // afresh; the ring's counts carry on. (Capture itself is reopened by the caller.)
    void resume_receiving();

    // In test mode the steps feed the test bank in the order of the test sequence. Switching it
    // on starts the sequence from its first entry.
    void set_test_mode(bool on);
    bool test_mode() const { return test_mode_; }
    // The next entry of the test sequence (a position beyond its end starts it again).
    uint32_t test_position() const { return test_position_; }
    void set_test_position(uint32_t position) { test_position_ = position; }

    // The capture tick: one completed capture buffer into the ring. True if one moved.
    bool capture_tick() { return capture_.tick(); }

    // One receive step, if capture has delivered and the ring holds a whole symbol (`ran`).
    // In test mode the symbol comes from `modem.test_bank` but the captured audio still paces
    // the steps. With the weak-signal receiver chosen, every block captured since the last call
    // goes to it first (whether or not a step is due), and what it decides is printed at once.
    // An AFC correction (from either receiver, with or without a step) is returned in `retune`:
    // the rest of the call already works at it, and the caller must tune `modem` there next,
    // through Modem::set_centre_frequency (whose listener's retuned() then finds this receiver
    // already there). Of `modem` only the profile's sync position changes here (auto-sync).
    ReceiveStep receive_step(Modem& modem, const ReceiveOutputs& out);

    uint64_t steps() const { return steps_; }
    const ToneDecision& last_decision() const { return last_decision_; }

private:
    void restart_weak();
    // The receiver's own part of a retune: the weak-signal receiver searches around it.
    void follow(const Tuning& tuning);
    // AFC moved the centre within a step: the rest of it works at `to`, and it is returned.
    void retune_in_step(const Modem& modem, Tuning& tuning, CentreHz to, ReceiveStep& step);
    // The weak-signal receiver's AFC: where it wants the centre, if anywhere.
    std::optional<CentreHz> feed_weak(std::span<const int16_t> samples, CentreHz centre_hz,
                                      const ReceiveOutputs& out);

    Capture capture_;
    DemodulatorState demodulator_;
    DecoderState decoder_;
    bool test_mode_ = false;
    uint32_t test_position_ = 0;
    bool auto_sync_ = true;
    float waterfall_sensitivity_ = 1.0f;

    uint64_t steps_ = 0;
    ToneDecision last_decision_;

    ReceiverChoice choice_ = ReceiverChoice::classic;
    bool squelch_ = true;
    std::unique_ptr<WeakReceiver> weak_; // large: on the heap, made once
    DecoderState weak_text_;             // its escape state; the print switch is the decoder's
    uint32_t weak_blocks_ = 0;           // ring blocks it has taken (counted like the write count)
    uint64_t weak_dropped_ = 0;
    uint32_t speed_ = 2;
    CentreHz centre_hz_ = kDefaultCentreHz;
    bool weak_reset_pending_ = true; // a new profile: start afresh at the next tuning
    // The centre the last step returned, already followed: the owner's retune to it is not
    // followed a second time.
    std::optional<CentreHz> followed_in_step_;
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
