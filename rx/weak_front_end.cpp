#include "rx/weak_front_end.h"

#include <cmath>
#include <numbers>

namespace quavel {

WeakFrontEnd::WeakFrontEnd() {
    // Windowed sinc, cut at 250 Hz (half-way between the 100 Hz passband and the 400 Hz fold),
    // Blackman window, unity gain at 0 Hz.
    constexpr double kCut = 250.0 / 8000.0; // cycles per sample
    constexpr int kHalf = kTaps / 2;
    double sum = 0.0;
    std::array<double, kTaps> h{};
    for (int i = 0; i < kTaps; ++i) {
        const int n = i - kHalf;
        const double sinc =
            n == 0 ? 2.0 * kCut
                   : std::sin(2.0 * std::numbers::pi * kCut * n) / (std::numbers::pi * n);
        const double x = 2.0 * std::numbers::pi * i / (kTaps - 1);
        const double window = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
        h[static_cast<std::size_t>(i)] = sinc * window;
        sum += sinc * window;
    }
    for (std::size_t i = 0; i < h.size(); ++i)
        taps_[i] = static_cast<float>(h[i] / sum);
    reset(1000.0);
}

void WeakFrontEnd::reset(double reference_hz) {
    history_.fill({});
    head_ = 0;
    phase_ = 0;
    oscillator_ = {1.0, 0.0};
    since_renormalise_ = 0;
    blanker_.reset();
    level_steps_.reset();
    carriers_.reset();
    set_reference(reference_hz);
}

void WeakFrontEnd::set_reference(double reference_hz) {
    carriers_.shift(reference_hz_ - reference_hz);
    reference_hz_ = reference_hz;
    const double w = -2.0 * std::numbers::pi * reference_hz / 8000.0;
    step_ = {std::cos(w), std::sin(w)};
}

std::size_t WeakFrontEnd::push(std::span<const int16_t> samples,
                               std::span<std::complex<float>> out) {
    std::size_t produced = 0;
    for (const int16_t sample : samples) {
        float heard = 0.0f;
        if (!level_steps_.take(blanker_.take(static_cast<float>(sample)), heard)) continue;
        const std::complex<double> mixed = oscillator_ * static_cast<double>(heard);
        oscillator_ *= step_;
        if (++since_renormalise_ == 1024) {
            oscillator_ /= std::abs(oscillator_);
            since_renormalise_ = 0;
        }
        const auto m = std::complex<float>(mixed);
        history_[static_cast<std::size_t>(head_)] = m;
        history_[static_cast<std::size_t>(head_ + kTaps)] = m;
        head_ = head_ + 1 == kTaps ? 0 : head_ + 1;
        if (++phase_ < kWeakDecimation) continue;
        phase_ = 0;
        if (produced >= out.size()) continue;
        // history_[head_ .. head_ + kTaps) runs from the oldest sample to the newest; the taps
        // are symmetric, so their order does not matter.
        const std::complex<float>* x = history_.data() + head_;
        float re = 0.0f;
        float im = 0.0f;
        for (int i = 0; i < kTaps; ++i) {
            re += taps_[static_cast<std::size_t>(i)] * x[i].real();
            im += taps_[static_cast<std::size_t>(i)] * x[i].imag();
        }
        out[produced++] = carriers_.take({re, im});
    }
    return produced;
}

} // namespace quavel
