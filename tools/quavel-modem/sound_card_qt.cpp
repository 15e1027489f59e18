// The sound card through Qt Multimedia: a QCoreApplication for the event loop, the Qt device
// adapters on the default devices, and a timer for the verb's tick.
#include <algorithm>
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

#include "platform/qt_audio_input.h"
#include "platform/qt_audio_output.h"
#include "tools/quavel-modem/sound_card.h"

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

extern "C" void request_stop(int signal) {
    stop_signal = signal;
}

class QtSoundCard : public SoundCard {
public:
    QtSoundCard() : app_(argc_, argv_) {
        stop_signal = 0;
        catch_signal(SIGINT, old_int_);
        catch_signal(SIGTERM, old_term_);
    }

    ~QtSoundCard() override {
        output_.reset();
        input_.reset();
        settle();
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
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
        sigemptyset(&action.sa_mask);
        // One-shot: a second Ctrl+C ends the process even if the first is not seen in time.
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }

    int argc_ = 1;
    char name_[16] = "quavel-modem";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
    std::unique_ptr<QtAudioOutput> output_ =
        std::make_unique<QtAudioOutput>(QtAudioChoice{}, kSinkBufferMs);
    std::unique_ptr<QtAudioInput> input_ = std::make_unique<QtAudioInput>();
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

} // namespace

void exit_after_sound_card(int status) {
    std::fflush(nullptr);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    std::_Exit(status);
}

std::unique_ptr<SoundCard> open_sound_card(std::string& error) {
    error.clear();
    return std::make_unique<QtSoundCard>();
}

} // namespace quavel::tools
