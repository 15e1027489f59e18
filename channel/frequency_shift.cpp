#include "channel/frequency_shift.h"

#include "channel/portable_math.h"
#include "modem/speed_profile.h"

namespace quavel::channel {

std::vector<double> shift_to_real(std::span<const std::complex<double>> signal, double offset_hz) {
    std::vector<double> out(signal.size());
    const double turns_per_sample = offset_hz / static_cast<double>(kSampleRateHz);
    for (std::size_t n = 0; n < signal.size(); ++n) {
        // The phase from the sample number rather than an accumulator, so it cannot drift.
        const SinCos r = portable_sin_cos_turns(turns_per_sample * static_cast<double>(n));
        out[n] = signal[n].real() * r.cos - signal[n].imag() * r.sin;
    }
    return out;
}

} // namespace quavel::channel
