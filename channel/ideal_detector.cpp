#include "channel/ideal_detector.h"

#include <algorithm>
#include <cmath>

namespace quavel::channel {

namespace {

constexpr double kTwoPi = 6.283185307179586476925;

} // namespace

IdealDetector::IdealDetector(const SpeedProfile& profile, uint32_t centre_hz, double shift_hz,
                             int segments)
    : N_(profile.N), segments_(std::clamp(segments, 1, kMaxSegments)),
      reference_(static_cast<std::size_t>(kToneCount) * profile.N),
      energy_(static_cast<std::size_t>(segments_) * kSymbolCount) {
    std::array<double, kToneCount> step{};
    for (int t = 0; t < kToneCount; ++t) {
        // The transmitter's step for the tone, then the channel's shift on top of it.
        const float f = static_cast<float>(centre_hz) + profile.tone_offset_hz[t];
        const float tx_step = static_cast<float>(f * 6.2831852 * 0.000125);
        step[t] = static_cast<double>(tx_step) + kTwoPi * shift_hz / 8000.0;
        std::complex<double>* row = reference_.data() + static_cast<std::size_t>(t) * N_;
        for (uint32_t j = 0; j < N_; ++j) {
            const double phase = step[t] * j;
            row[j] = static_cast<double>(profile.pulse_shape[j]) *
                     std::complex<double>(std::cos(phase), -std::sin(phase));
        }
    }
    // ||u_k||^2 = sum p^2 |e^{i w_a j} + e^{i w_b j}|^2 / 4 = sum p^2 (2 + 2 cos((w_a - w_b) j))
    // / 4.
    for (int s = 0; s < segments_; ++s) {
        for (int k = 0; k < kSymbolCount; ++k) {
            const double apart = step[kTonePairs[k].a - 1] - step[kTonePairs[k].b - 1];
            double sum = 0.0;
            for (uint32_t j = part_begin(s); j < part_begin(s + 1); ++j) {
                const double p = profile.pulse_shape[j];
                sum += p * p * (2.0 + 2.0 * std::cos(apart * j));
            }
            energy_[static_cast<std::size_t>(s) * kSymbolCount + k] = sum / 4.0;
        }
    }
}

void IdealDetector::score(std::span<const int16_t> symbol,
                          std::span<double, kSymbolCount> metric) const {
    std::fill(metric.begin(), metric.end(), 0.0);
    for (int s = 0; s < segments_; ++s) {
        std::array<std::complex<double>, kToneCount> z{};
        for (int t = 0; t < kToneCount; ++t) {
            const std::complex<double>* row = reference_.data() + static_cast<std::size_t>(t) * N_;
            double re = 0.0;
            double im = 0.0;
            for (uint32_t j = part_begin(s); j < part_begin(s + 1); ++j) {
                const double r = symbol[j];
                re += r * row[j].real();
                im += r * row[j].imag();
            }
            z[t] = {re, im};
        }
        for (int k = 0; k < kSymbolCount; ++k) {
            const double energy = energy_[static_cast<std::size_t>(s) * kSymbolCount + k];
            // A part where the pulse shape is all but zero tells nothing.
            if (energy <= 0.0) continue;
            const std::complex<double> c = 0.5 * (z[kTonePairs[k].a - 1] + z[kTonePairs[k].b - 1]);
            metric[k] += std::norm(c) / energy;
        }
    }
}

uint32_t IdealDetector::detect(std::span<const int16_t> symbol) const {
    std::array<double, kSymbolCount> metric{};
    score(symbol, metric);
    int best = 0;
    for (int k = 1; k < kSymbolCount; ++k) {
        if (metric[k] > metric[best]) best = k;
    }
    return static_cast<uint32_t>(best + 1);
}

std::vector<uint32_t> IdealDetector::detect_all(std::span<const int16_t> samples,
                                                std::size_t first_sample) const {
    std::vector<uint32_t> symbols;
    for (std::size_t start = first_sample; start + N_ <= samples.size(); start += N_)
        symbols.push_back(detect(samples.subspan(start, N_)));
    return symbols;
}

std::string symbols_to_text(std::span<const uint32_t> symbols) {
    std::string text;
    bool escape_pending = false;
    for (const uint32_t s : symbols) {
        if (s < 1 || s > static_cast<uint32_t>(kSymbolCount)) continue;
        const TonePair pair = kTonePairs[s - 1];
        const Decoded d = decode_pair(pair.a, pair.b, escape_pending);
        if (d.kind == DecodeKind::Escaped || (d.kind == DecodeKind::Pair && d.primary != 0))
            text += d.primary;
    }
    return text;
}

} // namespace quavel::channel
