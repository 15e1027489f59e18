#include "receive_run.h"

#include <memory>
#include <string_view>

#include "interfaces/text_pane.h"
#include "platform/wav/wav_input.h"
#include "rx/receive_chain.h"

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
    StringSink primary;
    NullPane secondary;
    ReceiveChainSettings settings;
    settings.speed = options.speed;
    settings.centre_hz = options.centre_hz;
    settings.afc = options.afc;
    settings.auto_sync = options.auto_sync;
    settings.sync_position = options.sync_position;
    ReceiveChain chain(settings, primary, secondary);
    SampleInput input(std::make_unique<MemorySampleSource>(std::move(samples)), Pacing::Fast);
    ReceiveResult result;
    if (!chain.receive_recording(input,
                                 [&] { result.printed_by.push_back(primary.text().size()); })) {
        return result;
    }
    result.text = primary.text();
    result.final_centre_hz = chain.modem().tuning.centre_hz;
    result.final_sync_position = chain.modem().profile.sync_position;
    return result;
}

std::string settled_text(const ReceiveResult& result) {
    if (result.printed_by.size() < kSettlingSteps) return {};
    return result.text.substr(result.printed_by[kSettlingSteps - 1]);
}

} // namespace quavel::perf
