#include "render/ending.h"

#include <algorithm>
#include <cmath>

namespace Kesh::Render {

void Ending::Frame(int16_t* sound, size_t frameCount, bool showEnded) {
  if (done) {
    return;
  }
  double energy = 0;
  for (size_t i = 0; i < frameCount * 2; ++i) {
    energy += static_cast<double>(sound[i]) * sound[i];
  }
  const double rms = frameCount > 0 ? std::sqrt(energy / static_cast<double>(frameCount * 2)) : 0;
  const double db = 20.0 * std::log10(std::max(rms, 1e-9) / 32768.0);
  // Counted before the end too: a show that is silent when it ends stops there.
  quietMs = db < kQuietDb ? quietMs + frameMs : 0;
  if (!showEnded) {
    return;
  }
  afterEndMs = afterEndMs < 0 ? 0 : afterEndMs + frameMs;
  // Fading: the gain falls linearly from 1 at kMaxMs - kFadeMs to 0 at kMaxMs, sample by sample.
  const int fadeStart = kMaxMs - kFadeMs;
  if (afterEndMs + frameMs > fadeStart) {
    for (size_t i = 0; i < frameCount; ++i) {
      const double at = afterEndMs + static_cast<double>(i) * frameMs / frameCount;
      const double gain = std::clamp((kMaxMs - at) / kFadeMs, 0.0, 1.0);
      for (size_t c = 0; c < 2; ++c) {
        sound[i * 2 + c] = static_cast<int16_t>(std::lround(sound[i * 2 + c] * gain));
      }
    }
  }
  done = quietMs >= kQuietMs || afterEndMs + frameMs >= kMaxMs;
}

}  // namespace Kesh::Render
