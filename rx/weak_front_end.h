// The weak-signal receiver's front end: mixes the 8000 samples/s input down to complex baseband
// around a reference frequency and keeps every 16th sample of it after a low-pass, giving 500
// complex samples/s. The low-pass passes +-100 Hz (the widest tone set, +-64 Hz, plus a 20 Hz
// search and the pulse's own width) flat and is more than 70 dB down from 400 Hz, where what would
// fold onto that passband begins. A noise blanker (noise_blanker.h) silences impulses first,
// and the steps of a receiver's AGC are undone next (level_steps.h);
// a carrier canceller (carrier_canceller.h) takes steady carriers out of the baseband last.
// Allocation-free after construction.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>

#include "rx/carrier_canceller.h"
#include "rx/level_steps.h"
#include "rx/noise_blanker.h"

namespace quavel {

inline constexpr uint32_t kWeakDecimation = 16;
inline constexpr double kWeakRateHz = 8000.0 / kWeakDecimation; // baseband samples per second

class WeakFrontEnd {
public:
    static constexpr int kTaps = 161; // odd: a delay of 80 input samples, 5 baseband samples

    WeakFrontEnd();

    // Forgets everything and mixes around `reference_hz` (any value; 0..4000 makes sense).
    void reset(double reference_hz);

    // Moves the mixing reference; the filter's memory is kept, so the baseband stays continuous
    // apart from the change of frequency itself.
    void set_reference(double reference_hz);
    double reference_hz() const { return reference_hz_; }

    // The noise blanker in front of the mixer (on unless switched off); reset() resets it.
    NoiseBlanker& blanker() { return blanker_; }
    const NoiseBlanker& blanker() const { return blanker_; }
    // What undoes a receiver AGC's steps, after the blanker; reset() resets it.
    const LevelSteps& level_steps() const { return level_steps_; }
    // The carrier canceller after the low-pass; reset() resets it.
    const CarrierCanceller& carriers() const { return carriers_; }
    CarrierCanceller& carriers() { return carriers_; }

    // Takes input samples and writes the baseband samples they complete into `out` (at least
    // samples.size() / 16 + 1 entries); returns how many.
    std::size_t push(std::span<const int16_t> samples, std::span<std::complex<float>> out);

private:
    NoiseBlanker blanker_;
    LevelSteps level_steps_;
    CarrierCanceller carriers_{8000.0 / kWeakDecimation};
    std::array<float, kTaps> taps_{};
    // The last kTaps mixed samples, written twice so that a whole span is always contiguous.
    std::array<std::complex<float>, 2 * kTaps> history_{};
    int head_ = 0;       // where the next sample goes (0..kTaps-1)
    uint32_t phase_ = 0; // input samples since the last output, 0..15
    double reference_hz_ = 0.0;
    std::complex<double> oscillator_{1.0, 0.0};
    std::complex<double> step_{1.0, 0.0};
    uint32_t since_renormalise_ = 0;
};

} // namespace quavel
