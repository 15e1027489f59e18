// The receiver's two complex FFTs: in place, radix 2, unscaled, on n complex points stored
// interleaved and addressed from 1. Point k (0-based) has its real part at float index 2k+1 and
// its imaginary part at 2k+2; index 0 is not part of the data and is never touched. The band
// edges of the tuning are float indices of this same kind.
//
// Both keep their working values (butterfly temporaries, twiddle factors and the recurrence that
// advances them) in 32-bit floats, forming each compound product-and-sum in double before it is
// stored, and evaluate only two sines per stage. The angle constant is kAirTwoPi (modem/angles.h),
// not 2 pi: the transforms must match the other stations bin for bin.
#pragma once

#include <cstdint>
#include <span>

namespace quavel {

// X[k] = sum over t of x[t] * e^(+2 pi i k t / n): what the receiver calls the forward transform.
// `n` must be a power of two, 2 <= n, and `data` must hold at least 2n + 1 floats; other
// sizes leave the data untouched. A forward transform followed by an inverse one returns n times
// the input.
void fft_forward(std::span<float> data, uint32_t n);

// The same with e^(-2 pi i k t / n).
void fft_inverse(std::span<float> data, uint32_t n);

} // namespace quavel
