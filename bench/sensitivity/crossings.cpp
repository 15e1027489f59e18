#include "crossings.h"

#include "table.h"

namespace quavel::perf {

std::vector<CerPoint> cer_curve(const std::vector<SnrPoint>& points,
                                double (SnrPoint::*cer)() const) {
    std::vector<CerPoint> out;
    for (const SnrPoint& p : points)
        out.push_back({p.snr_db, (p.*cer)()});
    return out;
}

std::optional<double> at(const Crossing& x) {
    return x.kind == Crossing::Kind::At ? std::optional<double>(x.snr_db) : std::nullopt;
}

std::optional<double> gap(const Crossing& a, const Crossing& b) {
    return a.kind == Crossing::Kind::At && b.kind == Crossing::Kind::At
               ? std::optional<double>(a.snr_db - b.snr_db)
               : std::nullopt;
}

std::string describe(const Crossing& c, const std::vector<CerPoint>& curve) {
    switch (c.kind) {
    case Crossing::Kind::At:
        return signed_fixed(c.snr_db, 1);
    case Crossing::Kind::Floor:
        return "not reached (" + signed_fixed(curve.empty() ? 0.0 : curve.back().snr_db, 1) +
               " max)";
    case Crossing::Kind::BelowRange:
        return "< " + signed_fixed(curve.empty() ? 0.0 : curve.front().snr_db, 1);
    }
    return "?";
}

std::string both_points(const std::vector<CerPoint>& curve) {
    return describe(snr_at_cer(curve, 0.01), curve) + " / " +
           describe(snr_at_cer(curve, 0.05), curve);
}

Crossings::Crossings(const Curve& c)
    : classic(cer_curve(c.points, &SnrPoint::receiver_cer)),
      weak(cer_curve(c.points, &SnrPoint::weak_cer)),
      ideal(cer_curve(c.points, &SnrPoint::ideal_cer)),
      limit(cer_curve(c.points, &SnrPoint::limit_cer)), classic1(snr_at_cer(classic, 0.01)),
      classic5(snr_at_cer(classic, 0.05)), weak1(snr_at_cer(weak, 0.01)),
      weak5(snr_at_cer(weak, 0.05)), ideal1(snr_at_cer(ideal, 0.01)),
      ideal5(snr_at_cer(ideal, 0.05)), limit1(snr_at_cer(limit, 0.01)),
      limit5(snr_at_cer(limit, 0.05)),
      limit_measured(!c.points.empty() && c.points.front().limit_measured) {}

std::string Crossings::describe_limit(const Crossing& c) const {
    return limit_measured ? describe(c, limit) : std::string("-");
}

std::optional<double> Crossings::limit_at(const Crossing& c) const {
    return limit_measured ? at(c) : std::nullopt;
}

std::optional<double> Crossings::ideal_over_limit(const Crossing& ideal_x,
                                                  const Crossing& limit_x) const {
    return limit_measured ? gap(ideal_x, limit_x) : std::nullopt;
}

const Curve* awgn_curve(const std::vector<Curve>& curves, uint32_t speed) {
    const Curve* found = nullptr;
    for (const Curve& c : curves) {
        if (c.speed == speed && c.kind == ChannelKind::Awgn) found = &c;
    }
    return found;
}

} // namespace quavel::perf
