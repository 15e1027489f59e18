// The station: one object that owns everything the program keeps for its whole run (the speed
// profile and tuning, the symbol banks, the receiver with its capture ring and displays, the
// transmitter with its queue and scheduler, the station settings) and offers the operations the
// console's handlers and the headless tools delegate to. Qt-free; devices come in through the
// platform interfaces, panes through TextSink/TextSource, the displays through Canvas.
//
// Everything here runs on one thread (the window's), except the calls into the keying device,
// which run on a keying thread of the station's own (tx/keyer.h) so that a rig that is slow to
// answer never holds up the sound or the window. Device callbacks only record a buffer number;
// the timer ticks pick the results up.
//
// Safe state first, then tell: a message for the operator (the station's own, and the window's
// through messages()) is shown only once the operation that raised it has finished and nothing
// is on the air, so no modal box ever waits inside a keying, capture or playback sequence, nor
// while the transmitter is keyed.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "interfaces/audio_device.h"
#include "interfaces/canvas.h"
#include "interfaces/message_sink.h"
#include "interfaces/ptt.h"
#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "rx/capture_ring.h"
#include "rx/input_level.h"
#include "rx/receiver_choice.h"
#include "station/station_config.h" // StationSettings
#include "tx/keyer.h"
#include "tx/transmit_session.h"

namespace quavel {

// The four text panes the station writes to and takes from.
struct StationPanes {
    TextSink& primary;    // the primary alphabet's receive pane
    TextSink& secondary;  // the secondary alphabet's receive pane
    TextSource& transmit; // the type-ahead text, taken one character per symbol
    TextSink& sent;       // what has been taken for sending
};

// What the window shows in response to the station's own changes.
class StationEvents {
public:
    virtual ~StationEvents() = default;
    // "CW I/D" and "Tune Up" become enabled or disabled (tune carrier or identification started
    // or ended, transmission started or ended).
    virtual void transmit_buttons_changed(bool /*cw_id_enabled*/, bool /*tune_enabled*/) {}
    // The keyboard focus goes back to the transmit pane.
    virtual void focus_transmit_pane() {}
    // A speed change switched AFC, auto-sync and printing back on: captions follow.
    virtual void switches_changed() {}
    // The station ended a transmission by itself (the playback or the keying was lost, the key
    // refused, the watchdog ran out, or the identification asked for by identify_then_stop()
    // has been played), through the same steps as "Tx OFF": the window goes back to its
    // receiving state but keeps the untaken text, which the operator did not discard. The
    // operator's message, if any, comes after this, once the transmitter is released.
    virtual void transmission_ended() {}
};

class Station {
public:
    Station(StationPanes panes, Canvas& waterfall, Canvas& scope, Canvas& spectrum,
            MessageSink& messages, StationEvents& events);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Devices. Null means none: capture never delivers, playback never completes, no keying.
    // The station does not own them; they must outlive it.
    void set_audio_input(AudioInput* input);
    void set_audio_output(AudioOutput* output);
    // The keying device, and what to open on it: `device` empty means the port named in the
    // settings (the setup panel's "COM1".."NONE"). A port open on the previous device is
    // released and closed first; open_ptt_port() opens the new one.
    void set_ptt(Ptt* ptt, std::string device = {});
    // How long a transmission may run before it ends by itself; zero: no limit.
    void set_watchdog(std::chrono::milliseconds limit);
    // The transmit level, 0 (default: the samples go out untouched) down to -30 dB, applied
    // where the samples go to the output device.
    void set_transmit_level_db(int db);
    int transmit_level_db() const;

    // Settings as read from the configuration file (or set by the setup panel).
    StationSettings& settings();
    const StationSettings& settings() const;

    // The first activation: speed item 0..2 and track-bar position 1..5, tune to 1000 Hz, build
    // the banks, open capture (its failure shows "Cannot Open Audio Input Device"), then open
    // the configured keying port (its failure shows "Cannot open COM Port" and why).
    void activate(Speed speed, int sensitivity_position);
    // A new speed while receiving: the whole speed-profile initialisation, capture stopped and
    // restarted around it. AFC, auto-sync and printing come back on.
    void change_speed(Speed speed);

    // The audio input's device changed: capture closes and opens again at once while
    // receiving (its failure shows "Cannot Open Audio Input Device"); while transmitting, or
    // before the first activation, the next open takes the new device anyway.
    void reopen_capture();

    // The capture tick: move one completed capture buffer into the ring. True if one moved.
    bool capture_tick();
    // The receive tick: at most one receive step. Returns true if a step ran (the displays
    // changed).
    bool receive_tick();
    // The transmit tick: refill the playback buffer the device has returned, if any. First, a
    // transmission whose playback or keying port was lost, or which has run for the watchdog's
    // time, ends as "Tx OFF" ends it, and the operator is told why
    // (StationEvents::transmission_ended).
    bool transmit_tick();
    // Headless drivers: let on-demand devices (files read or written as fast as asked) work.
    // Returns false once the audio input is exhausted.
    bool pump_devices();

    // Operator switches.
    void set_test_mode(bool on); // switching on restarts the test sequence
    void set_afc(bool on);       // switching on clears the AFC votes
    void set_print(bool on);
    void set_autosync(bool on);
    bool test_mode() const;
    bool afc() const;
    bool print() const;
    bool autosync() const;
    // Which receiver prints into the receive panes (the displays always show the classic one),
    // and the weak-signal receiver's squelch.
    void set_receiver(ReceiverChoice choice);
    ReceiverChoice receiver() const;
    void set_squelch(bool on);
    bool squelch() const;
    // The noise blanker in front of the classic receiver and the displays (off by default; the
    // weak-signal receiver has one of its own, always on).
    void set_noise_blanker(bool on);
    bool noise_blanker() const;
    // Where the weak-signal receiver copies (tone 5's frequency in Hz), while it is chosen and
    // holds a signal.
    std::optional<double> weak_lock_hz() const;
    // The SNR (dB in 2500 Hz) of the signal the weak-signal receiver copies, while it is chosen
    // and has copied enough of one to tell.
    std::optional<double> weak_snr_db() const;
    // Track-bar position 1..5 (sensitivity 0.5, 1, 10, 20, 40); others leave it unchanged.
    void set_sensitivity_position(int position);
    float sensitivity() const;

    // Tuning. The frequency is clamped to the centre-frequency range; returns what was set.
    CentreHz set_centre_frequency(long long hz);
    // To a station anywhere up to kAirCentreMaxHz: beyond kCentreMaxHz the transmitter (its
    // symbols, identification and tune carrier) and the weak-signal receiver go there, while the
    // classic receiver and the displays stay at kCentreMaxHz. Returns where the station now is.
    CentreHz set_air_centre_frequency(long long hz);
    // Where the station sends, and the weak-signal receiver copies.
    CentreHz centre_hz() const;
    // Where the classic receiver and the displays are: centre_hz(), or kCentreMaxHz while the
    // station is beyond it.
    CentreHz classic_centre_hz() const;
    // A release on the sync scope: the left button at X 0..63 sets the sync position.
    void scope_release(bool left_button, int x);
    uint32_t sync_position() const;

    // Transmit/receive switching. Start: close capture, open and prime playback, and only when
    // the playback runs, key the transmitter. Stop: close playback, clear nothing the operator
    // typed except what the window clears, reopen capture, release the transmitter. A key or
    // release that fails is reported; a failed release also closes the port, whose driver then
    // drops the lines.
    // False, with a message, when the transmission may not start: a rig that must answer
    // (set_keying_required) does not; the station goes on receiving.
    bool start_transmission();
    void stop_transmission();
    bool transmitting() const;
    // Inside StationEvents::transmission_ended: why the station ended the transmission, or
    // nothing when it ended as asked (after the identification of identify_then_stop()).
    std::optional<TransmitEnd> ending_by_itself() const;
    // True once, in this transmission, text or an identification has been sent and since then
    // nothing but the idle symbol: the last symbol with text and then `tail_symbols` idle
    // symbols have been played whole. Back to receive ends the transmission here.
    bool sent_and_idle(uint32_t tail_symbols) const;
    // "Tune Up": the carrier for 6 x speed buffers.
    void tune_up();
    // "CW I/D": false (and the "No Callsign !" box) when the callsign is "NOCALL".
    bool cw_id();

    // Identification on time (off by default): while on, a transmission the operator ends
    // when more than ten minutes have passed since the callsign last went out (in text, as a
    // whole word, or as the Morse identification) ends with the Morse identification.
    void set_identify_on_time(bool on);
    bool identify_on_time() const;
    // How long since the callsign last went on the air; nothing when it has not in this run.
    std::optional<std::chrono::seconds> since_identified() const;
    // "Tx OFF" with identification on time: when it is on and the station is due, the text not
    // yet sent is dropped, the Morse identification goes out (or one under way finishes), and
    // the transmission ends by itself once it has been played, before the transmitter is
    // released (StationEvents::transmission_ended). True then: the caller leaves the window
    // transmitting. False when nothing is to be sent (not due, off, no callsign, no playback,
    // or already ending so): the caller stops the transmission at once, as "Tx OFF" always has.
    bool identify_then_stop();
    // For tests: the clock the identification timer reads (steady_clock::now by default).
    void set_identify_clock(std::function<std::chrono::steady_clock::time_point()> clock);

    // PTT port: releases and closes any open port, then opens the configured one (see
    // set_ptt); "NONE" opens nothing. A failure shows "Cannot open COM Port" with the device and
    // the reason. Run at start-up and by the setup panel's OK.
    void open_ptt_port();
    // Releases and closes the keying port.
    void close_ptt_port();
    // A keying port is open and will key the next transmission.
    bool ptt_port_open() const;
    // The transmitter is keyed now: the keying device accepted the key.
    bool keyed() const;
    // What the keying thread last found of the device.
    KeyingStatus keying_status() const;
    // True for a rig keyed by CAT: its failures name the rig, and a transmission starts only
    // while it answers.
    void set_keying_required(bool required);
    // Runs `task` on the keying thread, in order with the keying (configuring an adapter the
    // thread may be using).
    void run_on_keying_thread(std::function<void()> task);
    // Runs `task` on the keying thread once the keying has nothing left to do (Keyer::
    // run_when_settled): for questions to the rig that must never hold up a key or release.
    // `task` is told whether the transmitter is keyed or about to be; it should then skip.
    void run_when_keying_settled(std::function<void(bool keying)> task);
    // For tests and headless drivers: waits up to `timeout` for the keying thread to finish
    // what was asked, then acts on what it reported. False when the time ran out.
    bool settle_keying(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Where the window's own messages go, so that they too wait while a sequence is under way
    // or the transmitter is on the air.
    MessageSink& messages();

    // The capture ring as the capture tick fills it, for a reader beside the receivers that
    // takes every block as it comes (write_count() and block()); the window's thread only.
    const CaptureRing& capture_ring() const;

    // The level of the last captured block (reads as silence while nothing is captured).
    const InputLevel& input_level() const;
    // The last receive step heard the idle symbol: the other station has nothing to send.
    bool heard_idle() const;

    const Modem& modem() const;
    const SpeedProfile& profile() const;

    // Counters for diagnostics and tests.
    uint64_t receive_steps() const;
    uint64_t dropped_capture_blocks() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quavel
