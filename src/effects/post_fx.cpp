#include "effects/post_fx.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace Kesh::Game {

namespace Filters = Vell::Gfx::GDI::Filters;

namespace {

// A parameter truncated to an integer, held inside the int range.
int Truncated(float value) {
  if (!(std::fabs(value) < 1e9f)) {
    return value > 0 ? 1000000000 : (value < 0 ? -1000000000 : 0);
  }
  return static_cast<int>(value);
}

}  // namespace

void PostFX::Render(int frame) { filters.Apply(frame, target); }

void PostFX::Track(int frame) {
  if (fade != nullptr && fade->fadingOut && fade->IsFinished()) {
    Remove(fade);
    fade = nullptr;
  }
  if (strobe != nullptr && strobe->end < frame) {
    lastFlash = strobe->lastOn;
    Remove(strobe);
    strobe = nullptr;
  }
}

bool PostFX::Reset() {
  filters.DeleteAll();
  fade = nullptr;
  strobe = nullptr;
  lastFlash = Filters::Strobe::kNeverSwitchedOn;
  return true;
}

void PostFX::LimitFlashing(int minFramesBetweenFlashes) {
  flashInterval = std::max(minFramesBetweenFlashes, 0);
  if (strobe != nullptr) {
    strobe->minOnInterval = flashInterval;
  }
}

void PostFX::Remove(Filters::Filter* filter) { delete filters.Remove(filter->GetId()); }

void PostFX::FadeIn(int n, bool immediate) {
  if (fade != nullptr) {
    fade->fadingOut = false;
    fadeLevel += fadeStep;
  } else {
    std::vector<float> params = source != nullptr ? source->FadeParams() : std::vector<float>{};
    // A style always has a depth; one without "inc" fades at the default rate rather than
    // refusing to fade.
    if (params.empty()) {
      params.push_back(kDefaultFadeDepth);
    }
    if (params.size() < 2) {
      params.push_back(kDefaultFadeRate);
    }
    if (frameRate != kStyleFrameRate) {
      params[1] = params[1] * kStyleFrameRate / static_cast<float>(frameRate);
    }
    fadeStep = Truncated(params[0]);
    fadeLevel = fadeStep;
    auto created = std::make_unique<Filters::Fade>("Fade", CurrentFrame(), kFadeEnd, params);
    if (filters.Add(created.get()) < 0) {
      return;
    }
    fade = created.release();
  }
  if (n > 0) {
    fadeLevel += static_cast<int>(
        std::clamp<int64_t>(static_cast<int64_t>(n - 1) * fadeStep, -kMaxLevel - 1, kMaxLevel + 1));
  }
  fadeLevel = std::min(fadeLevel, kMaxLevel);
  fade->SetParams({static_cast<float>(fadeLevel)});
  if (immediate) {
    fade->Restart();
  }
}

void PostFX::FadeOut(bool immediate) {
  if (fade == nullptr) {
    return;
  }
  fade->fadingOut = true;
  fadeLevel = std::max(fadeLevel - fadeStep, 0);
  fade->SetParams({static_cast<float>(fadeLevel)});
  if (immediate) {
    fade->Restart();
  }
}

void PostFX::Strobe() {
  if (strobe != nullptr || source == nullptr) {
    return;
  }
  std::vector<float> params = source->StrobeParams();
  if (params.size() < 3) {
    return;
  }
  if (frameRate != kStyleFrameRate) {
    for (const size_t frames : {size_t{0}, size_t{2}}) {  // the period and the sustain
      params[frames] = params[frames] * static_cast<float>(frameRate) / kStyleFrameRate;
    }
  }
  const int start = CurrentFrame();
  const int64_t end = static_cast<int64_t>(start) + Truncated(params[2]);
  auto created = std::make_unique<Filters::Strobe>(
      "Strobe", start,
      static_cast<int>(std::clamp<int64_t>(end, std::numeric_limits<int>::min(),
                                           std::numeric_limits<int>::max())),
      params);
  created->minOnInterval = flashInterval;
  created->lastOn = lastFlash;
  if (filters.Add(created.get()) < 0) {
    return;
  }
  strobe = created.release();
}

}  // namespace Kesh::Game
