// The style's stage lights and search lights: intensity animations drawn over the stage. A light
// fired plays an envelope (attack, sustain, release in frames) and draws the intensity image
// that matches it. Loaded on the user-interface thread; tracked, fired and drawn on the frame
// thread under the frame lock. Each light owns its images.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gfx/image.h"

namespace Vell::Data::Xml {
class Node;
}
namespace Vell::Gfx {
class Canvas;
}
namespace Vell::Gfx::G2D::Sprites {
class Sprite;
}

namespace Kesh::Styles {

class Light {
 public:
  // A numbered image range of this many entries or more is refused (no images).
  static constexpr int kMaxMaps = 10000;

  Light(int sustain) : sustain(sustain) {}
  Light(const Light&) = delete;
  Light& operator=(const Light&) = delete;
  virtual ~Light() = default;

  // Starts the envelope at the next Track: idle → active; an active light keeps its envelope.
  void Fire() { active = true; }
  // Records the frame of the envelope's start, and goes idle when the envelope is over.
  virtual void Track(int frame);
  // The envelope's intensity at frame, 0 ... 1. An attack or release of 0 jumps straight to full
  // or to dark.
  float Envelope(int frame) const;
  // The intensity image for frame: null when idle or without images.
  const Vell::Gfx::Image* ImageAt(int frame) const;
  // Idle, envelope not started.
  void Reset();
  // The show's frames per second: the envelope, counted in frames at kStyleFrameRate in the
  // style's file, keeps its length in seconds.
  void SetFrameRate(int rate) { frameRate = rate > 0 ? rate : kStyleFrameRate; }
  static constexpr int kStyleFrameRate = 25;

  // Reads "size", "maps" with "first"/"last", "attack", "sustain" and "release" of a light element.
  void LoadXml(const Vell::Data::Xml::Node& element);
  // Reads every file of maps from the current directory for the render scale (gfx/scaled_png.h);
  // a file that cannot be read stays an empty image, which draws nothing.
  void LoadImages(int scale = 1);
  void FreeImages() { images.clear(); }

  std::vector<std::unique_ptr<Vell::Gfx::Image>> images;  // darkest first
  std::vector<std::string> maps;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int position = 0;
  bool active = false;
  const Vell::Gfx::G2D::Sprites::Sprite* target = nullptr;  // search lights: the sprite followed
  int startFrame = -1;
  int attack = 10;
  int sustain;
  int release = 10;
  int frameRate = kStyleFrameRate;

 private:
  // Frames of the show for a count of the style's frames.
  int64_t ShowFrames(int styleFrames) const {
    return frameRate == kStyleFrameRate ? styleFrames
                                        : int64_t{styleFrames} * frameRate / kStyleFrameRate;
  }
};

// One of six lights at fixed places: 0 bottom-left, 1 bottom-center, 2 bottom-right, 3 top-left,
// 4 top-center, 5 top-right.
class StageLight : public Light {
 public:
  StageLight() : Light(200) {}
  // Puts the light's top-left corner at its place on a stage of that size.
  void Place(int stageWidth, int stageHeight);
};

// A light that follows a sprite across one of three zones of the stage: 0 left, 1 center, 2 right.
class SearchLight : public Light {
 public:
  SearchLight() : Light(250) {}
  // Where the light is drawn over the target at (targetX, targetY).
  static void Anchor(float targetX, float targetY, int width, int& x, int& y);
};

// The zone of a sprite at x: 0 left of 271, 1 between 271 and 543, 2 right of 543; -1 exactly on
// a border or left of the stage.
int ZoneOf(float x);

}  // namespace Kesh::Styles
