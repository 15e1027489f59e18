// A curve of both receivers on the same audio: per SNR the characters sent and each receiver's
// errors, and where each crosses 5% CER.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "error_rate.h"

namespace quavel::perf {

struct PairPoint {
    double snr_db = 0.0;
    int overs = 0;
    std::size_t chars = 0;
    std::size_t band_errors = 0;
    std::size_t weak_errors = 0;
    int unlisted = 0;            // overs of which the band receiver printed no line
    std::size_t wrong_speed = 0; // band lines with a speed not the over's
    // The other stations of the same recordings (not measured: company), by the band receiver.
    int others = 0;
    int others_listed = 0;
    std::size_t others_chars = 0;
    std::size_t others_errors = 0;
    std::size_t false_lines = 0; // lines near no station
    double band_cer() const { return chars ? double(band_errors) / double(chars) : 0.0; }
    double weak_cer() const { return chars ? double(weak_errors) / double(chars) : 0.0; }
    double others_cer() const {
        return others_chars ? double(others_errors) / double(others_chars) : 0.0;
    }
};

struct PairCurve {
    uint32_t speed = 0;
    std::vector<PairPoint> points; // in increasing SNR
    Crossing band5() const;
    Crossing weak5() const;
};

inline constexpr double kCerTarget = 0.05;

// The SNR of a crossing that was reached.
std::optional<double> crossing_db(const Crossing& c);

} // namespace quavel::perf
