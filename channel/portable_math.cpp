#include "channel/portable_math.h"

#include <cmath>
#include <limits>

namespace quavel::channel {

double portable_log(double x) {
    if (std::isnan(x) || x < 0.0) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return -std::numeric_limits<double>::infinity();
    if (std::isinf(x)) return x;
    // x = m * 2^e with m in [sqrt(1/2), sqrt(2)); frexp and the doubling are exact.
    int e = 0;
    double m = std::frexp(x, &e);
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    // ln m = 2 atanh(u) with |u| <= 0.1716; the odd series has converged by u^29.
    const double u = (m - 1.0) / (m + 1.0);
    const double u2 = u * u;
    double sum = 0.0;
    for (int k = 29; k >= 3; k -= 2)
        sum = (sum + 1.0 / k) * u2;
    return static_cast<double>(e) * kLn2 + 2.0 * u * (1.0 + sum);
}

double portable_exp(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.8) return std::numeric_limits<double>::infinity();
    if (x < -745.2) return 0.0;
    // x = k ln2 + r with |r| <= ln2 / 2; the Taylor series of e^r has converged by r^22.
    // ln2 is split so that k times its leading part is exact (|k| < 2^11).
    constexpr double kLn2High = 6.93147180369123816490e-01;
    constexpr double kLn2Low = 1.90821492927058770002e-10;
    const double k = std::nearbyint(x / kLn2);
    const double r = (x - k * kLn2High) - k * kLn2Low;
    double sum = 1.0;
    for (int n = 22; n >= 1; --n)
        sum = 1.0 + sum * r / n;
    return std::ldexp(sum, static_cast<int>(k));
}

SinCos portable_sin_cos_turns(double turns) {
    // Reduce to the nearest quarter turn: both subtractions are exact in binary floating point,
    // and a quarter turn is an exact swap of sine and cosine with a sign.
    const double whole = std::nearbyint(turns);
    const double frac = turns - whole; // [-1/2, 1/2]
    const double quarter = std::nearbyint(frac * 4.0);
    const double r = frac - quarter * 0.25; // [-1/8, 1/8]
    const double x = r * (2.0 * kPi);       // [-pi/4, pi/4]
    const double x2 = x * x;
    // Taylor series; at |x| = pi/4 the terms beyond x^23 are below 1e-22.
    double s = 0.0;
    double c = 0.0;
    for (int n = 23; n >= 3; n -= 2)
        s = (1.0 - s) * x2 / (n * (n - 1));
    for (int n = 24; n >= 2; n -= 2)
        c = (1.0 - c) * x2 / (n * (n - 1));
    const double sin_r = x * (1.0 - s);
    const double cos_r = 1.0 - c;
    // quarter is -2..2; -2 and 2 are the same half turn.
    switch ((static_cast<int>(quarter) + 4) % 4) {
    case 0:
        return {sin_r, cos_r};
    case 1:
        return {cos_r, -sin_r};
    case 2:
        return {-sin_r, -cos_r};
    default:
        return {-cos_r, sin_r};
    }
}

double bessel_i0(double x) {
    // I0(x) = sum over k of ((x/2)^k / k!)^2; at x = 50 the terms fall below 1e-17 of the sum
    // before k = 120.
    const double half = x / 2.0;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 200; ++k) {
        const double ratio = half / k;
        term *= ratio * ratio;
        sum += term;
        if (term < sum * 1e-18) break;
    }
    return sum;
}

} // namespace quavel::channel
