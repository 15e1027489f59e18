#include "station/station.h"

#include <array>
#include <chrono>

#include <optional>
#include <utility>

#include "platform/levelled_output.h"
#include "rx/capture.h"
#include "rx/displays.h"
#include "rx/receiver.h"
#include "tx/scheduler.h"

namespace quavel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCannotOpenPortText = "Cannot open COM Port";
constexpr const char* kCannotOpenPortTitle = "Vexmar Driftel Program";

// "10 minutes", "1 minute", "90 seconds".
std::string duration_text(std::chrono::milliseconds d) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    if (seconds % 60 == 0 && seconds > 0)
        return std::to_string(seconds / 60) + (seconds == 60 ? " minute" : " minutes");
    if (seconds > 0) return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
    return std::to_string(d.count()) + " ms";
}

// Waterfall sensitivity by track-bar position 1..5.
constexpr std::array<float, 5> kSensitivity = {0.5f, 1.0f, 10.0f, 20.0f, 40.0f};

} // namespace

struct Station::Impl final : ProfileListener, TransmitListener {
    Impl(StationPanes p, Canvas& waterfall, Canvas& scope, Canvas& spectrum, MessageSink& m,
         StationEvents& e)
        : panes(p), displays(waterfall, scope, spectrum), messages(m), events(e) {}

    StationPanes panes;
    ReceiveDisplays displays;
    MessageSink& messages;
    StationEvents& events;

    // Before the transmitter, which may still close it when it goes.
    LevelledOutput levelled;
    Modem modem;
    Receiver receiver;
    Transmitter transmitter;
    StationSettings settings;

    AudioInput* input = nullptr;
    AudioOutput* output = nullptr; // `levelled` in front of the device, or null
    InputLevel input_level;
    // This transmission so far: whether text or an identification went out, and how many
    // buffers in a row have been filled with the idle symbol since.
    bool sent_something = false;
    uint32_t idle_refills = 0;
    Ptt* ptt = nullptr;
    std::string ptt_device; // empty: the settings' port name
    // Set once capture has been opened at start-up (whether or not the device opened): from
    // then on a speed change stops and restarts capture around its work.
    bool capture_open = false;
    // A keying port is open on `ptt`: only then is the transmitter keyed.
    bool port_open = false;
    bool keyed = false;
    std::chrono::milliseconds watchdog = kDefaultWatchdog;
    Clock::time_point transmit_started{};
    int sensitivity_position = 2;

    void read_sensitivity() {
        if (sensitivity_position >= 1 && sensitivity_position <= 5) {
            receiver.waterfall_sensitivity = kSensitivity[sensitivity_position - 1];
        }
    }

    void open_capture() {
        if (input == nullptr || !receiver.capture.open(*input)) {
            messages.show(kCaptureOpenFailedText, kCaptureMessageTitle, MessageIcon::Warning);
        }
    }

    // Keys the transmitter when a port is open; a refusal is reported and leaves it released.
    void key() {
        if (!port_open || ptt == nullptr) return;
        if (ptt->key(true)) {
            keyed = true;
            return;
        }
        messages.show("Cannot key the transmitter\n" + ptt->error(), kCannotOpenPortTitle,
                      MessageIcon::Warning);
        // Whatever the driver did, make sure nothing stays half keyed.
        ptt->key(false);
    }

    // Releases the transmitter. A release the device refuses is the one failure that can leave
    // a transmitter on the air: the port is closed as well (its driver drops the lines on the
    // last close), and the operator is told loudly unless `quiet` (the station is going away).
    void release(bool quiet = false) {
        if (!port_open || ptt == nullptr) {
            keyed = false;
            return;
        }
        const bool was_keyed = keyed;
        keyed = false;
        if (ptt->key(false)) return;
        const std::string why = ptt->error();
        close_port();
        if (!quiet && was_keyed) {
            messages.show("THE TRANSMITTER MAY STILL BE KEYED\nIt could not be released: " + why +
                              "\nThe keying port has been closed. Check the transmitter now and "
                              "switch it to receive by hand if it is still transmitting.",
                          kCannotOpenPortTitle, MessageIcon::Stop);
        } else if (!quiet) {
            messages.show("The keying port failed and has been closed\n" + why,
                          kCannotOpenPortTitle, MessageIcon::Warning);
        }
    }

    void close_port() {
        if (ptt != nullptr && ptt->is_open()) ptt->close();
        port_open = false;
        keyed = false;
    }

    // ProfileListener: the speed-profile initialisation reaching the receiver, the transmitter
    // and the window.
    void before_profile_change() override {
        if (capture_open) receiver.before_profile_change();
    }
    void profile_rebuilt(const SpeedProfile& profile) override {
        receiver.profile_rebuilt(profile);
        displays.clear_scope_and_spectrum();
        read_sensitivity();
    }
    void retuned(const Tuning& tuning) override {
        transmitter.build_identification(modem, settings.callsign);
        receiver.retuned(tuning);
    }
    void after_profile_change() override {
        transmitter.profile_changed();
        events.transmit_buttons_changed(false, false);
        events.focus_transmit_pane();
        events.switches_changed();
        if (capture_open) receiver.after_profile_change();
    }

    // TransmitListener.
    void tune_ended() override { events.transmit_buttons_changed(true, true); }
    void identification_ended() override {
        events.transmit_buttons_changed(true, true);
        events.focus_transmit_pane();
    }
};

Station::Station(StationPanes panes, Canvas& waterfall, Canvas& scope, Canvas& spectrum,
                 MessageSink& messages, StationEvents& events)
    : impl_(std::make_unique<Impl>(panes, waterfall, scope, spectrum, messages, events)) {}

Station::~Station() {
    // Never leave the transmitter keyed or the devices running behind a station that is gone:
    // the sound is cut first, then the keying line released.
    impl_->transmitter.stop_transmission();
    impl_->release(true);
    impl_->receiver.capture.close();
}

void Station::set_audio_input(AudioInput* input) {
    impl_->input = input;
}
void Station::set_audio_output(AudioOutput* output) {
    impl_->levelled.set_device(output);
    impl_->output = output != nullptr ? &impl_->levelled : nullptr;
}
void Station::set_transmit_level_db(int db) {
    impl_->levelled.set_level_db(db);
}
int Station::transmit_level_db() const {
    return impl_->levelled.level_db();
}
void Station::set_ptt(Ptt* ptt, std::string device) {
    Impl& s = *impl_;
    if (ptt != s.ptt) {
        s.release();
        s.close_port();
    }
    s.ptt = ptt;
    s.ptt_device = std::move(device);
}

void Station::set_watchdog(std::chrono::milliseconds limit) {
    impl_->watchdog = limit.count() > 0 ? limit : std::chrono::milliseconds(0);
}

StationSettings& Station::settings() {
    return impl_->settings;
}
const StationSettings& Station::settings() const {
    return impl_->settings;
}

void Station::activate(Speed speed, int sensitivity_position) {
    Impl& s = *impl_;
    s.sensitivity_position = sensitivity_position;
    s.receiver.decoder.escape_pending = false;
    s.modem.first_activation = true;
    s.capture_open = false;
    s.modem.initialise_profile(speed, s);
    s.open_capture();
    s.capture_open = true;
    // The configured port is keyed from the first transmission on, not only once the setup
    // panel has been confirmed in this run.
    open_ptt_port();
}

void Station::reopen_capture() {
    Impl& s = *impl_;
    if (!s.capture_open || transmitting()) return;
    s.receiver.capture.close();
    s.open_capture();
}

void Station::change_speed(Speed speed) {
    if (transmitting()) return; // the selector is disabled while transmitting
    impl_->modem.initialise_profile(speed, *impl_);
}

bool Station::capture_tick() {
    Impl& s = *impl_;
    if (!s.receiver.capture_tick()) return false;
    s.input_level.measure(s.receiver.capture.ring().last_block());
    return true;
}

bool Station::receive_tick() {
    Impl& s = *impl_;
    const ReceiveOutputs out{s.panes.primary, s.panes.secondary, &s.displays};
    return s.receiver.receive_step(s.modem, s, out);
}

bool Station::transmit_tick() {
    Impl& s = *impl_;
    if (s.transmitter.playback_open()) {
        std::optional<std::pair<std::string, std::string>> why; // text, title
        if (s.output != nullptr && s.output->lost()) {
            why = {{"The audio output stopped during the transmission\nThe transmitter has been "
                    "released and the station is receiving again.",
                    std::string(kCannotOpenOutputTitle)}};
        } else if (s.port_open && s.ptt != nullptr && s.ptt->lost()) {
            why = {{"The keying port was lost during the transmission\n" + s.ptt->error() +
                        "\nThe transmission has ended. Check that the transmitter is not still "
                        "keyed.",
                    kCannotOpenPortTitle}};
            s.close_port();
        } else if (s.watchdog.count() > 0 && Clock::now() - s.transmit_started >= s.watchdog) {
            why = {{"The transmit watchdog ended the transmission after " +
                        duration_text(s.watchdog) +
                        "\nThe transmitter has been released and the station is receiving "
                        "again.",
                    std::string(kCannotOpenOutputTitle)}};
        }
        if (why) {
            stop_transmission();
            s.events.transmission_ended();
            s.messages.show(why->first, why->second, MessageIcon::Warning);
            return false;
        }
    }
    // What the refill (if any) puts in the buffer: the tune carrier or identification, the
    // queue's head, or else the idle symbol.
    const bool identification = s.transmitter.identification().active;
    const bool special = s.transmitter.sending_special();
    const bool data = !s.transmitter.queue().is_empty();
    if (!s.transmitter.refill_tick(s.modem, s.panes.transmit, s.panes.sent, s)) return false;
    if (special || data) {
        s.idle_refills = 0;
        if (identification || (data && !special)) s.sent_something = true;
    } else {
        ++s.idle_refills;
    }
    return true;
}

bool Station::pump_devices() {
    Impl& s = *impl_;
    if (s.output != nullptr && s.transmitter.playback_open()) s.output->pump();
    if (s.receiver.capture.is_open()) return s.receiver.capture.pump();
    return true;
}

void Station::set_test_mode(bool on) {
    impl_->receiver.set_test_mode(on);
}
void Station::set_afc(bool on) {
    impl_->receiver.decoder.set_afc(on);
}
void Station::set_print(bool on) {
    impl_->receiver.decoder.print = on;
}
void Station::set_autosync(bool on) {
    impl_->receiver.auto_sync = on;
}
bool Station::test_mode() const {
    return impl_->receiver.test_mode;
}
bool Station::afc() const {
    return impl_->receiver.decoder.afc;
}
bool Station::print() const {
    return impl_->receiver.decoder.print;
}
bool Station::autosync() const {
    return impl_->receiver.auto_sync;
}

void Station::set_receiver(ReceiverChoice choice) {
    impl_->receiver.set_receiver(choice);
}
ReceiverChoice Station::receiver() const {
    return impl_->receiver.receiver();
}
void Station::set_squelch(bool on) {
    impl_->receiver.set_squelch(on);
}
bool Station::squelch() const {
    return impl_->receiver.squelch();
}
std::optional<double> Station::weak_lock_hz() const {
    const Receiver& rx = impl_->receiver;
    if (!rx.weak_locked()) return std::nullopt;
    return rx.weak_frequency_hz();
}

void Station::set_sensitivity_position(int position) {
    if (position < 1 || position > 5) return;
    impl_->sensitivity_position = position;
    impl_->read_sensitivity();
}
float Station::sensitivity() const {
    return impl_->receiver.waterfall_sensitivity;
}

uint32_t Station::set_centre_frequency(long long hz) {
    return impl_->modem.set_centre_frequency(hz, *impl_);
}
uint32_t Station::centre_hz() const {
    return impl_->modem.tuning.centre_hz;
}

void Station::scope_release(bool left_button, int x) {
    SpeedProfile& p = impl_->modem.profile;
    p.sync_position = sync_from_scope_release(
        p.sync_position, left_button ? MouseButton::left : MouseButton::right, x, p.N);
}
uint32_t Station::sync_position() const {
    return impl_->modem.profile.sync_position;
}

void Station::start_transmission() {
    Impl& s = *impl_;
    if (transmitting()) return;
    s.events.focus_transmit_pane();
    s.events.transmit_buttons_changed(true, true);
    s.receiver.capture.close();
    s.input_level.reset();
    s.sent_something = false;
    s.idle_refills = 0;
    const bool silent_first = ptt_delay_on(s.settings.delay_word);
    s.transmit_started = Clock::now();
    if (s.output == nullptr ||
        !s.transmitter.start_transmission(*s.output, s.modem, silent_first)) {
        // Never keyed without sound: the window is in its transmitting state, but the
        // transmitter stays released.
        s.messages.show(std::string(kCannotOpenOutputText), std::string(kCannotOpenOutputTitle),
                        MessageIcon::Warning);
        return;
    }
    // Keyed only once the playback runs; the optional silent first buffer covers the switch.
    s.key();
}

void Station::stop_transmission() {
    Impl& s = *impl_;
    s.transmitter.stop_transmission();
    s.events.focus_transmit_pane();
    s.events.transmit_buttons_changed(false, false);
    s.receiver.resume_receiving();
    s.open_capture();
    // Released only after the sound has been cut and the receiver restarted.
    s.release();
}

bool Station::sent_and_idle(uint32_t tail_symbols) const {
    // With two buffers, the k-th idle refill comes as the (k-1)-th idle symbol starts playing:
    // the last symbol with text, and k-2 idle symbols after it, have been played whole.
    const Impl& s = *impl_;
    return transmitting() && s.sent_something && s.transmitter.queue().is_empty() &&
           !s.transmitter.sending_special() && s.idle_refills >= tail_symbols + 2;
}

bool Station::transmitting() const {
    return impl_->transmitter.transmitting() || impl_->transmitter.playback_open();
}

void Station::tune_up() {
    impl_->transmitter.tune_up();
    impl_->events.transmit_buttons_changed(false, false);
}

bool Station::cw_id() {
    Impl& s = *impl_;
    if (s.transmitter.cw_id(s.settings.callsign) == IdentificationStart::NoCallsign) {
        s.messages.show(std::string(kNoCallsignText), std::string(kNoCallsignTitle),
                        MessageIcon::Warning);
        return false;
    }
    s.events.transmit_buttons_changed(false, false);
    s.events.focus_transmit_pane();
    return true;
}

void Station::open_ptt_port() {
    Impl& s = *impl_;
    s.release();
    s.close_port();
    const std::string& target = s.ptt_device.empty() ? s.settings.port_name : s.ptt_device;
    if (s.ptt == nullptr || target.empty() || target == kNoPort) return;
    if (!s.ptt->open(target)) {
        const std::string why = s.ptt->error();
        s.messages.show(std::string(kCannotOpenPortText) + (why.empty() ? "" : "\n" + why),
                        kCannotOpenPortTitle, MessageIcon::Warning);
        return;
    }
    s.port_open = true;
    // A port opened in the middle of a transmission keys at once.
    if (s.transmitter.playback_open()) s.key();
}

void Station::close_ptt_port() {
    impl_->release();
    impl_->close_port();
}

bool Station::ptt_port_open() const {
    return impl_->port_open;
}

bool Station::keyed() const {
    return impl_->keyed;
}

const InputLevel& Station::input_level() const {
    return impl_->input_level;
}
bool Station::heard_idle() const {
    const ToneDecision& last = impl_->receiver.last_decision();
    return impl_->receiver.steps() > 0 && last.a == 4 && last.b == 4;
}

const Modem& Station::modem() const {
    return impl_->modem;
}
const SpeedProfile& Station::profile() const {
    return impl_->modem.profile;
}
uint64_t Station::receive_steps() const {
    return impl_->receiver.steps();
}
uint64_t Station::dropped_capture_blocks() const {
    return impl_->receiver.capture.ring().dropped_blocks();
}

} // namespace quavel
