// The channel's random numbers: our own generator and our own Gaussian method, so that one seed
// gives the same noise and the same fading on every platform and standard library (the standard
// engines' distributions are not specified to the bit).
//
// Uniforms come from xoshiro256** seeded through splitmix64; Gaussians from Marsaglia's polar
// method with the portable logarithm. Each Random is an independent stream; copying one copies
// its position.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

namespace quavel::channel {

class Random {
public:
    // Any seed is valid, 0 included: the state is filled by splitmix64 from it.
    explicit Random(uint64_t seed);

    uint64_t next_u64();
    // Uniform in [0, 1) with 53 random bits.
    double uniform();
    // Standard normal: mean 0, variance 1.
    double gaussian();
    // Circular complex Gaussian with E|z|^2 = 1 (each part has variance 1/2).
    std::complex<double> complex_gaussian();

private:
    std::array<uint64_t, 4> state_{};
    double spare_ = 0.0; // the polar method makes Gaussians in pairs
    bool has_spare_ = false;
};

// One step of splitmix64: advances `state` and returns the next output.
uint64_t splitmix64(uint64_t& state);

} // namespace quavel::channel
