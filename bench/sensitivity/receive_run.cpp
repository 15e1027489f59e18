#include "receive_run.h"

#include <memory>
#include <string_view>

#include "modem/modem.h"
#include "modem/speed_profile.h"
#include "platform/canvas.h"
#include "platform/text_pane.h"
#include "platform/wav_input.h"
#include "rx/displays.h"
#include "rx/receiver.h"

namespace quavel::perf {

namespace {

class StringSink : public TextSink {
public:
    void insert(std::string_view text) override { text_ += text; }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

} // namespace

ReceiveResult receive(std::vector<int16_t> samples, const ReceiveOptions& options) {
    auto modem = std::make_unique<Modem>();
    auto rx = std::make_unique<Receiver>();
    MemoryCanvas waterfall(320, 20);
    MemoryCanvas scope(128, 64);
    MemoryCanvas spectrum(80, 64);
    ReceiveDisplays displays(waterfall, scope, spectrum);
    ReceiverListener listener(*rx, displays);

    modem->initialise_profile(speed_item_index(options.speed), listener);
    modem->set_centre_frequency(options.centre_hz, listener);
    rx->decoder.set_afc(options.afc);
    rx->auto_sync = options.auto_sync;
    if (options.sync_position) modem->profile.sync_position = *options.sync_position;
    rx->set_test_mode(false);

    SampleInput input(std::make_unique<MemorySampleSource>(std::move(samples)), Pacing::Fast);
    ReceiveResult result;
    if (!rx->capture.open(input)) return result;

    StringSink primary;
    NullPane secondary;
    const ReceiveOutputs outputs{primary, secondary, &displays};
    bool more = true;
    while (more) {
        more = rx->capture.pump();
        while (rx->capture_tick()) {
            while (rx->receive_step(*modem, listener, outputs))
                result.printed_by.push_back(primary.text().size());
        }
    }
    rx->capture.close();
    result.text = primary.text();
    result.final_centre_hz = modem->tuning.centre_hz;
    result.final_sync_position = modem->profile.sync_position;
    return result;
}

std::string settled_text(const ReceiveResult& result) {
    if (result.printed_by.size() < kSettlingSteps) return {};
    return result.text.substr(result.printed_by[kSettlingSteps - 1]);
}

} // namespace quavel::perf
