#pragma once
// The arithmetic the programs were written with: rounding half to even when a number becomes a
// whole number, integer division that rounds down, and 16-bit signed counters that wrap.
#include <cmath>
#include <cstdint>

namespace VbMath {
// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
inline long long roundEven(double x) { return static_cast<long long>(std::nearbyint(x)); }
// x rounded to that many decimals, halves to the even neighbour (0.125 to two decimals -> 0.12).
inline double roundTo(double x, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::nearbyint(x * scale) / scale;
}
// Division rounding down (towards minus infinity).
inline long long intDiv(long long a, long long b) {
  long long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
// The value a 16-bit signed counter holds after x.
inline int16_t toInt16(long long x) { return static_cast<int16_t>(static_cast<uint16_t>(x & 0xFFFF)); }
}  // namespace VbMath
