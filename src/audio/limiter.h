// The level of the built-in synthesizer's output: the calibrated gain that brings a typical song's
// music to about -16 LUFS, and the soft limiter after it: samples up to -6 dBFS pass unchanged,
// louder ones bend smoothly towards a ceiling of -2 dBFS, which keeps the true peak (between the
// samples, and after lossy encoding) under -1 dBTP. Constants and a pure function; any thread may
// call it.
#pragma once

#include <algorithm>
#include <cmath>

namespace Kesh::Audio {

// The synthesizer's gain at a music level of 0 dB. At FluidSynth's default of 0.2 the music of
// the demo songs and three corpus songs measured -17 to -30 LUFS, median -25.3; +9.3 dB brings
// the median to -16 (see docs/audio.md).
constexpr float kCalibratedSynthGain = 0.58f;
// The most the synthesizer takes.
constexpr float kMaxSynthGain = 10.0f;

constexpr float kLimiterThreshold = 0.501187f;  // -6 dBFS
constexpr float kLimiterCeiling = 0.794328f;    // -2 dBFS

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
