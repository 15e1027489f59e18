#include "rx/weak_edges.h"

#include <algorithm>

namespace quavel {

namespace {

// Power goes on beyond an outer tone when what lies one or two spacings further out, averaged,
// is this many times the noise: an average of noise alone over the symbols the power is kept
// for stays well below it, a neighbour's or an alias's tones come well above it.
constexpr double kGoesOn = 3.0;
// ... and more than a strong outer tone spills there itself. At 2 Quavel/sec a spacing is only
// four times 1/T and the flat-topped pulse steps at its edges, so one spacing out a tone still
// leaves some 30 dB under its own power (with the symbols either side and a start a little off),
// which at a good SNR is many times the noise. A neighbour's tones beyond the band, or a
// signal's own outer tone seen from its alias, stand far above that.
constexpr double kSpill = 0.01;

} // namespace

void WeakEdgeFit::add(const std::array<double, 4>& fits, const std::array<double, 6>& powers,
                      double gain, double slow) {
    for (std::size_t i = 0; i < fit_.size(); ++i)
        fit_[i] += static_cast<float>(gain * (fits[i] - fit_[i]));
    for (std::size_t i = 0; i < power_.size(); ++i)
        power_[i] += static_cast<float>(slow * (powers[i] - power_[i]));
}

WeakEdgeFit::Way WeakEdgeFit::way(double noise) const {
    if (!(noise > 0.0)) return kAll;
    const double limit = kGoesOn * noise;
    const bool top = std::max(power_[kAbove1], power_[kAbove2]) > limit + kSpill * power_[kTop];
    const bool bottom =
        std::max(power_[kBelow1], power_[kBelow2]) > limit + kSpill * power_[kBottom];
    return static_cast<Way>((top ? kNoTop : 0) + (bottom ? kNoBottom : 0));
}

double WeakEdgeFit::value(double noise) const {
    return fit_[static_cast<std::size_t>(way(noise))];
}

std::array<double, 6> WeakEdgeFit::powers(const std::array<std::complex<float>, kToneCount>& z,
                                          std::complex<float> below2, std::complex<float> below1,
                                          std::complex<float> above1, std::complex<float> above2) {
    return {std::norm(below2),   std::norm(below1), std::norm(z.front()),
            std::norm(z.back()), std::norm(above1), std::norm(above2)};
}

} // namespace quavel
