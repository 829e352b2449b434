// The soft limiter on the built-in synthesizer's output: samples up to -1 dBFS pass unchanged,
// louder ones bend smoothly towards a ceiling just below full scale, so no song clips. A pure
// function; any thread may call it.
#pragma once

#include <algorithm>
#include <cmath>

namespace Kesh::Audio {

constexpr float kLimiterThreshold = 0.891251f;  // -1 dBFS
constexpr float kLimiterCeiling = 0.9999f;      // below full scale even after rounding to 16 bits

inline float SoftLimit(float x) {
  const float magnitude = std::fabs(x);
  if (magnitude <= kLimiterThreshold) {
    return x;
  }
  // Continuous in value and slope at the threshold; approaches the ceiling, never reaches it.
  constexpr float kRoom = kLimiterCeiling - kLimiterThreshold;
  const float bent = kLimiterThreshold + kRoom * std::tanh((magnitude - kLimiterThreshold) / kRoom);
  return std::copysign(std::min(bent, kLimiterCeiling), x);
}

}  // namespace Kesh::Audio
