// A plain complex FFT for the weak-signal receiver's frequency search: radix 2, in place, forward
// (e^{-2 pi i k t / n}), unscaled, sizes up to kMaxSize with the twiddles computed once.
// The classic receiver's transforms (rx/fft.h) keep their own numerics; this one need not.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <span>

namespace quavel {

class WeakFft {
public:
    static constexpr uint32_t kMaxSize = 2048;

    WeakFft();

    // `data.size()` must be a power of two from 2 to kMaxSize; other sizes are left untouched.
    void forward(std::span<std::complex<float>> data) const;

private:
    std::array<std::complex<float>, kMaxSize / 2> twiddle_{}; // e^{-2 pi i k / kMaxSize}
};

} // namespace quavel
