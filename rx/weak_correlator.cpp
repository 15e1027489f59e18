#include "rx/weak_correlator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "rx/weak_front_end.h"

namespace quavel {

void WeakCorrelator::reset(const WeakSymbols& symbols) {
    symbols_ = &symbols;
    ring_.fill({});
    received_ = 0;
}

std::complex<double> WeakCorrelator::correlate(int64_t start, double offset_hz, uint32_t from,
                                               uint32_t to) const {
    // The receiver's innermost loop: complex products written out in real arithmetic, which the
    // compiler keeps free of the library's checks for infinities.
    const double w = -2.0 * std::numbers::pi * offset_hz / kWeakRateHz;
    const double step_re = std::cos(w);
    const double step_im = std::sin(w);
    double phase_re = std::cos(w * from);
    double phase_im = std::sin(w * from);
    double sum_re = 0.0;
    double sum_im = 0.0;
    for (uint32_t m = from; m < to; ++m) {
        const std::complex<float> x = at(start + m);
        const double p = symbols_->pulse[m];
        const double a_re = phase_re * p;
        const double a_im = phase_im * p;
        sum_re += double(x.real()) * a_re - double(x.imag()) * a_im;
        sum_im += double(x.real()) * a_im + double(x.imag()) * a_re;
        const double next_re = phase_re * step_re - phase_im * step_im;
        phase_im = phase_re * step_im + phase_im * step_re;
        phase_re = next_re;
    }
    return {sum_re, sum_im};
}

void WeakCorrelator::tones(int64_t start, double fraction, double offset_hz,
                           WeakToneCorrelations& out) const {
    const uint32_t length = symbols_->length;
    out.z.fill({});
    for (std::size_t t = 0; t < kToneCount; ++t) {
        const double f = symbols_->offset_hz[t] + offset_hz;
        out.w[t] = 2.0 * std::numbers::pi * f / kWeakRateHz;
        const std::complex<double> turn = std::polar(1.0, out.w[t] * fraction);
        for (uint32_t q = 0; q < kWeakParts; ++q) {
            out.parts[q][t] = std::complex<float>(
                turn * correlate(start, f, q * length / kWeakParts, (q + 1) * length / kWeakParts));
            out.z[t] += out.parts[q][t];
        }
    }
}

void WeakCorrelator::tones_at(int64_t start, double offset_hz,
                              std::array<std::complex<float>, kToneCount>& out) const {
    for (std::size_t t = 0; t < out.size(); ++t)
        out[t] = std::complex<float>(
            correlate(start, symbols_->offset_hz[t] + offset_hz, 0, symbols_->length));
}

void WeakCorrelator::between_tones(int64_t start, double offset_hz, WeakBetweenTones& out) const {
    for (std::size_t j = 0; j < out.size(); ++j) {
        const double f = symbols_->offset_hz[0] +
                         (static_cast<double>(j) - 0.5) * symbols_->spacing_hz + offset_hz;
        out[j] = std::norm(correlate(start, f, 0, symbols_->length)) / symbols_->pulse_energy;
    }
}

void WeakCorrelator::remove_line(std::complex<double> amplitude, double omega, uint32_t span,
                                 bool forget_older) {
    const std::complex<double> back = std::polar(1.0, -omega);
    const int64_t held = std::min<int64_t>(received_, kRingSamples);
    for (int64_t k = 0; k < held; ++k) {
        std::complex<float>& x = ring_[static_cast<std::size_t>(received_ - 1 - k) % kRingSamples];
        if (k < static_cast<int64_t>(span)) {
            x -= std::complex<float>(amplitude);
            amplitude *= back;
        } else if (forget_older) {
            x = {};
        } else {
            break;
        }
    }
}

} // namespace quavel
