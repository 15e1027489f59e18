#include "rx/receive_chain.h"

#include "modem/speed_profile.h"

namespace quavel {

namespace {

// The console's canvases: waterfall 320 x 20, sync scope 128 x 64, symbol spectrum 80 x 64.
constexpr int kWaterfallHeight = 20;
constexpr int kScopeHeight = 64;
constexpr int kSpectrumWidth = 80;
constexpr int kSpectrumHeight = 64;

} // namespace

ReceiveChain::ReceiveChain(const ReceiveChainSettings& settings, TextSink& primary,
                           TextSink& secondary)
    : modem_(std::make_unique<Modem>()), receiver_(std::make_unique<Receiver>()),
      waterfall_(kWaterfallColumns, kWaterfallHeight), scope_(kScopeColumns, kScopeHeight),
      spectrum_(kSpectrumWidth, kSpectrumHeight), displays_(waterfall_, scope_, spectrum_),
      listener_(*receiver_, displays_), outputs_{primary, secondary,
                                                 settings.draw_displays ? &displays_ : nullptr} {
    modem_->initialise_profile(speed_from_value(settings.speed).value_or(Speed::Two), listener_);
    modem_->set_centre_frequency(settings.centre_hz, listener_);
    receiver_->set_afc(settings.afc);
    receiver_->set_auto_sync(settings.auto_sync);
    if (settings.sync_position) modem_->profile.sync_position = *settings.sync_position;
    receiver_->set_test_mode(settings.test_mode);
    receiver_->set_squelch(settings.squelch);
    receiver_->capture().set_blanker(settings.noise_blanker);
    receiver_->set_receiver(settings.receiver);
}

ReceiveChain::~ReceiveChain() {
    close();
}

bool ReceiveChain::open(AudioInput& input) {
    return receiver_->capture().open(input);
}

void ReceiveChain::close() {
    receiver_->capture().close();
}

bool ReceiveChain::capture_tick() {
    return receiver_->capture_tick();
}

bool ReceiveChain::step() {
    const ReceiveStep step = receiver_->receive_step(*modem_, outputs_);
    // AFC's move, now that the step is over: the displays and the receiver hear of it as of any
    // other retune.
    if (step.retune) modem_->apply_retune(*step.retune, listener_);
    return step.ran;
}

void ReceiveChain::receive_waiting(const std::function<void()>& after_step) {
    do {
        while (step()) {
            if (after_step) after_step();
        }
    } while (capture_tick());
}

bool ReceiveChain::receive_recording(AudioInput& input, const std::function<void()>& after_step) {
    if (!open(input)) return false;
    bool more = true;
    while (more) {
        more = receiver_->capture().pump();
        receive_waiting(after_step);
    }
    close();
    return true;
}

} // namespace quavel
