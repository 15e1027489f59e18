#include "modem/synthesis.h"

#include <cmath>

#include "modem/angles.h"

namespace quavel {

SymbolBank::SymbolBank() : rows_(new int16_t[kSymbolCount * kRowSamples]()) {}

void synthesise_symbol(std::span<int16_t> out, uint32_t symbol, float tone5_hz,
                       const SpeedProfile& p) {
    const TonePair pair = kTonePairs[symbol - 1];
    const float fa = tone5_hz + p.tone_offset_hz[pair.a - 1];
    const float fb = tone5_hz + p.tone_offset_hz[pair.b - 1];
    // The phase steps are rounded to float: the exact step would give other samples.
    const float wa = static_cast<float>(fa * kAirTwoPi * 0.000125);
    const float wb = static_cast<float>(fb * kAirTwoPi * 0.000125);
    for (uint32_t j = 0; j < p.N; ++j) {
        const float x = static_cast<float>(0.5 * std::sin(j * static_cast<double>(wa)));
        const float y = static_cast<float>(0.5 * std::sin(j * static_cast<double>(wb)) + x);
        const float z = y * p.pulse_shape[j];
        // The final product is not stored as a float before it is truncated.
        out[j] = static_cast<int16_t>(static_cast<double>(z) * kSymbolAmplitude);
    }
}

void build_test_bank(SymbolBank& bank, const SpeedProfile& p) {
    for (uint32_t r = 0; r < kSymbolCount; ++r) {
        synthesise_symbol(bank.row(r), r + 1, kTestBankCentreHz, p);
    }
}

} // namespace quavel
