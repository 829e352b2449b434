#include "framework/synch.h"

#include "platform/platform.h"

namespace Vell::Time {

Synch::Synch() : frequency(static_cast<float>(Platform::CounterFrequency())) {}

bool Synch::Wait(float period, float* remaining) {
  now = Platform::CounterNow();
  const float dt = static_cast<float>(now - lastMark) / frequency;
  if (period <= dt) {
    lastInterval = dt;
    lastMark = now;
    if (remaining != nullptr) {
      *remaining = 0;
    }
    return true;
  }
  if (remaining != nullptr) {
    *remaining = period - dt;
  }
  return false;
}

bool Synch::Reset() {
  lastMark = resetMark = Platform::CounterNow();
  return true;
}

float Synch::SinceReset() const {
  return static_cast<float>(Platform::CounterNow() - resetMark) / frequency;
}

}  // namespace Vell::Time
