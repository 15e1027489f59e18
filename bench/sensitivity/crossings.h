// Where the measured curves cross 1% and 5% CER, and how the document writes such a point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "curves.h"
#include "error_rate.h"

namespace quavel::perf {

// One receiver's curve out of the sweep's points, e.g. &SnrPoint::weak_cer.
std::vector<CerPoint> cer_curve(const std::vector<SnrPoint>& points,
                                double (SnrPoint::*cer)() const);

// The SNR of a crossing that was reached.
std::optional<double> at(const Crossing& x);

// How far `a` lies above `b`, when both were reached.
std::optional<double> gap(const Crossing& a, const Crossing& b);

// "+3.2", "not reached (+12.0 max)" (an error floor), "< -20.0" (below the swept range).
std::string describe(const Crossing& c, const std::vector<CerPoint>& curve);

// "1% point / 5% point", each described.
std::string both_points(const std::vector<CerPoint>& curve);

// One curve's three receivers and two detectors and where each crosses 1% and 5%.
struct Crossings {
    explicit Crossings(const Curve& c);
    std::vector<CerPoint> classic, weak, ideal, limit;
    Crossing classic1, classic5, weak1, weak5, ideal1, ideal5, limit1, limit5;
    bool limit_measured = false; // false: the limit's points and crossings mean nothing

    // The limit detector's crossing as the document writes it, "-" when not measured.
    std::string describe_limit(const Crossing& c) const;
    // Its SNR, and how far the ideal detector's crossing lies above it; none when not measured.
    std::optional<double> limit_at(const Crossing& c) const;
    std::optional<double> ideal_over_limit(const Crossing& ideal_x, const Crossing& limit_x) const;
};

// The last AWGN curve of `speed` (a speed asked for twice has two), if any.
const Curve* awgn_curve(const std::vector<Curve>& curves, uint32_t speed);

} // namespace quavel::perf
