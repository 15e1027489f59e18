// Symbol waveforms. Each symbol is computed once into a row of a symbol bank (signed 16-bit
// samples at 8000/s); the transmitter copies rows, the self-test feeds test-bank rows to the
// receiver. Both tones start at phase zero on a symbol's first sample.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "modem/code_table.h"
#include "modem/speed_profile.h"
#include "modem/tuning.h"

namespace quavel {

inline constexpr CentreHz kTestBankCentreHz = 900;
inline constexpr int kSymbolAmplitude = 30000;

// 45 rows of 8192 samples; row r holds symbol number r + 1. Only the first N samples of a row
// are meaningful; after a change to a shorter N the rest keeps what a longer N left.
class SymbolBank {
public:
    static constexpr uint32_t kRowSamples = kMaxSymbolSamples;
    SymbolBank();
    std::span<int16_t, kRowSamples> row(uint32_t r) {
        return std::span<int16_t, kRowSamples>(rows_.get() + r * kRowSamples, kRowSamples);
    }
    std::span<const int16_t, kRowSamples> row(uint32_t r) const {
        return std::span<const int16_t, kRowSamples>(rows_.get() + r * kRowSamples, kRowSamples);
    }

private:
    std::unique_ptr<int16_t[]> rows_;
};

// Writes the first p.N samples of symbol number `symbol` (1..45) with tone 5 at `tone5_hz` into
// `out` (at least p.N samples). The frequency may lie between whole hertz (a station off the
// tuning); the tones are computed in float from it.
void synthesise_symbol(std::span<int16_t> out, uint32_t symbol, float tone5_hz,
                       const SpeedProfile& p);
// The same at a centre frequency as the tuning holds it.
inline void synthesise_symbol(std::span<int16_t> out, uint32_t symbol, CentreHz centre,
                              const SpeedProfile& p) {
    synthesise_symbol(out, symbol, static_cast<float>(centre), p);
}

// Rebuilds all 45 rows at the test-bank centre of 900 Hz for the profile's N.
void build_test_bank(SymbolBank& bank, const SpeedProfile& p);

} // namespace quavel
