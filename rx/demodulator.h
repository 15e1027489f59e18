// The symbol demodulator: the signal work of one receive step, from one symbol of audio at
// 8000 samples per second to the tone pair heard in the symbol before it (decoding runs one
// symbol behind the audio). It decimates to 4000/s into a sliding analysis buffer of two symbol
// lengths, band-limits that around the centre frequency with a forward and an inverse FFT,
// normalises the middle half into a two-symbol history, finds the symbol timing from the energy
// dips between symbols, transforms one symbol length at the sync position and picks the strongest
// and second-strongest of the nine tones. It draws the waterfall line, the sync scope and the
// symbol spectrum at the points where their intermediate values exist.
//
// The gate, the choice of source (capture ring or test bank), the decoding and the advance of
// the ring belong to the receiver (rx/receiver.h), which calls demodulate() in between.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "modem/code_table.h"
#include "modem/speed_profile.h"
#include "modem/tuning.h"
#include "rx/displays.h" // ReceiveDisplays, kScopeColumns
#include "rx/tone_decision.h"

namespace quavel {

// Room for the band magnitudes: the passband holds 74 or 75 symbol-spectrum points.
inline constexpr uint32_t kMaxBandMagnitudes = 80;
// Points of the symbol spectrum at speeds 1 and 2 (2048 at speed 4).
inline constexpr uint32_t kMaxSymbolSpectrumPoints = 4096;

// Everything the demodulator keeps from one step to the next, sized for the largest profile.
// Spectra are interleaved complex floats addressed from 1 (index 0 unused), as the FFT takes them.
struct DemodulatorState {
    std::array<int16_t, kMaxSymbolSamples> analysis{};   // N samples at 4000/s
    std::array<float, 2 * kMaxSymbolSamples + 1> work{}; // N points
    std::array<float, kMaxSymbolSamples / 2> new_half{}; // H values
    // 2H values in use: the previous step's normalised samples, then this step's. At speed 4
    // the last scope column reads one value past them (index 2H), which exists here and holds
    // whatever a slower profile left (0 at start).
    std::array<float, kMaxSymbolSamples + 1> history{};
    // Running average over four scope columns; it runs on across steps.
    std::array<float, 4> scope_average{};
    uint32_t scope_position = 0;
    std::array<float, 2 * kMaxSymbolSpectrumPoints + 1> symbol_spectrum{}; // M points
    std::array<float, kMaxBandMagnitudes> band_magnitude{};
    uint32_t band_count = 0;
    std::array<float, kToneCount> tone_peak{};
    std::array<int32_t, kToneCount> peak_bin{}; // keeps its value when a tone has no energy

    // Results of the last step, kept for the displays' callers and for tests.
    bool overload = false;
    float normalise_peak = 0.01f;
    int first_minimum = -1;  // scope column 0..63, or -1 when no column fell below 10000
    int second_minimum = -1; // scope column 64..127, or -1

    // Where the slice of the last symbol decoded began, in this step's history (it moves back
    // H values with every step, so it is usually negative). When the sync position jumps by
    // about a symbol, this is what tells a symbol already decoded from one stepped over.
    bool slice_known = false;
    int32_t decoded_slice = 0;

    // After a return from transmitting the scope average starts afresh.
    void clear_scope_average() {
        scope_average = {};
        scope_position = 0;
    }
    // The audio before this point no longer joins the audio after it (a new speed, a return
    // from transmitting): the next step decodes whatever its slice holds.
    void forget_slice() { slice_known = false; }
};

// What one step decided, in air order. Usually one symbol; none when the sync position jumped
// back onto the symbol decoded in the step before; two when it jumped past one, which is then
// decoded first from the start of the history.
struct StepDecisions {
    std::array<ToneDecision, 2> symbols{};
    uint32_t count = 0;
    std::span<const ToneDecision> decided() const { return {symbols.data(), count}; }
};

// One symbol of audio through the demodulator. `source` holds N samples at 8000/s (a capture
// symbol or a test-bank row); every other one, from the first, is taken. The sync position in
// `profile` moves when `auto_sync` is on and the scope shows two dips one symbol apart; a
// position beyond 63 x N/128 is brought back to it. `displays` may be null (nothing drawn); the
// spectrum shows the slice at the sync position. A source shorter than N gives one silent
// decision.
StepDecisions demodulate(DemodulatorState& state, std::span<const int16_t> source,
                         SpeedProfile& profile, const Tuning& tuning, bool auto_sync,
                         ReceiveDisplays* displays, float waterfall_sensitivity);

// The tone decision on `state.band_magnitude`: each tone's peak within its bin range (its peak
// bin kept from before when the range is all zero), the strongest tone and the strongest of the
// others (equal peaks go to the lower tone), and one tone alone unless ratio x second >= first.
// All peaks zero gives a silent decision.
ToneDecision pick_tones(DemodulatorState& state, float single_tone_ratio);

// The auto-sync rule on the two scope minima: the new sync position, or `current` when the dips
// are not one symbol apart (61..67 columns), when the first is at column 0, or when either half
// had no minimum (-1).
uint32_t auto_sync_position(int first_minimum, int second_minimum, uint32_t N, uint32_t current);

} // namespace quavel
