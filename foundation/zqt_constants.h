// Numeric constants shared by the models.
#pragma once

#include <cstdint>
#include <string_view>

namespace zqt_constants {

// Line end of text files and messages: carriage return and line feed.
inline constexpr std::string_view CRLF = "\r\n";
// The largest Int64.
inline constexpr std::int64_t MaxInt64 = 9223372036854775807LL;
// 2 pi and pi / 2.
inline constexpr double TwoPi = 6.283185307179586;
inline constexpr double HalfPi = 1.5707963267948966;
// Degrees to radians and back.
inline constexpr double DegToRad = 0.017453292519943295;
inline constexpr double RadToDeg = 57.29577951308232;
// Earth gravitational constant, m^3/s^2.
inline constexpr double GM = 3.986005e14;
// Relativistic clock correction constant F, s/m^0.5.
inline constexpr double RelativisticF = -4.442807633e-10;

}  // namespace zqt_constants
