// The power of a recording's signal, measured where the signal is: leading and trailing silence
// would otherwise dilute it and make a requested SNR come out too high.
//
// The recording is cut into blocks of kPowerBlockSamples (the last may be shorter) and each
// block's mean square is taken. A block is active when its mean square is at least
// kActiveBelowPeak times that of the loudest block and above kSilenceFloor (1 LSB rms for
// 16-bit audio), so dither and hum in a pause count as silence but quiet passages of a signal
// do not. The signal runs from the first sample of the first active block to the last sample of
// the last active block whose own square reaches that threshold, pauses inside it included, and
// its power is the mean square over that span.
#pragma once

#include <cstddef>
#include <span>

namespace quavel::channel {

inline constexpr std::size_t kPowerBlockSamples = 256; // 32 ms at 8000 samples per second
inline constexpr double kActiveBelowPeak = 1e-3;       // 30 dB below the loudest block
inline constexpr double kSilenceFloor = 1.0;           // squared LSB

struct SignalPower {
    std::size_t first_sample = 0; // the active span [first_sample, end_sample)
    std::size_t end_sample = 0;
    double mean_square = 0.0; // 0 when nothing is active
    bool silent() const { return end_sample == first_sample; }
};

SignalPower measure_signal_power(std::span<const double> signal);

} // namespace quavel::channel
