// Any audio through the whole receive chain at any setting: it never crashes, and the panes get
// only what the code table prints.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "interfaces/text_pane.h"
#include "platform/wav/wav_input.h"
#include "rx/receive_chain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Settings from the first 4 bytes, samples from the rest (at most 8 s of audio).
    constexpr size_t kSettingsBytes = 4;
    constexpr size_t kMaxSamples = 64000;
    if (size < kSettingsBytes) return 0;
    quavel::ReceiveChainSettings settings;
    constexpr uint32_t kSpeeds[] = {1, 2, 4};
    settings.speed = kSpeeds[data[0] % 3];
    settings.centre_hz = static_cast<uint32_t>(data[1]) * 8u; // 0..2040: in range and beyond
    settings.afc = (data[2] & 1) != 0;
    settings.auto_sync = (data[2] & 2) != 0;
    settings.test_mode = (data[2] & 4) != 0;
    settings.draw_displays = (data[2] & 8) != 0;
    if ((data[2] & 16) != 0) settings.sync_position = data[3] * 64u;
    std::vector<int16_t> samples(std::min((size - kSettingsBytes) / 2, kMaxSamples));
    std::memcpy(samples.data(), data + kSettingsBytes, samples.size() * 2);

    quavel::StringPane primary;
    quavel::StringPane secondary;
    quavel::ReceiveChain chain(settings, primary, secondary);
    quavel::SampleInput input(std::make_unique<quavel::MemorySampleSource>(std::move(samples)),
                              quavel::Pacing::Fast);
    chain.receive_recording(input);
    return 0;
}
