#include "ovatix/volumer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

float SaneGain(float g) {
  if (!std::isfinite(g)) {
    return std::isnan(g) ? 0.0f : (g > 0 ? TVolumer::kMaxGain : -TVolumer::kMaxGain);
  }
  return std::clamp(g, -TVolumer::kMaxGain, TVolumer::kMaxGain);
}

std::vector<float> SaneGains(const std::vector<float>& given, size_t channels) {
  // Missing channels repeat the last given gain.
  std::vector<float> gains = given;
  gains.resize(channels, gains.empty() ? 0.0f : gains.back());
  for (float& g : gains) {
    g = SaneGain(g);
  }
  return gains;
}

}  // namespace

TVolumer::TVolumer(const std::vector<float>& gains)
    : current_(SaneGains(gains, gains.size())),
      zeros_(current_.size(), 0.0f),
      slope_(current_.size(), 0.0f) {}

void TVolumer::SetTarget(const std::vector<float>& gains, int32_t frames) {
  std::vector<float> g = SaneGains(gains, current_.size());
  if (frames > 0) {
    remaining_ = frames;
    for (size_t i = 0; i < current_.size(); ++i) {
      slope_[i] = static_cast<float>((g[i] - current_[i]) / static_cast<float>(frames));
    }
  } else {
    current_ = std::move(g);
    remaining_ = 0;
  }
}

void TVolumer::Ramp(const std::vector<float>& gains, int32_t frames) {
  nodes_.clear();
  SetTarget(gains, frames);
}

void TVolumer::AddNode(const std::vector<float>& gains, uint32_t frames) {
  nodes_.push_back(VolNode{gains, frames});
  if (remaining_ == 0) {
    Advance(0);
  }
}

void TVolumer::Advance(uint32_t frames) {
  // Frame counts beyond int32 are spent in steps so that remaining never overflows.
  while (frames > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    Advance(static_cast<uint32_t>(std::numeric_limits<int32_t>::max()));
    frames -= static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  }
  const auto k = static_cast<int32_t>(frames);
  if (remaining_ > 0 && k != 0) {
    const int32_t m = std::min(remaining_, k);
    const auto fm = static_cast<float>(m);
    for (size_t i = 0; i < current_.size(); ++i) {
      current_[i] = current_[i] + fm * slope_[i];
    }
    remaining_ -= k;
  }
  const int32_t over = remaining_;
  if (over > 0) {
    return;
  }
  if (nodes_.empty()) {
    remaining_ = 0;
    return;
  }
  StartNextNode(over);
}

void TVolumer::StartNextNode(int32_t over) {
  VolNode node = std::move(nodes_.front());
  nodes_.pop_front();
  const int32_t duration = static_cast<int32_t>(std::min<uint32_t>(
      node.duration, static_cast<uint32_t>(std::numeric_limits<int32_t>::max())));
  SetTarget(node.gains, duration);
  if (over < 0) {
    Advance(static_cast<uint32_t>(-static_cast<int64_t>(over)));
  }
}

bool TVolumer::IsIdentity() const {
  if (remaining_ != 0 || !nodes_.empty() || muted_) {
    return false;
  }
  return std::all_of(current_.begin(), current_.end(), [](float g) { return g == 1.0f; });
}
