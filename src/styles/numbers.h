// Conversions that keep damaged style data from overflowing: any thread, owns nothing.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace Kesh::Styles {

inline int SaturateInt(int64_t value) {
  constexpr int64_t kLow = std::numeric_limits<int>::min();
  constexpr int64_t kHigh = std::numeric_limits<int>::max();
  return static_cast<int>(value < kLow ? kLow : (value > kHigh ? kHigh : value));
}

// Truncation toward zero, saturated to the int range; NaN gives 0.
inline int TruncToInt(double value) {
  if (std::isnan(value)) {
    return 0;
  }
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);
}

// Frames of the scene for a span of milliseconds: trunc(rate / 1000 × ms).
inline int FramesOfMs(int64_t milliseconds, int frameRate) {
  return TruncToInt(static_cast<double>(frameRate) / 1000.0 * static_cast<double>(milliseconds));
}

}  // namespace Kesh::Styles
