#include "gfx/scene.h"

namespace Vell {

Scene::Scene(std::string name, int frameRate) : Object(std::move(name)), frameRate(frameRate) {}

int Scene::ToFrames(int64_t value, int unit) const {
  if (unit == kUnitMilliseconds) {
    return static_cast<int>(static_cast<float>(frameRate) / 1000.0f * static_cast<float>(value));
  }
  return static_cast<int>(value);
}

void Scene::SetPosition(int64_t value, int unit) { position = ToFrames(value, unit); }

void Scene::GetInfo(SceneInfo& info) const {
  info.name = name;
  info.start = start;
  info.end = end;
  info.frameRate = frameRate;
  info.spare = spare;
}

}  // namespace Vell
