// One stage frame: 16 artists, each a playing set sprite stepping through its images plus a body
// sprite, all about 120 × 160 pixels with soft-edged alpha, tracked and drawn into the 815 × 400
// canvas after clearing it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "gfx/sprites.h"

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;
using Vell::Gfx::G2D::Sprites::Scene;
using Vell::Gfx::G2D::Sprites::Sprite;

// A figure: an opaque ellipse with a two-pixel translucent rim, transparent around it.
std::unique_ptr<Image> Figure(int width, int height, uint32_t colour, float phase) {
  auto image = std::make_unique<Image>(width, height, 0);
  const float cx = width / 2.0f + 6.0f * std::sin(phase);
  const float cy = height / 2.0f;
  const float rx = width * 0.4f;
  const float ry = height * 0.45f;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float dx = (x - cx) / rx;
      const float dy = (y - cy) / ry;
      const float distance = std::sqrt(dx * dx + dy * dy);
      const float edge = (1.0f - distance) * rx / 2.0f;  // pixels inside the rim
      if (edge >= 1.0f) {
        image->SetPixel(x, y, colour | 0xFF000000u);
      } else if (edge > 0.0f) {
        image->SetPixel(x, y, (colour & 0xFFFFFF) | (static_cast<uint32_t>(edge * 255) << 24));
      }
    }
  }
  return image;
}

struct Stage {
  Stage() : canvas(815, 400), scene("Main") {
    for (int artist = 0; artist < 16; ++artist) {
      const int column = artist % 4;
      const int row = artist / 4;
      const float x = column * 164.0f + 137.8f - row * 20.0f;
      const float y = 280.0f - 21.0f * row - 60.0f;
      auto set = std::make_unique<Sprite>("set", 1);
      for (int i = 0; i < 8; ++i) {
        set->AddImage(Figure(120, 160, Argb(0, 40 + artist * 10, 100, 200 - i * 10), i * 0.8f));
      }
      set->depth = static_cast<float>(row);
      Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> at;
      at.keys = {{0, {x, y, 0}, 0, 0}};
      set->positionTrack.SetKeys(at);
      Vell::Keyframing::Runtime::KeyList<float> steps;
      for (int k = 0; k < 1000; ++k) {
        steps.keys.push_back({k * 25, k % 2 == 0 ? 0.0f : 1.0f, 0, 0});
      }
      set->stepTrack.SetKeys(steps);
      auto body = std::make_unique<Sprite>("body", 1);
      body->AddImage(Figure(120, 160, Argb(0, 200, 180, 40 + artist * 10), 0));
      body->depth = static_cast<float>(row) - 0.0000001f;
      Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> bodyAt;
      bodyAt.keys = {{0, {x + 30, y + 20, 0}, 0, 0}};
      body->positionTrack.SetKeys(bodyAt);
      sprites.push_back(std::move(set));
      sprites.push_back(std::move(body));
    }
    for (auto& sprite : sprites) {
      scene.sprites.Add(sprite.get());
    }
  }
  Canvas canvas;
  Scene scene;
  std::vector<std::unique_ptr<Sprite>> sprites;
};

void BM_StageFrame(benchmark::State& state) {
  Stage stage;
  int frame = 0;
  for (auto _ : state) {
    stage.scene.Track(frame++);
    stage.canvas.Clear();
    stage.scene.RenderTo(stage.canvas);
    benchmark::DoNotOptimize(stage.canvas.Pixels());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StageFrame)->Unit(benchmark::kMicrosecond);

void BM_ClearOnly(benchmark::State& state) {
  Canvas canvas(815, 400);
  for (auto _ : state) {
    canvas.Clear();
    benchmark::DoNotOptimize(canvas.Pixels());
  }
}
BENCHMARK(BM_ClearOnly)->Unit(benchmark::kMicrosecond);

void BM_ScaledBackground(benchmark::State& state) {
  Canvas canvas(815, 400);
  Image background(640, 320, Argb(255, 10, 20, 30));
  for (auto _ : state) {
    canvas.DrawBackground(&background);
    benchmark::DoNotOptimize(canvas.Pixels());
  }
}
BENCHMARK(BM_ScaledBackground)->Unit(benchmark::kMicrosecond);

}  // namespace
