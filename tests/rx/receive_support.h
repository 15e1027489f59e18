// Signals for the receiver's tests: transmissions built from our own symbol synthesis, white
// noise from a seeded generator of our own (the same numbers on every platform), and a run of
// the whole receive chain (capture, ring, demodulator, decoder) over a recording.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "modem/modem.h"

namespace quavel::rxtest {

// xorshift64* with a Box-Muller transform: portable Gaussian noise.
class NoiseSource {
public:
    explicit NoiseSource(uint64_t seed) : state_(seed ? seed : 1) {}
    double uniform();  // (0, 1)
    double gaussian(); // mean 0, variance 1

private:
    uint64_t state_;
    bool has_spare_ = false;
    double spare_ = 0.0;
};

struct Transmission {
    std::string_view text;
    int speed_item = 1;
    float centre_hz = 1000.0f;
    uint32_t lead_idle = 4;      // idle symbols before the text
    uint32_t tail_idle = 2;      // and after it
    uint32_t offset_samples = 0; // silence before the first symbol
    float amplitude = 1.0f;      // scale of the synthesised symbols
    double noise_sigma = 0.0;    // standard deviation of added white noise, in sample units
    uint64_t seed = 1;
};

// The samples of a transmission at 8000/s, clipped to 16 bits.
std::vector<int16_t> make_transmission(const Transmission& t);

struct Reception {
    std::string primary;
    std::string secondary;
    uint32_t centre_hz = 0;
    uint32_t sync_position = 0;
    uint64_t steps = 0;
    std::vector<int> first_minima; // the scope's first minimum after each step
};

struct ReceiveSettings {
    int speed_item = 1;
    uint32_t centre_hz = 1000;
    bool afc = true;
    bool auto_sync = true;
    bool test_mode = false;
};

// Feeds `samples` through capture into a fresh receiver (displays on memory canvases) as fast as
// they can be read, and collects what it prints.
Reception receive(std::span<const int16_t> samples, const ReceiveSettings& settings);

// True when `copy` is `text` after at most `stray` characters printed while the receiver settled.
bool copies(const std::string& copy, std::string_view text, size_t stray);

} // namespace quavel::rxtest
