// Elementary functions built from IEEE-754 addition, multiplication, division and the exactly
// rounded square root only, so that the channel simulator gives the same bits on every platform
// and with every C library (the standard library's log, exp, sin and cos may differ in the last
// place between implementations). Each is accurate to a few units in the last place over the
// range it documents; the library is compiled without floating-point contraction.
#pragma once

namespace quavel::channel {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kLn2 = 0.69314718055994530942;
inline constexpr double kLn10 = 2.30258509299404568402;

// Natural logarithm of x > 0 (finite). Returns -infinity for 0 and NaN for negative or NaN.
double portable_log(double x);

// e^x for any finite x; underflows to 0 below about -745 and overflows to +infinity above 709.
double portable_exp(double x);

// Sine and cosine of an angle given in turns (1 turn = 2 pi radians). Taking the angle in turns
// lets the reduction to a quadrant be exact, so |turns| may be as large as 2^50.
struct SinCos {
    double sin;
    double cos;
};
SinCos portable_sin_cos_turns(double turns);

// The modified Bessel function of the first kind of order zero, for 0 <= x <= 50 (the Kaiser
// window's range).
double bessel_i0(double x);

} // namespace quavel::channel
