// The sound card through Qt Multimedia: a QCoreApplication for the event loop, the Qt device
// adapters on the devices asked for, and a timer for the verb's tick.
#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include "platform/devices/audio_stream_identity.h"
#include "platform/devices/ptt_guard.h"
#include "platform/qt/qt_audio_devices.h"
#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
#include "platform/qt/qt_serial_ptt.h"
#include "sound_card.h"

namespace quavel::tools {

namespace {

// What the output device holds ahead of the speaker. The console's 100 ms runs dry when the
// machine is busy enough to keep the tool from the processor for that long; a headless
// transmitter has no operator waiting on it, so it takes more, at the cost of hearing each symbol
// that much later.
constexpr int kSinkBufferMs = 500;
// What the sound server itself may hold of a stream beyond the buffer the adapter asked for.
constexpr int kServerLatencyMs = 200;

// A signal handler can reach nothing but static storage, so the stop request lives here; the
// process has one sound card at a time.
volatile std::sig_atomic_t stop_signal = 0;

// What the normal stop path (the sound cut, the transmitter released) gets before the keying
// lines are dropped from the handler and the process ends by the signal; a rig keyed by CAT is
// then released by its guardian.
constexpr unsigned kStopDeadlineSeconds = 5;

// The first request starts the stop and arms the deadline; later ones (an impatient second
// Ctrl+C, a supervisor's repeated SIGTERM) change nothing: they neither end the process before
// the transmitter is released nor push the deadline back.
extern "C" void request_stop(int signal) {
    if (stop_signal != 0) return;
    stop_signal = signal;
    ptt_guard_arm_deadline(signal, kStopDeadlineSeconds);
}

// The process's one QCoreApplication, made when the sound system is first needed: Qt
// Multimedia lists and opens devices only with one.
class Application {
public:
    Application() : app_(argc_, argv_) {
        // Qt has just taken the environment's locale; numbers in the C library (hamlib's rig
        // commands, printf) stay in the C form the tool had before, set once while no audio
        // thread runs. Qt formats its own numbers with QLocale and is not affected.
        std::setlocale(LC_NUMERIC, "C");
        // Before anything asks Qt for a device: the streams show as the program's.
        set_audio_stream_identity(kModemStreams);
    }

private:
    int argc_ = 1;
    char name_[16] = "quavel-modem";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

// The id of the device `wanted` names, empty for the default; false, with `error` naming the
// fault and listing the devices, when there is no such device or several.
bool resolve(const std::string& wanted, AudioDirection direction, QByteArray& id,
             std::string& error) {
    id.clear();
    if (wanted.empty()) return true;
    const std::vector<AudioDeviceInfo> devices = list_audio_devices(direction);
    const AudioDeviceMatch match = find_audio_device(devices, wanted, direction);
    if (match.device != nullptr) {
        id = qt_device_id(*match.device);
        return true;
    }
    error = match.error + "; the audio " +
            (direction == AudioDirection::Input ? "input" : "output") +
            " devices are ('quavel-modem devices' lists them; * the default):\n" +
            describe_audio_devices(devices);
    if (error.back() == '\n') error.pop_back();
    return false;
}

class QtSoundCard : public SoundCard {
public:
    QtSoundCard() {
        stop_signal = 0;
        catch_signal(SIGINT, old_int_);
        catch_signal(SIGTERM, old_term_);
        catch_signal(SIGHUP, old_hup_);
    }

    // Makes the device adapters; false, with `error` saying why, when a device asked for is
    // not there.
    bool choose(const SoundCardRequest& request, std::string& error) {
        QtAudioChoice in;
        QtAudioChoice out;
        if (!resolve(request.input_device, AudioDirection::Input, in.device_id, error) ||
            !resolve(request.output_device, AudioDirection::Output, out.device_id, error))
            return false;
        output_ = std::make_unique<QtAudioOutput>(out, kSinkBufferMs);
        input_ = std::make_unique<QtAudioInput>(in);
        output_->follow_moved_streams(kModemStreams.id);
        input_->follow_moved_streams(kModemStreams.id);
        return true;
    }

    ~QtSoundCard() override {
        output_.reset();
        input_.reset();
        settle();
        // The verbs release their keying before the sound card goes: the deadline has nothing
        // left to do.
        ptt_guard_cancel_deadline();
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
        sigaction(SIGHUP, &old_hup_, nullptr);
    }

    QtSoundCard(const QtSoundCard&) = delete;
    QtSoundCard& operator=(const QtSoundCard&) = delete;

    AudioOutput& output() override { return *output_; }
    AudioInput& input() override { return *input_; }
    bool output_running() const override { return output_->is_open(); }
    bool input_running() const override { return input_->is_running(); }
    std::string output_error() const override { return output_->error(); }
    std::string input_error() const override { return input_->error(); }
    uint64_t input_samples_dropped() const override { return input_->dropped_samples(); }
    uint64_t input_buffers_filled() const override { return input_->buffers_filled(); }
    uint64_t output_underruns() const override { return output_->underruns(); }
    int output_latency_ms() const override {
        // The device's own buffer, and the sound server's playback latency behind it.
        return kSinkBufferMs + kServerLatencyMs;
    }

    int run(int interval_ms, const std::function<bool()>& tick) override {
        if (stop_signal != 0) return stop_signal;
        QEventLoop loop;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(std::clamp(interval_ms, 1, 1000));
        int ended_by = 0;
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            if (stop_signal != 0) {
                ended_by = stop_signal;
            } else if (tick()) {
                return;
            }
            timer.stop();
            loop.quit();
        });
        timer.start();
        loop.exec();
        return ended_by;
    }

    void settle() override {
        // The adapters hand their closed devices to the event loop for deletion.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private:
    // A signal the process was started ignoring (a background job's Ctrl+C) stays ignored.
    static void catch_signal(int signal, struct sigaction& old) {
        sigaction(signal, nullptr, &old);
        if (old.sa_handler == SIG_IGN) return;
        struct sigaction action {};
        action.sa_handler = request_stop;
        // No stop request interrupts another's handler.
        sigemptyset(&action.sa_mask);
        for (const int stop : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&action.sa_mask, stop);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }

    Application app_;
    std::unique_ptr<QtAudioOutput> output_;
    std::unique_ptr<QtAudioInput> input_;
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
    struct sigaction old_hup_ {};
};

} // namespace

void exit_after_sound_card(int status) {
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    std::_Exit(status);
}

std::unique_ptr<SoundCard> open_sound_card(const SoundCardRequest& request, std::string& error,
                                           bool& bad_device) {
    error.clear();
    auto card = std::make_unique<QtSoundCard>();
    bad_device = !card->choose(request, error);
    if (bad_device) return nullptr;
    return card;
}

std::unique_ptr<Ptt> make_serial_ptt(bool dtr, std::string& error) {
    error.clear();
    return std::make_unique<QtSerialPtt>(ComPortMap{}, dtr ? PttLine::Dtr : PttLine::Rts);
}

bool list_sound_devices(std::vector<AudioDeviceInfo>& inputs, std::vector<AudioDeviceInfo>& outputs,
                        std::string& error) {
    error.clear();
    const Application app;
    inputs = list_audio_inputs();
    outputs = list_audio_outputs();
    return true;
}

} // namespace quavel::tools
