#include "channel/limit_detector.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "modem/angles.h"

namespace quavel::channel {

LimitDetector::LimitDetector(const SpeedProfile& profile, uint32_t centre_hz,
                             const KnownChannel& channel)
    : N_(profile.N), channel_(channel),
      reference_(static_cast<std::size_t>(kToneCount) * profile.N) {
    channel_.noise_variance = std::max(channel_.noise_variance, 1e-12);
    if (channel_.fading)
        delay_samples_ =
            static_cast<std::size_t>(std::max(0.0, std::nearbyint(channel_.fading->delay_samples)));
    for (int t = 0; t < kToneCount; ++t) {
        // The transmitter's step, rounded to a float as it rounds it.
        const float f = static_cast<float>(centre_hz) + profile.tone_offset_hz[t];
        const double step = static_cast<float>(f * kAirTwoPi * 0.000125);
        std::complex<double>* row = reference_.data() + static_cast<std::size_t>(t) * N_;
        for (uint32_t j = 0; j < N_; ++j)
            row[j] = static_cast<double>(profile.pulse_shape[j]) * std::polar(1.0, step * j);
    }
    if (fixed_tones()) build_tones(0, fixed_);
}

void LimitDetector::build_tones(std::size_t start, Tones& tones) const {
    tones.waveform.resize(static_cast<std::size_t>(kToneCount) * N_);
    tones.products.assign(static_cast<std::size_t>(kToneCount) * kToneCount, 0.0);
    const FadingTaps* fading = channel_.fading;
    const bool two_paths = fading && !fading->second.empty();
    const double step = kTwoPi * channel_.shift_hz / 8000.0;
    for (int t = 0; t < kToneCount; ++t) {
        const std::complex<double>* x = reference_.data() + static_cast<std::size_t>(t) * N_;
        double* y = tones.waveform.data() + static_cast<std::size_t>(t) * N_;
        for (uint32_t j = 0; j < N_; ++j) {
            const std::size_t n = start + j;
            std::complex<double> v = x[j];
            if (fading) {
                v *= fading->first[n];
                if (two_paths) {
                    if (j >= delay_samples_) v += fading->second[n] * x[j - delay_samples_];
                    v *= fading->path_gain;
                }
            }
            if (step != 0.0) v *= std::polar(1.0, step * static_cast<double>(n));
            // Re(-i A v) = A Im(v).
            y[j] = channel_.amplitude * v.imag();
        }
    }
    for (int a = 0; a < kToneCount; ++a) {
        const double* ya = tones.waveform.data() + static_cast<std::size_t>(a) * N_;
        for (int b = a; b < kToneCount; ++b) {
            const double* yb = tones.waveform.data() + static_cast<std::size_t>(b) * N_;
            double sum = 0.0;
            for (uint32_t j = 0; j < N_; ++j)
                sum += ya[j] * yb[j];
            tones.products[static_cast<std::size_t>(a) * kToneCount + b] = sum;
        }
    }
}

void LimitDetector::score_with(std::span<const int16_t> samples, std::size_t start,
                               const Tones& tones, std::span<double, kSymbolCount> metric) const {
    std::array<double, kToneCount> correlation{};
    for (int t = 0; t < kToneCount; ++t) {
        const double* y = tones.waveform.data() + static_cast<std::size_t>(t) * N_;
        double sum = 0.0;
        for (uint32_t j = 0; j < N_; ++j)
            sum += samples[start + j] * y[j];
        correlation[t] = sum;
    }
    auto product = [&](int a, int b) {
        return tones
            .products[static_cast<std::size_t>(std::min(a, b)) * kToneCount + std::max(a, b)];
    };
    for (int k = 0; k < kSymbolCount; ++k) {
        const int a = kTonePairs[k].a - 1;
        const int b = kTonePairs[k].b - 1;
        const double inner = 0.5 * (correlation[a] + correlation[b]);
        const double energy = (product(a, a) + product(b, b) + 2.0 * product(a, b)) / 4.0;
        metric[k] = (inner - 0.5 * energy) / channel_.noise_variance;
    }
}

void LimitDetector::score(std::span<const int16_t> samples, std::size_t start,
                          std::span<double, kSymbolCount> metric) const {
    if (fixed_tones()) {
        score_with(samples, start, fixed_, metric);
        return;
    }
    Tones tones;
    build_tones(start, tones);
    score_with(samples, start, tones, metric);
}

uint32_t LimitDetector::detect(std::span<const int16_t> samples, std::size_t start) const {
    std::array<double, kSymbolCount> metric{};
    score(samples, start, metric);
    return static_cast<uint32_t>(std::max_element(metric.begin(), metric.end()) - metric.begin() +
                                 1);
}

std::vector<uint32_t> LimitDetector::detect_all(std::span<const int16_t> samples,
                                                std::size_t first_sample) const {
    std::vector<uint32_t> symbols;
    Tones tones; // reused from symbol to symbol when the channel changes them
    std::array<double, kSymbolCount> metric{};
    for (std::size_t start = first_sample; start + N_ <= samples.size(); start += N_) {
        if (fixed_tones()) {
            score_with(samples, start, fixed_, metric);
        } else {
            build_tones(start, tones);
            score_with(samples, start, tones, metric);
        }
        symbols.push_back(static_cast<uint32_t>(std::max_element(metric.begin(), metric.end()) -
                                                metric.begin() + 1));
    }
    return symbols;
}

} // namespace quavel::channel
