// What the demodulator hands the character decoder once per receive step.
#pragma once

#include <cstdint>

namespace quavel {

struct ToneDecision {
    // The tone pair as tone indices 0..8 (tone number - 1), a <= b; a == b for a single tone.
    int a = 4;
    int b = 4;
    // The strongest tone (index 0..8) and the bin of its peak among the band magnitudes; the
    // AFC vote compares that bin with the tone's centre bin.
    int strongest = 4;
    int32_t strongest_peak_bin = 0;
    // No tone had any energy (digital silence): the pair is the idle symbol and the step must
    // not vote on the frequency.
    bool silent = false;
};

} // namespace quavel
