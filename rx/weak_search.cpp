#include "rx/weak_search.h"

#include <algorithm>
#include <cmath>

namespace quavel {

namespace {

// Symbols over which the running average mostly forgets: short enough to find a signal within
// a few symbols, long enough to lift it out of the noise.
constexpr uint32_t kMemorySymbols = 4;
// The powers beyond the outer tones: a neighbour's tones come and go with its text, so whether
// its power goes on beyond an edge is judged over more symbols than a fit.
constexpr uint32_t kEdgeMemorySymbols = 16;

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
    const double low = symbols.offset_hz.front();
    const double high = symbols.offset_hz.back();
    const double spacing = symbols.spacing_hz;
    beyond_bin_ = {static_cast<int>(std::lround((low - 2.0 * spacing) / bin_hz_)),
                   static_cast<int>(std::lround((low - spacing) / bin_hz_)),
                   static_cast<int>(std::lround((high + spacing) / bin_hz_)),
                   static_cast<int>(std::lround((high + 2.0 * spacing) / bin_hz_))};
    for (auto& row : average_)
        for (WeakEdgeFit& cell : row)
            cell.reset();
    count_.fill(0);
    long_count_.fill(0);
    noise_.fill(0.0);
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
    uint32_t& long_count = long_count_[static_cast<std::size_t>(start)];
    long_count = std::min(long_count + 1, kEdgeMemorySymbols);
    const double weight = 1.0 / static_cast<double>(count);
    const double slow = 1.0 / static_cast<double>(long_count);
    const int mask = static_cast<int>(fft_size_) - 1;
    auto bin = [&](int b) { return spectrum_[static_cast<std::size_t>(b & mask)]; };
    auto metric = [&](const std::array<std::complex<float>, kToneCount>& tones) {
        return best_free_phase_metric(s, tones);
    };
    std::array<std::complex<float>, kToneCount> z{};
    for (int f = -half_; f <= half_; ++f) {
        for (int t = 0; t < kToneCount; ++t)
            z[static_cast<std::size_t>(t)] = bin(tone_bin_[static_cast<std::size_t>(t)] + f);
        const auto powers = WeakEdgeFit::powers(z, bin(beyond_bin_[0] + f), bin(beyond_bin_[1] + f),
                                                bin(beyond_bin_[2] + f), bin(beyond_bin_[3] + f));
        row[static_cast<std::size_t>(f + half_)].add(WeakEdgeFit::fits(z, metric), powers, weight,
                                                     slow);
    }
    // The noise: the median over the trial frequencies of the power two spacings beyond either
    // outer tone, the quieter side's. A signal or a neighbour lies on one side of most of them.
    double noise = 0.0;
    const auto count_f = static_cast<std::size_t>(2 * half_ + 1);
    for (const WeakEdgeFit::Slot slot : {WeakEdgeFit::kBelow2, WeakEdgeFit::kAbove2}) {
        for (std::size_t f = 0; f < count_f; ++f)
            scratch_[f] = static_cast<float>(row[f].power(slot));
        const auto middle = scratch_.begin() + static_cast<std::ptrdiff_t>(count_f / 2);
        std::nth_element(scratch_.begin(), middle,
                         scratch_.begin() + static_cast<std::ptrdiff_t>(count_f));
        noise = noise > 0.0 ? std::min(noise, double(*middle)) : double(*middle);
    }
    noise_[static_cast<std::size_t>(start)] = noise;
    rounds_ = *std::min_element(count_.begin(), count_.end());
}

double WeakSearch::value(int start, int frequency) const {
    start = ((start % kStarts) + kStarts) % kStarts;
    frequency = std::clamp(frequency, -half_, half_);
    return average_[static_cast<std::size_t>(start)][static_cast<std::size_t>(frequency + half_)]
        .value(noise_[static_cast<std::size_t>(start)]);
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
