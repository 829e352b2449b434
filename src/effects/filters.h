// The stage filters: whole-frame effects with a time window, applied to the canvas in place after
// the sprites are drawn. A fade darkens the picture toward a target level; a strobe flashes it
// bright at a fixed period. The collector owns its filters. Frame thread only (or any thread that
// holds the frame lock).
#pragma once

#include <vector>

#include "framework/collections.h"
#include "framework/exception.h"
#include "framework/interfaces.h"
#include "gfx/canvas.h"
#include "gfx/image.h"

namespace Vell::Gfx::GDI::Filters {

class Filter : public Collections::Collectable, public ITrackable {
 public:
  // Raised by the fade and strobe constructors when fewer than two parameters are given.
  class InvalidParamList : public Exception {};

  Filter(const char* name, int start, int end, const std::vector<float>& params);

  // Changes the bitmap's pixels in place (and marks it changed).
  virtual void Apply(Image* bitmap) = 0;
  virtual bool IsFinished() const { return lastTime >= end; }
  virtual void Restart() {}
  virtual void SetParams(const std::vector<float>& params) = 0;

  int start;
  int end;
  int lastTime;  // frame of the previous Track
};

class Fade : public Filter {
 public:
  // params: target level, rate per frame. startAtTarget: the level starts at the target, else 0.
  Fade(const char* name, int start, int end, const std::vector<float>& params,
       bool startAtTarget = false);

  void Track(int frame) override;
  // Subtracts trunc(level) from blue, green and red of every pixel, floored at 0.
  void Apply(Image* bitmap) override;
  // Fading out: at level 0; otherwise at or beyond the target.
  bool IsFinished() const override;
  // Jumps: fading out to level 0, otherwise to the target.
  void Restart() override;
  // The first value is the new target, a second one the new rate.
  void SetParams(const std::vector<float>& params) override;

  float level;
  float target;
  float rate;
  bool fadingOut = false;
};

class Strobe : public Filter {
 public:
  // params: frames between toggles, brightness added while lit.
  Strobe(const char* name, int start, int end, const std::vector<float>& params);

  // Toggles once more than period frames have gathered since the last toggle. With a flash
  // limit, a switch-on comes no sooner than minOnInterval frames after the previous one: it waits,
  // and the strobe stays dark meanwhile.
  void Track(int frame) override;
  // While lit, adds the brightness to blue, green and red of every pixel, capped at 255.
  void Apply(Image* bitmap) override;
  void SetParams(const std::vector<float>& params) override {}

  int elapsed = 0;
  int period;
  int brightness;  // 0 ... 255
  bool lit = false;
  int minOnInterval = 0;          // fewest frames between two switch-ons; 0: no limit
  int lastOn = kNeverSwitchedOn;  // frame of the latest switch-on

  static constexpr int kNeverSwitchedOn = -0x40000000;
};

// The filters of one stage, owned: destroyed with the collector or by DeleteAll.
class Collector : public Collections::CollectorMapped {
 public:
  Collector() = default;
  ~Collector() override { DeleteAll(); }

  // For each filter in ascending id order whose window holds frame: Track, then Apply to the
  // canvas. No canvas: nothing.
  void Apply(int frame, Canvas* canvas);
};

}  // namespace Vell::Gfx::GDI::Filters
