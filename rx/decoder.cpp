#include "rx/decoder.h"

#include <string_view>

#include "modem/code_table.h"

namespace quavel {

namespace {

void append(TextSink& pane, char c) {
    if (c != 0) pane.insert(std::string_view(&c, 1));
}

int afc_vote(const ToneDecision& d) {
    if (d.silent) return 0;
    const int32_t centre = kToneBins[d.strongest].centre;
    if (d.strongest_peak_bin < centre) return +1;
    if (d.strongest_peak_bin > centre) return -1;
    return 0;
}

// The escapes and the print switch on one pair of tone numbers (a <= b).
void print_pair(DecoderState& state, int a, int b, TextSink& primary, TextSink& secondary) {
    const Decoded d = decode_pair(a, b, state.escape_pending);
    if (d.kind == DecodeKind::Escaped) {
        // Escaped characters print whatever the print switch says: they are rare and wanted.
        append(primary, d.primary);
        append(secondary, d.primary);
    } else if (d.kind == DecodeKind::Pair && state.print) {
        append(primary, d.primary);
        append(secondary, d.secondary);
    }
}

} // namespace

void decode_symbol(DecoderState& state, uint32_t symbol, TextSink& primary, TextSink& secondary) {
    if (symbol < 1 || symbol > static_cast<uint32_t>(kSymbolCount)) return;
    const TonePair& pair = kTonePairs[symbol - 1];
    print_pair(state, pair.a, pair.b, primary, secondary);
}

std::optional<CentreHz> decode_and_track(DecoderState& state, const ToneDecision& decision,
                                         CentreHz centre_hz, TextSink& primary,
                                         TextSink& secondary) {
    state.afc_counter += afc_vote(decision);

    const int a = decision.silent ? 5 : decision.a + 1;
    const int b = decision.silent ? 5 : decision.b + 1;
    print_pair(state, a, b, primary, secondary);

    if (!state.afc) return std::nullopt;
    int step_hz = 0;
    if (state.afc_counter > kAfcVoteLimit) {
        step_hz = -1; // the tones lie low: follow them down
    } else if (state.afc_counter < -kAfcVoteLimit) {
        step_hz = +1;
    }
    if (step_hz == 0) return std::nullopt;
    state.afc_counter = 0;
    const long long target = static_cast<long long>(centre_hz) + step_hz;
    if (!centre_in_range(target)) return std::nullopt;
    return static_cast<CentreHz>(target);
}

} // namespace quavel
