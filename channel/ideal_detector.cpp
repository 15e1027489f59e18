#include "channel/ideal_detector.h"

#include <algorithm>
#include <cmath>

#include "modem/angles.h"

namespace quavel::channel {

IdealDetector::IdealDetector(const SpeedProfile& profile, uint32_t centre_hz, double shift_hz,
                             int segments, PairPhase pair_phase)
    : N_(profile.N), segments_(std::clamp(segments, 1, kMaxSegments)),
      reference_(static_cast<std::size_t>(kToneCount) * profile.N),
      energy_(static_cast<std::size_t>(segments_) * kSymbolCount) {
    std::array<double, kToneCount> step{};
    for (int t = 0; t < kToneCount; ++t) {
        // The transmitter's step for the tone, then the channel's shift on top of it.
        const float f = static_cast<float>(centre_hz) + profile.tone_offset_hz[t];
        const float tx_step = static_cast<float>(f * kAirTwoPi * 0.000125);
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
    if (pair_phase == PairPhase::Free) {
        free_phase_ = true;
        free_energy_.resize(static_cast<std::size_t>(segments_) * kSymbolCount * kPhaseSteps);
        for (int s = 0; s < segments_; ++s) {
            for (int k = 0; k < kSymbolCount; ++k) {
                const double apart = step[kTonePairs[k].a - 1] - step[kTonePairs[k].b - 1];
                // ||u(phi)||^2 = (2 S + 2 Re(e^{i phi} G)) / 4, G = sum p^2 e^{-i (w_a - w_b) j}.
                double S = 0.0;
                std::complex<double> G;
                for (uint32_t j = part_begin(s); j < part_begin(s + 1); ++j) {
                    const double p2 = double(profile.pulse_shape[j]) * profile.pulse_shape[j];
                    S += p2;
                    G += p2 * std::polar(1.0, -apart * j);
                }
                for (int i = 0; i < kPhaseSteps; ++i) {
                    const double phi = kTwoPi * i / kPhaseSteps;
                    free_energy_[(static_cast<std::size_t>(s) * kSymbolCount + k) * kPhaseSteps +
                                 i] = (2.0 * S + 2.0 * (std::polar(1.0, phi) * G).real()) / 4.0;
                }
            }
        }
    }
}

IdealDetector::IdealDetector(const SpeedProfile& profile, uint32_t centre_hz, double shift_hz,
                             int segments, const FadingKnowledge& fading)
    : IdealDetector(profile, centre_hz, shift_hz, segments) {
    fading_ = true;
    fading_terms_.resize(static_cast<std::size_t>(segments_) * kSymbolCount);
    const double s2 = std::max(fading.noise_variance, 1e-12);
    const double A = fading.single_tone_amplitude;
    for (int s = 0; s < segments_; ++s) {
        // Q between coordinate i of tone t and coordinate m of tone u (0: cosine, 1: sine; the
        // sign of the sine does not matter as long as x and Q agree).
        auto gram = [&](int t, int i, int u, int m) {
            const std::complex<double>* rt = reference_.data() + static_cast<std::size_t>(t) * N_;
            const std::complex<double>* ru = reference_.data() + static_cast<std::size_t>(u) * N_;
            double sum = 0.0;
            for (uint32_t j = part_begin(s); j < part_begin(s + 1); ++j) {
                sum +=
                    (i == 0 ? rt[j].real() : rt[j].imag()) * (m == 0 ? ru[j].real() : ru[j].imag());
            }
            return sum;
        };
        for (int k = 0; k < kSymbolCount; ++k) {
            const int a = kTonePairs[k].a - 1;
            const int b = kTonePairs[k].b - 1;
            FadingTerm& term = fading_terms_[static_cast<std::size_t>(s) * kSymbolCount + k];
            term.size = a == b ? 2 : 4;
            const int n = term.size;
            const double D = a == b ? A : A / 2.0;
            const double root_l = D / std::sqrt(2.0); // L^(1/2), the same for every coordinate
            std::array<int, 4> tone{a, a, b, b};
            std::array<int, 4> coordinate{0, 1, 0, 1};
            // M = I + L^(1/2) Q_TT L^(1/2) / s2, then its Cholesky factor.
            std::array<double, 16> M{};
            for (int r = 0; r < n; ++r) {
                for (int c = 0; c < n; ++c) {
                    M[r * 4 + c] =
                        (r == c ? 1.0 : 0.0) +
                        root_l * root_l * gram(tone[r], coordinate[r], tone[c], coordinate[c]) / s2;
                }
            }
            std::array<double, 16> L{};
            double log_det = 0.0;
            for (int c = 0; c < n; ++c) {
                double d = M[c * 4 + c];
                for (int q = 0; q < c; ++q)
                    d -= L[c * 4 + q] * L[c * 4 + q];
                d = std::sqrt(std::max(d, 1e-300));
                L[c * 4 + c] = d;
                log_det += 2.0 * std::log(d);
                for (int r = c + 1; r < n; ++r) {
                    double v = M[r * 4 + c];
                    for (int q = 0; q < c; ++q)
                        v -= L[r * 4 + q] * L[c * 4 + q];
                    L[r * 4 + c] = v / d;
                }
            }
            // M^-1 column by column from L L' M^-1 = I.
            std::array<double, 16> inverse{};
            for (int c = 0; c < n; ++c) {
                std::array<double, 4> v{};
                for (int r = 0; r < n; ++r) {
                    double sum = r == c ? 1.0 : 0.0;
                    for (int q = 0; q < r; ++q)
                        sum -= L[r * 4 + q] * v[q];
                    v[r] = sum / L[r * 4 + r];
                }
                for (int r = n - 1; r >= 0; --r) {
                    double sum = v[r];
                    for (int q = r + 1; q < n; ++q)
                        sum -= L[q * 4 + r] * inverse[q * 4 + c];
                    inverse[r * 4 + c] = sum / L[r * 4 + r];
                }
            }
            // (y' M^-1 y) / 2 with y = L^(1/2) x_T / s2.
            const double scale = root_l * root_l / (s2 * s2) / 2.0;
            for (int i = 0; i < 16; ++i)
                term.w[i] = scale * inverse[i];
            term.penalty = log_det / 2.0;
        }
    }
}

void IdealDetector::score(std::span<const int16_t> symbol,
                          std::span<double, kSymbolCount> metric) const {
    std::fill(metric.begin(), metric.end(), 0.0);
    // Free relative phase: each pair's sum over the parts, for every phase.
    std::array<std::array<double, kPhaseSteps>, kSymbolCount> free_sum{};
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
            const int a = kTonePairs[k].a - 1;
            const int b = kTonePairs[k].b - 1;
            if (fading_) {
                const FadingTerm& t = fading_terms_[static_cast<std::size_t>(s) * kSymbolCount + k];
                const std::array<double, 4> x{z[a].real(), z[a].imag(), z[b].real(), z[b].imag()};
                double quadratic = 0.0;
                for (int r = 0; r < t.size; ++r) {
                    for (int c = 0; c < t.size; ++c)
                        quadratic += x[r] * t.w[r * 4 + c] * x[c];
                }
                metric[k] += quadratic - t.penalty;
            } else if (free_phase_ && a != b) {
                const double* energy =
                    &free_energy_[(static_cast<std::size_t>(s) * kSymbolCount + k) * kPhaseSteps];
                for (int i = 0; i < kPhaseSteps; ++i) {
                    if (energy[i] <= 0.0) continue;
                    const std::complex<double> turn = std::polar(1.0, -kTwoPi * i / kPhaseSteps);
                    free_sum[k][i] += std::norm(0.5 * (z[a] + turn * z[b])) / energy[i];
                }
            } else {
                const double energy = energy_[static_cast<std::size_t>(s) * kSymbolCount + k];
                // A part where the pulse shape is all but zero tells nothing.
                if (energy <= 0.0) continue;
                metric[k] += std::norm(0.5 * (z[a] + z[b])) / energy;
            }
        }
    }
    if (free_phase_) {
        for (int k = 0; k < kSymbolCount; ++k) {
            if (kTonePairs[k].a != kTonePairs[k].b)
                metric[k] = *std::max_element(free_sum[k].begin(), free_sum[k].end());
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
