#include "weak_copy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <span>

#include "channel/ideal_detector.h"
#include "error_rate.h"
#include "modem/tuning.h"
#include "rx/weak_receiver.h"

namespace quavel::perf {

namespace {

// Where the tuning still leaves the receiver's whole search (+-24 Hz) inside its range.
constexpr double kHighestTunedHz = kCentreMaxHz - 24.0;
constexpr double kLowestMovedHz = 150.0;

} // namespace

std::optional<Scene> weak_twin(const Scene& scene, std::size_t index) {
    const double hz = scene.stations[index].over.tone5_hz;
    if (hz <= kHighestTunedHz) return std::nullopt;
    const double down_hz = std::round(hz - kWeakTwinHz);
    Scene twin = scene;
    twin.stations.clear();
    twin.length_samples = std::max(scene.length_samples, length_after_overs(scene, 0.0));
    for (std::size_t i = 0; i < scene.stations.size(); ++i) {
        const SceneStation& s = scene.stations[i];
        if (i != index && s.over.tone5_hz - down_hz < kLowestMovedHz) continue;
        SceneStation moved = s;
        moved.over = make_over(s.over.speed, s.over.tone5_hz - down_hz, s.over.text);
        // The measured one first, so that index 0 of the twin is it.
        if (i == index)
            twin.stations.insert(twin.stations.begin(), std::move(moved));
        else
            twin.stations.push_back(std::move(moved));
    }
    twin.carriers.clear();
    for (SceneCarrier c : scene.carriers) {
        c.freq_hz -= down_hz;
        if (c.freq_hz >= kLowestMovedHz) twin.carriers.push_back(c);
    }
    return twin;
}

WeakCopy copy_weak(const Scene& scene, std::size_t index, const std::vector<int16_t>& recording,
                   std::optional<double> until_s) {
    const std::optional<Scene> twin = weak_twin(scene, index);
    std::vector<int16_t> twin_audio;
    if (twin) twin_audio = render(*twin).samples;
    const std::vector<int16_t>& audio = twin ? twin_audio : recording;
    const SceneStation& station = twin ? twin->stations.front() : scene.stations[index];

    auto rx = std::make_unique<WeakReceiver>();
    rx->reset({station.over.speed, clamp_centre_hz(std::llround(station.over.tone5_hz)), true});
    WeakCopy copy;
    std::vector<uint32_t> symbols;
    std::array<uint8_t, 8> out{};
    constexpr std::size_t kStep = 256;
    std::span<const int16_t> all(audio);
    if (until_s) all = all.first(std::min(all.size(), static_cast<std::size_t>(*until_s * 8000.0)));
    for (std::size_t at = 0; at < all.size(); at += kStep) {
        const auto piece = all.subspan(at, std::min(kStep, all.size() - at));
        const std::size_t n = rx->push(piece, out);
        symbols.insert(symbols.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
        if (rx->locked() && !copy.lock_s)
            copy.lock_s = static_cast<double>(at + piece.size()) / 8000.0;
    }
    copy.text = channel::symbols_to_text(symbols);
    copy.errors = edit_distance(station.over.text, copy.text);
    return copy;
}

} // namespace quavel::perf
