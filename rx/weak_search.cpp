#include "rx/weak_search.h"

#include <algorithm>
#include <cmath>

namespace quavel {

namespace {

// Symbols over which the running average mostly forgets: short enough to find a signal within
// a few symbols, long enough to lift it out of the noise.
constexpr uint32_t kMemorySymbols = 4;

// Offset of a parabola's vertex through three equally spaced values, within -0.5..0.5.
double vertex(double left, double centre, double right) {
    const double curve = left - 2.0 * centre + right;
    if (curve >= 0.0) return 0.0;
    return std::clamp(0.5 * (left - right) / curve, -0.5, 0.5);
}

} // namespace

void WeakSearch::reset(const WeakSymbols& symbols) {
    symbols_ = &symbols;
    hop_ = symbols.length / kStarts;
    fft_size_ = std::min<uint32_t>(4 * symbols.length, WeakFft::kMaxSize);
    bin_hz_ = 500.0 / fft_size_;
    half_ = std::min(static_cast<int>(std::ceil(kRangeHz / bin_hz_)), (kMaxFrequencies - 1) / 2);
    for (int t = 0; t < kToneCount; ++t)
        tone_bin_[static_cast<std::size_t>(t)] =
            static_cast<int>(std::lround(symbols.offset_hz[static_cast<std::size_t>(t)] / bin_hz_));
    for (auto& row : average_)
        row.fill(0.0f);
    count_.fill(0);
    rounds_ = 0;
}

void WeakSearch::process(std::span<const std::complex<float>> window, int start) {
    if (symbols_ == nullptr || start < 0 || start >= kStarts) return;
    const WeakSymbols& s = *symbols_;
    const uint32_t n = std::min<uint32_t>(s.length, static_cast<uint32_t>(window.size()));
    for (uint32_t m = 0; m < n; ++m)
        spectrum_[m] = window[m] * s.pulse[m];
    std::fill(spectrum_.begin() + n, spectrum_.begin() + fft_size_, std::complex<float>{});
    fft_.forward(std::span(spectrum_.data(), fft_size_));

    auto& row = average_[static_cast<std::size_t>(start)];
    uint32_t& count = count_[static_cast<std::size_t>(start)];
    count = std::min(count + 1, kMemorySymbols);
    const float weight = 1.0f / static_cast<float>(count);
    const int mask = static_cast<int>(fft_size_) - 1;
    std::array<std::complex<float>, kToneCount> z{};
    for (int f = -half_; f <= half_; ++f) {
        for (int t = 0; t < kToneCount; ++t)
            z[static_cast<std::size_t>(t)] = spectrum_[static_cast<std::size_t>(
                (tone_bin_[static_cast<std::size_t>(t)] + f) & mask)];
        const auto best = static_cast<float>(best_free_phase_metric(s, z));
        float& cell = row[static_cast<std::size_t>(f + half_)];
        cell += weight * (best - cell);
    }
    rounds_ = *std::min_element(count_.begin(), count_.end());
}

double WeakSearch::value(int start, int frequency) const {
    start = ((start % kStarts) + kStarts) % kStarts;
    frequency = std::clamp(frequency, -half_, half_);
    return average_[static_cast<std::size_t>(start)][static_cast<std::size_t>(frequency + half_)];
}

double WeakSearch::near(int start, int frequency, int reach) const {
    double best = 0.0;
    for (int g = start - 1; g <= start + 1; ++g)
        for (int f = frequency - reach; f <= frequency + reach; ++f)
            best = std::max(best, value(g, f));
    return best;
}

WeakSearch::Peak WeakSearch::peak() const {
    Peak p;
    double best_score = -1.0;
    for (int g = 0; g < kStarts; ++g) {
        for (int f = -half_; f <= half_; ++f) {
            const double v = value(g, f);
            // A slight preference for the reference: with only the idle tone on the air, starts
            // a whole tone spacing apart score alike.
            const double score = v * (1.0 - 0.002 * std::abs(f * bin_hz_));
            if (score > best_score) {
                best_score = score;
                p = {g, f, v, 0.0, 0.0};
            }
        }
    }
    p.start_fraction =
        p.start + vertex(value(p.start - 1, p.frequency), p.value, value(p.start + 1, p.frequency));
    const double up = p.frequency < half_ ? value(p.start, p.frequency + 1) : p.value;
    const double down = p.frequency > -half_ ? value(p.start, p.frequency - 1) : p.value;
    p.frequency_fraction = p.frequency + vertex(down, p.value, up);
    return p;
}

} // namespace quavel
