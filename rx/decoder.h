// The character decoder and AFC: once per receive step it turns the tone pair into text for the
// two receive panes (primary alphabet in the first, secondary in the second) and lets automatic
// frequency control vote on where the strongest tone lies in its bin range. A net six votes one
// way since the last correction move the centre frequency 1 Hz, never outside the
// centre-frequency range.
#pragma once

#include <cstdint>
#include <optional>

#include "interfaces/text_pane.h"
#include "modem/tuning.h"
#include "rx/tone_decision.h"

namespace quavel {

// Net votes beyond which AFC corrects (six in a row are needed).
inline constexpr int32_t kAfcVoteLimit = 5;

struct DecoderState {
    bool escape_pending = false; // an escape symbol came; the next symbol completes it
    bool print = true;           // off: only escaped characters reach the panes
    bool afc = true;
    // Positive: the signal lies low (peaks below their centre bins). Counts with AFC off too.
    int32_t afc_counter = 0;

    // The AFC switch: turning it on starts the vote afresh.
    void set_afc(bool on) {
        if (on && !afc) afc_counter = 0;
        afc = on;
    }
};

// Decode-and-track for one decision, tuned to `centre_hz`. Characters go into `primary` and
// `secondary` at their carets. Returns the centre frequency an AFC correction moves to (always
// within the centre-frequency range; a correction that would leave it is dropped), for the
// caller to tune to; none when AFC stays put. A silent decision is the idle symbol and casts no
// vote. An escape followed by a pair other than the three escape pairs prints nothing.
std::optional<CentreHz> decode_and_track(DecoderState& state, const ToneDecision& decision,
                                         CentreHz centre_hz, TextSink& primary,
                                         TextSink& secondary);

// The same text for a receiver that decides whole symbols (1..45) rather than tone pairs: the
// escapes and the print switch as above, no AFC vote. Any other number prints nothing and leaves
// the escape state alone.
void decode_symbol(DecoderState& state, uint32_t symbol, TextSink& primary, TextSink& secondary);

} // namespace quavel
