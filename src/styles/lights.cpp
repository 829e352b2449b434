#include "styles/lights.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "framework/diagnostics.h"
#include "framework/parallel.h"
#include "framework/xml.h"
#include "gfx/scaled_png.h"
#include "gfx/sprites.h"
#include "styles/numbers.h"

namespace Kesh::Styles {

namespace Xml = Vell::Data::Xml;
using Vell::Gfx::G2D::Sprites::Sprite;

void Light::Track(int frame) {
  if (!active) {
    return;
  }
  if (startFrame == -1) {
    startFrame = frame;
  } else if (static_cast<int64_t>(frame) - startFrame >=
             ShowFrames(attack) + ShowFrames(sustain) + ShowFrames(release)) {
    active = false;
    startFrame = -1;
  }
}

float Light::Envelope(int frame) const {
  // A light fired since the last Track has not started its envelope yet: it stands at its start.
  const int64_t d = startFrame == -1 ? 0 : static_cast<int64_t>(frame) - startFrame;
  const int64_t attack = ShowFrames(this->attack);
  const int64_t release = ShowFrames(this->release);
  const int64_t held = attack + ShowFrames(sustain);
  float value;
  if (d <= attack) {
    value = attack > 0 ? static_cast<float>(d) / static_cast<float>(attack) : 1.0f;
  } else if (d <= held) {
    value = 1.0f;
  } else {
    value =
        release > 0 ? static_cast<float>(held + release - d) / static_cast<float>(release) : 0.0f;
  }
  return std::clamp(value, 0.0f, 1.0f);
}

const Vell::Gfx::Image* Light::ImageAt(int frame) const {
  if (!active || images.empty()) {
    return nullptr;
  }
  const auto last = static_cast<float>(images.size() - 1);
  const auto index = static_cast<size_t>(Envelope(frame) * last);
  return images[std::min(index, images.size() - 1)].get();
}

void Light::Reset() {
  active = false;
  startFrame = -1;
}

void Light::LoadXml(const Xml::Node& element) {
  std::string size;
  if (element.ReadString("size", size)) {
    Xml::ParseIntPair(size, width, height);
  }
  std::string prefix;
  int first = 0;
  int last = -1;
  element.ReadInt("first", first);
  element.ReadInt("last", last);
  maps.clear();
  if (element.ReadString("maps", prefix) &&
      static_cast<int64_t>(last) - first < static_cast<int64_t>(kMaxMaps)) {
    const int digits = Sprite::SequenceDigits(first, last);
    for (int64_t n = first; n <= last; ++n) {
      maps.push_back(Sprite::SequenceFileName(prefix, static_cast<int>(n), digits));
    }
  }
  element.ReadInt("attack", attack);
  element.ReadInt("sustain", sustain);
  element.ReadInt("release", release);
}

void Light::LoadImages(int scale) {
  images.clear();
  images.resize(maps.size());
  Vell::Parallel::For(maps.size(), [this, scale](size_t i) {
    images[i] = std::make_unique<Vell::Gfx::Image>();
    // A light map that cannot be read stays empty and is not drawn; the log says which and why.
    std::string why;
    if (!Vell::Gfx::LoadPngAtScale(*images[i], maps[i], scale, &why)) {
      Vell::Diagnostics::Report("Light image not read: " + why);
    }
  });
}

void StageLight::Place(int stageWidth, int stageHeight) {
  const int64_t w = width;
  const int64_t h = height;
  int64_t left = 0;
  int64_t top = 0;
  switch (position) {
    case 0:
      top = stageHeight - h;
      break;
    case 1:
      left = stageWidth / 2 - w / 2;
      top = stageHeight - h;
      break;
    case 2:
      left = stageWidth - w;
      top = stageHeight - h;
      break;
    case 4:
      left = stageWidth / 2 - w / 2;
      break;
    case 5:
      left = stageWidth - w;
      break;
    default:
      break;
  }
  x = SaturateInt(left);
  y = SaturateInt(top);
}

void SearchLight::Anchor(float targetX, float targetY, int width, int& x, int& y) {
  const int half = width / 2;  // an integer half width, as the stage lights use
  x = TruncToInt(static_cast<double>(targetX) - half);
  y = TruncToInt(static_cast<double>(targetY) - 84.0);
}

int ZoneOf(float x) {
  if (x < 0) {
    return -1;
  }
  if (x < 271) {
    return 0;
  }
  if (x > 271 && x < 543) {
    return 1;
  }
  if (x > 543) {
    return 2;
  }
  return -1;
}

}  // namespace Kesh::Styles
