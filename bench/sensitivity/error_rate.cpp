#include "error_rate.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace quavel::perf {

std::size_t edit_distance(std::string_view sent, std::string_view received) {
    std::vector<std::size_t> row(received.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= sent.size(); ++i) {
        std::size_t diagonal = row[0]; // distance of sent[0, i-1) to received[0, j-1)
        row[0] = i;
        for (std::size_t j = 1; j <= received.size(); ++j) {
            const std::size_t above = row[j];
            const std::size_t substitute = diagonal + (sent[i - 1] == received[j - 1] ? 0 : 1);
            row[j] = std::min({substitute, above + 1, row[j - 1] + 1});
            diagonal = above;
        }
    }
    return row[received.size()];
}

Crossing snr_at_cer(std::span<const CerPoint> curve, double threshold) {
    // The highest point above the threshold; everything after it is at or below.
    std::size_t above = curve.size();
    for (std::size_t i = curve.size(); i-- > 0;) {
        if (curve[i].cer > threshold) {
            above = i;
            break;
        }
    }
    if (above == curve.size()) return {Crossing::Kind::BelowRange, 0.0};
    if (above + 1 == curve.size()) return {Crossing::Kind::Floor, 0.0};
    const CerPoint& worse = curve[above];      // above the threshold
    const CerPoint& better = curve[above + 1]; // at or below it, a step up in SNR
    double fraction = 0.0;
    if (better.cer > 0.0) {
        fraction = (std::log10(worse.cer) - std::log10(threshold)) /
                   (std::log10(worse.cer) - std::log10(better.cer));
    } else {
        fraction = (worse.cer - threshold) / worse.cer;
    }
    return {Crossing::Kind::At, worse.snr_db + fraction * (better.snr_db - worse.snr_db)};
}

} // namespace quavel::perf
