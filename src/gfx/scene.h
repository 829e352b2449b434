// A timed scene: a frame position between a start and an end at a frame rate.
#pragma once

#include <cstdint>
#include <string>

#include "framework/interfaces.h"
#include "framework/object.h"

namespace Vell {

struct SceneInfo {
  std::string name;
  int start = 0;
  int end = 0;
  int frameRate = 0;
  int spare = 0;
};

class Scene : public Object, public IScene, public ITrackable, public ITriggerable {
 public:
  static constexpr int kUnitFrames = 1;
  static constexpr int kUnitMilliseconds = 2;

  explicit Scene(std::string name = "", int frameRate = 30);

  // Units: 1 frames; 2 milliseconds, converted with the frame rate and truncated; other units
  // store the value unchanged.
  virtual void SetPosition(int64_t value, int unit);
  virtual void GetInfo(SceneInfo& info) const;

  // IScene
  void Render(int target) override {}
  int64_t GetPosition() const override { return position; }
  void SetStart(int64_t value, int unit) override { start = ToFrames(value, unit); }
  int64_t GetStart() const override { return start; }
  void SetEnd(int64_t value, int unit) override { end = ToFrames(value, unit); }
  int64_t GetEnd() const override { return end; }
  int64_t GetLength() const override { return static_cast<int64_t>(end) - start; }
  void SetFrameRate(int rate) override { frameRate = rate; }
  int GetFrameRate() const override { return frameRate; }
  int64_t GetSpare() const override { return spare; }

  // ITrackable
  void Track(int frame) override { position = frame; }

  // ITriggerable
  bool Start() override { return true; }
  bool Stop() override { return true; }
  bool Reset() override { return true; }
  bool Prepare() override { return true; }

 protected:
  int ToFrames(int64_t value, int unit) const;

  int position = 0;
  int start = 0;
  int end = 0;
  int frameRate = 30;
  int spare = 160;
};

}  // namespace Vell
