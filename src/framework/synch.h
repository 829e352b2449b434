// The frame timer: decides when the next frame of a given period is due.
#pragma once

#include <cstdint>

#include "framework/interfaces.h"

namespace Vell::Time {

class Synch : public ITriggerable {
 public:
  Synch();
  virtual ~Synch() = default;

  // true (and marks now) when at least period seconds passed since the last successful wait or
  // reset; otherwise false with the time still to wait in remaining, when given.
  bool Wait(float period, float* remaining);

  bool Start() override { return Reset(); }
  bool Stop() override { return true; }
  bool Reset() override;
  bool Prepare() override { return true; }

  float LastInterval() const { return lastInterval; }
  // Seconds since the last reset.
  float SinceReset() const;

 private:
  float frequency;
  float lastInterval = 0;
  uint64_t lastMark = 0;
  uint64_t resetMark = 0;
  uint64_t now = 0;
};

// Read-out parts of a time in milliseconds (truncated toward zero).
inline int64_t Minutes(int64_t ms) { return ms / 1000 / 60; }
inline int64_t Seconds(int64_t ms) { return (ms / 1000) % 60; }

}  // namespace Vell::Time
