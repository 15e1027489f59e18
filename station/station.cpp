#include "station/station.h"

#include <array>
#include <chrono>
#include <deque>
#include <optional>
#include <utility>

#include "rx/capture.h"
#include "rx/displays.h"
#include "rx/receiver.h"
#include "station/identify_timer.h"
#include "tx/keyer.h"
#include "tx/levelled_output.h"
#include "tx/scheduler.h"
#include "tx/transmit_session.h"

namespace quavel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCannotOpenPortText = "Cannot open COM Port";
constexpr const char* kCannotOpenPortTitle = "Vexmar Driftel Program";

constexpr const char* kCannotReachRigText = "Cannot reach the rig";
constexpr const char* kReleasedReceiving =
    "The transmitter has been released and the station is receiving again.";
constexpr const char* kReleasedNotReceiving =
    "The transmitter has been released. The audio input cannot be opened; receiving resumes by "
    "itself once it is back.";
// How often a lost capture device is tried again while receiving.
constexpr std::chrono::seconds kCaptureRetry{2};

// Messages for the operator wait here while the station is on the air (a modal box would keep
// the operator from "Tx OFF") or in the middle of a sequence (a box runs a nested event loop,
// in which the timers run on half-changed state). They are shown, oldest first, once the
// sequence has finished and the transmitter is released.
class HeldMessages final : public MessageSink {
public:
    explicit HeldMessages(MessageSink& out) : out_(out) {}
    void show(const std::string& text, const std::string& title, MessageIcon icon) override {
        pending_.push_back({text, title, icon});
    }
    // Shows what waits. A box shown here runs the event loop, whose timers may come back here:
    // they find `delivering_` and leave the rest to this loop.
    template <typename MayWait> void deliver(MayWait may_wait) {
        if (delivering_) return;
        delivering_ = true;
        while (!pending_.empty() && may_wait()) {
            const Message m = std::move(pending_.front());
            pending_.pop_front();
            out_.show(m.text, m.title, m.icon);
        }
        delivering_ = false;
    }
    void drop() { pending_.clear(); }

private:
    struct Message {
        std::string text;
        std::string title;
        MessageIcon icon;
    };
    MessageSink& out_;
    std::deque<Message> pending_;
    bool delivering_ = false;
};

// What went on the air, for identification on time: the characters taken for sending are held
// until the last of their symbols has gone into a playback buffer (the queue runs a few symbols
// behind the sent-text pane), then told to the timer; those a transmission ended before they
// went out, and those that send nothing, never are.
class OnAirText final : public TextSink {
public:
    explicit OnAirText(TextSink& sent) : sent_(sent) {}
    void insert(std::string_view text) override {
        sent_.insert(text);
        taken_.append(text);
    }
    // After a refill: `popped` the queue's head went into the buffer; `added` symbols were
    // queued for what was taken meanwhile. Calls `on_air` with what has now gone out.
    template <typename OnAir> void refilled(bool popped, uint32_t added, OnAir on_air) {
        if (popped && !waiting_.empty() && waiting_.front().symbols > 0) --waiting_.front().symbols;
        if (!taken_.empty()) {
            waiting_.push_back({std::move(taken_), added, added > 0});
            taken_.clear();
        }
        while (!waiting_.empty() && waiting_.front().symbols == 0) {
            if (waiting_.front().sends) on_air(waiting_.front().text);
            waiting_.pop_front();
        }
    }
    void clear() {
        waiting_.clear();
        taken_.clear();
    }

private:
    struct Waiting {
        std::string text;
        uint32_t symbols; // still to go into a buffer
        bool sends;
    };
    TextSink& sent_;
    std::string taken_;
    std::deque<Waiting> waiting_;
};

// The transmit pane as the refill sees it while a transmission closes with the identification:
// nothing more is taken.
struct NoText final : TextSource {
    std::optional<char> take_first() override { return std::nullopt; }
};

// After the identification's last buffer is filled, the refills until it has been played whole:
// the next buffer, and then the one after it, which is queued once the last has come back.
constexpr uint32_t kRefillsToPlayIdentification = 2;

// Waterfall sensitivity by track-bar position 1..5.
constexpr std::array<float, 5> kSensitivity = {0.5f, 1.0f, 10.0f, 20.0f, 40.0f};

} // namespace

struct Station::Impl final : ProfileListener, TransmitListener {
    Impl(StationPanes p, Canvas& waterfall, Canvas& scope, Canvas& spectrum, MessageSink& m,
         StationEvents& e)
        : panes(p), displays(waterfall, scope, spectrum), messages(m), events(e) {}

    StationPanes panes;
    ReceiveDisplays displays;
    HeldMessages messages;
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
    // While receiving, a capture device that could not be opened, or stopped on its own, is
    // tried again from this time on.
    std::optional<Clock::time_point> capture_retry;
    int sensitivity_position = 2;
    // The keying device on its own thread, and the rules of a transmission around it.
    Keyer keyer;
    TransmitSession session{keyer};
    // A rig keyed by CAT: its failures name the rig, and it must answer before a transmission.
    bool keying_required = false;
    // Identification on time: what went on the air, and when the callsign last did.
    OnAirText on_air_text{panes.sent};
    IdentifyTimer identify;
    bool identify_on_time = false;
    std::function<Clock::time_point()> identify_clock = [] { return Clock::now(); };
    // "Tx OFF" came while due to identify: the identification plays, then the transmission ends.
    bool closing_with_identification = false;
    // Why the last transmission that ended by itself did; empty after one the operator ended.
    std::optional<TransmitEnd> last_end;
    // Nesting of the public operations under way: messages wait until the outermost ends.
    int depth = 0;

    void read_sensitivity() {
        if (sensitivity_position >= 1 && sensitivity_position <= 5) {
            receiver.set_waterfall_sensitivity(kSensitivity[sensitivity_position - 1]);
        }
    }

    // Opens capture; a failure is reported (unless `quiet`, for the retries) and retried.
    void open_capture(bool quiet = false) {
        if (input != nullptr && receiver.capture().open(*input)) {
            capture_retry.reset();
            return;
        }
        if (input != nullptr) capture_retry = Clock::now() + kCaptureRetry;
        if (!quiet)
            messages.show(kCaptureOpenFailedText, kCaptureMessageTitle, MessageIcon::Warning);
    }

    // While receiving: a capture device that stopped on its own is closed and told of once; it
    // and one that could not be opened are tried again every few seconds.
    void watch_capture() {
        if (!capture_open || transmitter.playback_open() || input == nullptr) return;
        if (receiver.capture().is_open()) {
            if (!input->lost()) return;
            receiver.capture().close();
            input_level.reset();
            capture_retry = Clock::now() + kCaptureRetry;
            messages.show("The audio input stopped\nReceiving resumes by itself once the device "
                          "is back.",
                          kCaptureMessageTitle, MessageIcon::Warning);
            return;
        }
        if (capture_retry && Clock::now() >= *capture_retry) open_capture(true);
    }

    // The sound plays, a key is asked for, or a release is still being made. A release that a
    // rig has not taken for kKeyingCallLimit no longer holds the messages back: the keying
    // thread goes on trying whatever the window shows, and the operator must hear of it.
    bool on_air() const {
        if (transmitter.playback_open()) return true;
        const KeyingStatus k = keyer.status();
        const bool stuck = k.in_call && Clock::now() - k.call_started >= kKeyingCallLimit;
        return k.wanted || (k.keyed && !stuck);
    }

    // Shows the messages that wait, once nothing is under way and nothing is on the air.
    void flush() {
        if (depth > 0) return;
        messages.deliver([this] { return depth == 0 && !on_air(); });
    }

    // One public operation of the station: the messages it raises wait until the outermost has
    // finished (and the transmitter is released), then they are shown.
    class Sequence {
    public:
        explicit Sequence(Impl& s) : s_(s) { ++s_.depth; }
        ~Sequence() {
            --s_.depth;
            s_.flush();
        }
        Sequence(const Sequence&) = delete;
        Sequence& operator=(const Sequence&) = delete;

    private:
        Impl& s_;
    };

    // The window's own messages go the same way: shown at once when nothing is under way.
    struct Telling final : MessageSink {
        explicit Telling(Impl& s) : s_(s) {}
        void show(const std::string& text, const std::string& title, MessageIcon icon) override {
            s_.messages.show(text, title, icon);
            s_.flush();
        }
        Impl& s_;
    } telling{*this};

    // What the keying thread reported, and whether the transmission must end for it.
    std::optional<std::pair<TransmitEnd, std::string>> poll_keying() {
        TransmitSession::Poll poll =
            session.poll(Clock::now(), session.active() && output != nullptr && output->lost());
        for (const KeyingNotice& n : poll.notices) {
            switch (n.kind) {
            case KeyingNotice::Kind::OpenFailed:
                messages.show(
                    std::string(keying_required ? kCannotReachRigText : kCannotOpenPortText) +
                        (n.detail.empty() ? "" : "\n" + n.detail),
                    kCannotOpenPortTitle, MessageIcon::Warning);
                break;
            case KeyingNotice::Kind::ReleaseFailed:
                messages.show(
                    "THE TRANSMITTER MAY STILL BE KEYED\nIt could not be released: " + n.detail +
                        "\nThe keying port has been closed. Check the transmitter now "
                        "and switch it to receive by hand if it is still "
                        "transmitting.",
                    kCannotOpenPortTitle, MessageIcon::Stop);
                break;
            case KeyingNotice::Kind::Lost:      // shown by the window's readout, retried
            case KeyingNotice::Kind::Recovered: // the readout clears
                break;
            }
        }
        if (!poll.end) return std::nullopt;
        return std::make_pair(*poll.end, poll.end_detail);
    }

    // "Tx OFF": the sound is cut and the transmitter released at once, then the receiver
    // restarts (a capture that cannot be opened is reported afterwards and retried).
    // `quiet`: a capture that cannot be opened is told of by the caller.
    void stop_transmission(bool quiet = false) {
        transmitter.stop_transmission();
        session.end();
        closing_with_identification = false;
        on_air_text.clear();
        events.focus_transmit_pane();
        events.transmit_buttons_changed(false, false);
        receiver.resume_receiving();
        open_capture(quiet);
    }

    // A transmission that ends by itself ends as "Tx OFF" ends it; the operator is told why
    // once the transmitter is released.
    void end_transmission(const std::pair<TransmitEnd, std::string>& end) {
        stop_transmission(true);
        last_end = end.first;
        events.transmission_ended();
        last_end.reset();
        std::string text = transmit_end_text(end.first, end.second, session.watchdog());
        const bool keying =
            end.first == TransmitEnd::KeyingLost || end.first == TransmitEnd::KeyRefused;
        if (end.first == TransmitEnd::KeyingLost) {
            text += "\nThe transmission has ended. Check that the transmitter is not still keyed.";
        } else if (end.first != TransmitEnd::KeyRefused) {
            text += "\n";
            text += receiver.capture().is_open() ? kReleasedReceiving : kReleasedNotReceiving;
        }
        if (!receiver.capture().is_open() && end.first != TransmitEnd::OutputLost &&
            end.first != TransmitEnd::Watchdog) {
            text += "\nThe audio input cannot be opened; receiving resumes by itself once it is "
                    "back.";
        }
        messages.show(text, keying ? kCannotOpenPortTitle : std::string(kCannotOpenOutputTitle),
                      MessageIcon::Warning);
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
        // Its last buffer is queued now and plays within two symbols: near enough.
        identify.identified(identify_clock());
        events.transmit_buttons_changed(!closing_with_identification, !closing_with_identification);
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
    impl_->session.end();
    impl_->messages.drop();
    impl_->receiver.capture().close();
    // The keying thread releases and closes the device as the station goes.
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
    if (ptt != s.ptt) s.keyer.close();
    s.ptt = ptt;
    s.ptt_device = std::move(device);
}

void Station::set_watchdog(std::chrono::milliseconds limit) {
    impl_->session.set_watchdog(limit);
}

StationSettings& Station::settings() {
    return impl_->settings;
}
const StationSettings& Station::settings() const {
    return impl_->settings;
}

void Station::activate(Speed speed, int sensitivity_position) {
    Impl& s = *impl_;
    const Impl::Sequence sequence(s);
    s.sensitivity_position = sensitivity_position;
    s.receiver.clear_escape();
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
    const Impl::Sequence sequence(s);
    s.receiver.capture().close();
    s.open_capture();
}

void Station::change_speed(Speed speed) {
    if (transmitting()) return; // the selector is disabled while transmitting
    const Impl::Sequence sequence(*impl_);
    impl_->modem.initialise_profile(speed, *impl_);
}

bool Station::capture_tick() {
    Impl& s = *impl_;
    {
        const Impl::Sequence sequence(s);
        s.watch_capture();
        if (const auto end = s.poll_keying(); end && transmitting()) s.end_transmission(*end);
    }
    if (!s.receiver.capture_tick()) return false;
    s.input_level.measure(s.receiver.capture().ring().last_block());
    return true;
}

bool Station::receive_tick() {
    Impl& s = *impl_;
    const ReceiveOutputs out{s.panes.primary, s.panes.secondary, &s.displays};
    const ReceiveStep step = s.receiver.receive_step(s.modem, out);
    // AFC's move, once the step is over: the identification audio and the receiver follow it as
    // they follow the operator's.
    if (step.retune) s.modem.apply_retune(*step.retune, s);
    return step.ran;
}

bool Station::transmit_tick() {
    Impl& s = *impl_;
    {
        const Impl::Sequence sequence(s);
        if (const auto end = s.poll_keying(); end && s.transmitter.playback_open()) {
            s.end_transmission(*end);
            return false;
        }
    }
    // What the refill (if any) puts in the buffer: the tune carrier or identification, the
    // queue's head, or else the idle symbol.
    const bool identification = s.transmitter.identification().active;
    const bool special = s.transmitter.sending_special();
    const bool data = !s.transmitter.queue().is_empty();
    const uint32_t queued = s.transmitter.queue().count();
    NoText closing;
    TextSource& transmit =
        s.closing_with_identification ? static_cast<TextSource&>(closing) : s.panes.transmit;
    if (!s.transmitter.refill_tick(s.modem, transmit, s.on_air_text, s)) return false;
    if (special || data) {
        s.idle_refills = 0;
        if (identification || (data && !special)) s.sent_something = true;
    } else {
        ++s.idle_refills;
    }
    const bool popped = data && !special;
    const uint32_t added = s.transmitter.queue().count() + (popped ? 1u : 0u) - queued;
    s.on_air_text.refilled(popped, added, [&s](const std::string& text) {
        s.identify.sent(text, s.identify_clock());
    });
    if (s.closing_with_identification && !s.transmitter.sending_special() &&
        s.idle_refills >= kRefillsToPlayIdentification) {
        const Impl::Sequence sequence(s);
        s.stop_transmission();
        s.events.transmission_ended();
    }
    return true;
}

bool Station::pump_devices() {
    Impl& s = *impl_;
    if (s.output != nullptr && s.transmitter.playback_open()) s.output->pump();
    if (s.receiver.capture().is_open()) return s.receiver.capture().pump();
    return true;
}

void Station::set_test_mode(bool on) {
    impl_->receiver.set_test_mode(on);
}
void Station::set_afc(bool on) {
    impl_->receiver.set_afc(on);
}
void Station::set_print(bool on) {
    impl_->receiver.set_print(on);
}
void Station::set_autosync(bool on) {
    impl_->receiver.set_auto_sync(on);
}
bool Station::test_mode() const {
    return impl_->receiver.test_mode();
}
bool Station::afc() const {
    return impl_->receiver.afc();
}
bool Station::print() const {
    return impl_->receiver.print();
}
bool Station::autosync() const {
    return impl_->receiver.auto_sync();
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
void Station::set_noise_blanker(bool on) {
    impl_->receiver.capture().set_blanker(on);
}
bool Station::noise_blanker() const {
    return impl_->receiver.capture().blanker();
}
std::optional<double> Station::weak_lock_hz() const {
    const Receiver& rx = impl_->receiver;
    if (!rx.weak_locked()) return std::nullopt;
    return rx.weak_frequency_hz();
}
std::optional<double> Station::weak_snr_db() const {
    return impl_->receiver.weak_snr_db();
}

void Station::set_sensitivity_position(int position) {
    if (position < 1 || position > 5) return;
    impl_->sensitivity_position = position;
    impl_->read_sensitivity();
}
float Station::sensitivity() const {
    return impl_->receiver.waterfall_sensitivity();
}

CentreHz Station::set_centre_frequency(long long hz) {
    return impl_->modem.set_centre_frequency(hz, *impl_);
}
CentreHz Station::set_air_centre_frequency(long long hz) {
    return impl_->modem.set_air_centre_frequency(hz, *impl_);
}
CentreHz Station::centre_hz() const {
    return impl_->modem.tuning.air_hz;
}
CentreHz Station::classic_centre_hz() const {
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

bool Station::start_transmission() {
    Impl& s = *impl_;
    if (transmitting()) return true;
    const Impl::Sequence sequence(s);
    if (const std::string why = s.session.refusal(); !why.empty()) {
        s.messages.show("Cannot key the transmitter\n" + why +
                            "\nThe transmission was not started; the station goes on receiving.",
                        kCannotOpenPortTitle, MessageIcon::Warning);
        return false;
    }
    s.events.focus_transmit_pane();
    s.events.transmit_buttons_changed(true, true);
    s.receiver.capture().close();
    s.capture_retry.reset();
    s.input_level.reset();
    s.sent_something = false;
    s.idle_refills = 0;
    s.closing_with_identification = false;
    s.on_air_text.clear();
    s.identify.set_callsign(s.settings.callsign);
    s.identify.begin_transmission();
    const bool silent_first = ptt_delay_on(s.settings.delay_word);
    if (s.output == nullptr ||
        !s.transmitter.start_transmission(*s.output, s.modem, silent_first)) {
        // Never keyed without sound: the window is in its transmitting state, but the
        // transmitter stays released.
        s.messages.show(std::string(kCannotOpenOutputText), std::string(kCannotOpenOutputTitle),
                        MessageIcon::Warning);
        return true;
    }
    // Keyed only once the playback runs; the optional silent first buffer covers the switch.
    s.session.begin(Clock::now());
    return true;
}

void Station::stop_transmission() {
    Impl& s = *impl_;
    const Impl::Sequence sequence(s);
    s.stop_transmission();
}

bool Station::sent_and_idle(uint32_t tail_symbols) const {
    // With two buffers, the k-th idle refill comes as the (k-1)-th idle symbol starts playing:
    // the last symbol with text, and k-2 idle symbols after it, have been played whole.
    const Impl& s = *impl_;
    return transmitting() && !s.closing_with_identification && s.sent_something &&
           s.transmitter.queue().is_empty() && !s.transmitter.sending_special() &&
           s.idle_refills >= tail_symbols + 2;
}

std::optional<TransmitEnd> Station::ending_by_itself() const {
    return impl_->last_end;
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
    const Impl::Sequence sequence(s);
    if (s.transmitter.cw_id(s.settings.callsign) == IdentificationStart::NoCallsign) {
        s.messages.show(std::string(kNoCallsignText), std::string(kNoCallsignTitle),
                        MessageIcon::Warning);
        return false;
    }
    s.events.transmit_buttons_changed(false, false);
    s.events.focus_transmit_pane();
    return true;
}

void Station::set_identify_on_time(bool on) {
    impl_->identify_on_time = on;
}
bool Station::identify_on_time() const {
    return impl_->identify_on_time;
}

std::optional<std::chrono::seconds> Station::since_identified() const {
    const Impl& s = *impl_;
    const auto last = s.identify.last_identified();
    if (!last) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::seconds>(s.identify_clock() - *last);
}

bool Station::identify_then_stop() {
    Impl& s = *impl_;
    if (!s.identify_on_time || s.closing_with_identification || !s.transmitter.playback_open())
        return false;
    s.identify.set_callsign(s.settings.callsign);
    if (!s.identify.due(s.identify_clock())) return false;
    const Impl::Sequence sequence(s);
    // What the operator discarded does not go out after the identification.
    s.transmitter.queue().clear();
    s.on_air_text.clear();
    if (!s.transmitter.identification().active &&
        s.transmitter.cw_id(s.settings.callsign) == IdentificationStart::NoCallsign)
        return false;
    s.closing_with_identification = true;
    s.idle_refills = 0;
    s.events.transmit_buttons_changed(false, false);
    return true;
}

void Station::set_identify_clock(std::function<std::chrono::steady_clock::time_point()> clock) {
    impl_->identify_clock = std::move(clock);
}

void Station::open_ptt_port() {
    Impl& s = *impl_;
    const std::string& target = s.ptt_device.empty() ? s.settings.port_name : s.ptt_device;
    if (s.ptt == nullptr || target.empty() || target == kNoPort) {
        s.keyer.close();
        return;
    }
    // Opened on the keying thread; a failure is reported when it comes back. A port opened in
    // the middle of a transmission keys at once.
    s.keyer.open(s.ptt, target);
}

void Station::close_ptt_port() {
    impl_->keyer.close();
}

bool Station::ptt_port_open() const {
    return impl_->keyer.status().open;
}

bool Station::keyed() const {
    return impl_->keyer.status().keyed;
}

KeyingStatus Station::keying_status() const {
    return impl_->keyer.status();
}

void Station::set_keying_required(bool required) {
    impl_->keying_required = required;
    impl_->session.set_keying_required(required);
}

void Station::run_on_keying_thread(std::function<void()> task) {
    impl_->keyer.run(std::move(task));
}

void Station::run_when_keying_settled(std::function<void(bool keying)> task) {
    impl_->keyer.run_when_settled(std::move(task));
}

bool Station::settle_keying(std::chrono::milliseconds timeout) {
    Impl& s = *impl_;
    const bool idle = s.keyer.wait_idle(timeout);
    const Impl::Sequence sequence(s);
    if (const auto end = s.poll_keying(); end && transmitting()) s.end_transmission(*end);
    return idle;
}

MessageSink& Station::messages() {
    return impl_->telling;
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
const CaptureRing& Station::capture_ring() const {
    return impl_->receiver.capture().ring();
}

uint64_t Station::dropped_capture_blocks() const {
    return impl_->receiver.capture().ring().dropped_blocks();
}

} // namespace quavel
