#include "pair_curve.h"

namespace quavel::perf {

namespace {

Crossing cross(const std::vector<PairPoint>& points, double (PairPoint::*cer)() const) {
    std::vector<CerPoint> curve;
    for (const PairPoint& p : points)
        curve.push_back({p.snr_db, (p.*cer)()});
    return snr_at_cer(curve, kCerTarget);
}

} // namespace

Crossing PairCurve::band5() const {
    return cross(points, &PairPoint::band_cer);
}

Crossing PairCurve::weak5() const {
    return cross(points, &PairPoint::weak_cer);
}

std::optional<double> crossing_db(const Crossing& c) {
    return c.kind == Crossing::Kind::At ? std::optional<double>(c.snr_db) : std::nullopt;
}

} // namespace quavel::perf
