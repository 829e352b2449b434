#include "framework/keyframing.h"

namespace Vell::Keyframing {

float Ease::Compute(float t, float easeOut, float easeIn) {
  const float sum = easeOut + easeIn;
  if (sum == 0.0f) {
    return t;
  }
  if (sum > 1.0f) {
    easeOut = easeOut / sum;
    easeIn = easeIn / sum;
  }
  const float v = 1.0f / (2.0f - easeOut - easeIn);
  if (t < easeOut) {
    return v * t * t / easeOut;
  }
  if (t < 1.0f - easeIn) {
    return v * (2.0f * t - easeOut);
  }
  if (easeIn == 0.0f) {
    return 1.0f;  // the end of a curve without arrival ease: its limit, not 0/0
  }
  const float u = 1.0f - t;
  return 1.0f - v * u * u / easeIn;
}

}  // namespace Vell::Keyframing
