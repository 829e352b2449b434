// Per-channel gain stage with a linear ramp and a queue of further ramps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class TVolumer {
 public:
  struct VolNode {
    std::vector<float> gains;
    uint32_t duration;  // frames
  };

  // Gains are kept finite and within +-kMaxGain so that gained samples stay well inside int32.
  static constexpr float kMaxGain = 64.0f;

  explicit TVolumer(const std::vector<float>& gains);
  TVolumer(const TVolumer& other) = default;
  TVolumer& operator=(const TVolumer& other) = default;

  void SetTarget(const std::vector<float>& gains, int32_t frames);
  void Ramp(const std::vector<float>& gains, int32_t frames);
  void AddNode(const std::vector<float>& gains, uint32_t frames);
  void Advance(uint32_t frames);

  // Multiplies the first Channels() values by the active gains, truncating toward zero.
  void Apply(int32_t* frame) const {
    const float* g = muted_ ? zeros_.data() : current_.data();
    for (size_t i = 0, n = current_.size(); i < n; ++i) {
      frame[i] = static_cast<int32_t>(static_cast<float>(frame[i]) * g[i]);
    }
  }
  // Advance(1), with the common cases inline.
  void Advance1() {
    if (remaining_ > 0) {
      float* c = current_.data();
      const float* s = slope_.data();
      for (size_t i = 0, n = current_.size(); i < n; ++i) {
        c[i] = c[i] + s[i];
      }
      if (--remaining_ > 0) {
        return;
      }
    }
    if (nodes_.empty()) {
      remaining_ = 0;
      return;
    }
    StartNextNode(0);
  }

  void Mute(bool mute) { muted_ = mute; }
  bool IsMuted() const { return muted_; }
  bool IsFinished() const { return remaining_ == 0; }
  bool IsIdentity() const;
  void Copy(const TVolumer& other) { *this = other; }

  // Raw access for the mixer's inner loops, which keep the gains in locals between frames and
  // write them back (with the frames left) before any node change.
  float* CurrentData() { return current_.data(); }
  const float* SlopeData() const { return slope_.data(); }
  void SetRemaining(int32_t frames) { remaining_ = frames; }
  bool HasNodes() const { return !nodes_.empty(); }

  size_t Channels() const { return current_.size(); }
  const std::vector<float>& Current() const { return current_; }
  const std::vector<float>& Active() const { return muted_ ? zeros_ : current_; }
  int32_t Remaining() const { return remaining_; }
  size_t PendingNodes() const { return nodes_.size(); }

 private:
  void StartNextNode(int32_t over);

  std::vector<float> current_;
  std::vector<float> zeros_;
  std::vector<float> slope_;
  int32_t remaining_ = 0;
  bool muted_ = false;
  std::deque<VolNode> nodes_;
};
