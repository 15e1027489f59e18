// The whole turn, as the signal has always been made with it and as it is.
//
// Every formula that shapes what goes on the air (the tone and tune phase steps, the pulse and
// window shapes, the receiver's transforms) takes a whole turn as 6.2831852, a little short of
// 2 pi. Other stations make and hear the signal with that value, so it stays bit for bit; the
// Morse identification's tone was made with 6.283185 and stays so too. Anything that measures
// rather than makes the signal uses the true 2 pi.
#pragma once

namespace quavel {

inline constexpr double kAirTwoPi = 6.2831852;
inline constexpr double kMorseTwoPi = 6.283185;
inline constexpr double kTwoPi = 6.283185307179586476925;

} // namespace quavel
