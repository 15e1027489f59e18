#include "channel/signal_power.h"

#include <algorithm>
#include <vector>

namespace quavel::channel {

SignalPower measure_signal_power(std::span<const double> signal) {
    const std::size_t blocks = (signal.size() + kPowerBlockSamples - 1) / kPowerBlockSamples;
    std::vector<double> block_power(blocks);
    double loudest = 0.0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t begin = b * kPowerBlockSamples;
        const std::size_t end = std::min(signal.size(), begin + kPowerBlockSamples);
        double sum = 0.0;
        for (std::size_t i = begin; i < end; ++i)
            sum += signal[i] * signal[i];
        block_power[b] = sum / static_cast<double>(end - begin);
        loudest = std::max(loudest, block_power[b]);
    }
    const double threshold = std::max(kSilenceFloor, loudest * kActiveBelowPeak);
    auto active = [&](double p) { return p >= threshold; };

    SignalPower result;
    const auto first = std::find_if(block_power.begin(), block_power.end(), active);
    if (first == block_power.end()) return result;
    const auto last = std::find_if(block_power.rbegin(), block_power.rend(), active);
    // Within the edge blocks the span starts and ends at the first and last sample that is
    // itself above the threshold; an active block always holds one.
    const auto first_block = static_cast<std::size_t>(first - block_power.begin());
    const auto last_block = blocks - 1 - static_cast<std::size_t>(last - block_power.rbegin());
    auto loud = [&](std::size_t i) { return signal[i] * signal[i] >= threshold; };
    std::size_t begin = first_block * kPowerBlockSamples;
    while (!loud(begin))
        ++begin;
    std::size_t end = std::min(signal.size(), (last_block + 1) * kPowerBlockSamples);
    while (!loud(end - 1))
        --end;
    result.first_sample = begin;
    result.end_sample = end;
    double sum = 0.0;
    for (std::size_t i = result.first_sample; i < result.end_sample; ++i)
        sum += signal[i] * signal[i];
    result.mean_square = sum / static_cast<double>(result.end_sample - result.first_sample);
    return result;
}

} // namespace quavel::channel
