// The effects of one stage frame on the 815 × 400 canvas: the shadows of 16 performers of about
// 120 × 160 pixels (soft-edged figures) from two shadow lights onto floor and back wall, a running
// fade, a lit strobe, and the three together.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effects/pixels.h"
#include "effects/post_fx.h"
#include "effects/shadows.h"
#include "gfx/sprites.h"

namespace {

using Vell::Gfx::Argb;
using Vell::Gfx::Canvas;
using Vell::Gfx::Image;
using Vell::Gfx::G2D::Sprites::Sprite;

// An opaque ellipse with a two-pixel translucent rim, transparent around it.
std::unique_ptr<Image> Figure(int width, int height, uint32_t colour) {
  auto image = std::make_unique<Image>(width, height, 0);
  const float cx = width / 2.0f;
  const float cy = height / 2.0f;
  const float rx = width * 0.4f;
  const float ry = height * 0.45f;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float dx = (x - cx) / rx;
      const float dy = (y - cy) / ry;
      const float edge = (1.0f - std::sqrt(dx * dx + dy * dy)) * rx / 2.0f;
      if (edge >= 1.0f) {
        image->SetPixel(x, y, colour | 0xFF000000u);
      } else if (edge > 0.0f) {
        image->SetPixel(x, y, (colour & 0xFFFFFF) | (static_cast<uint32_t>(edge * 255) << 24));
      }
    }
  }
  return image;
}

class Style : public Kesh::Game::PostFX::Source {
 public:
  int CurrentFrame() const override { return 0; }
  std::vector<float> FadeParams() const override { return {16, 0.01f}; }
  std::vector<float> StrobeParams() const override { return {1000000, 164, 100000000}; }
};

struct Stage {
  Stage() : canvas(815, 400) {
    for (int artist = 0; artist < 16; ++artist) {
      auto sprite = std::make_unique<Sprite>("performer");
      sprite->AddImage(Figure(120, 160, Argb(0, 40 + artist * 10, 100, 200)));
      sprite->ScanBaseline();
      const int row = artist / 4;
      sprite->depth = static_cast<float>(row);
      Vell::Keyframing::Runtime::KeyList<Vell::Math::Vector3> at;
      at.keys = {
          {0, {(artist % 4) * 164.0f + 137.8f - static_cast<float>(row) * 20.0f, 220, 0}, 0, 0}};
      sprite->positionTrack.SetKeys(at);
      sprite->Track(0);
      sprites.Add(sprite.get());
      owned.push_back(std::move(sprite));
    }
    shadows.stageDepth = 520;
    (void)shadows.AddLight({{-250, 450, -150}, 0.4f});
    (void)shadows.AddLight({{300, 520, -80}, 0.3f});
    fx.SetTarget(&canvas);
  }

  void FadeAndStrobe() {
    fx.FadeIn(6, true);  // level 96, still rising slowly: a fade at work
    fx.FadeIn(1, false);
    fx.Strobe();
    fx.GetStrobe()->lit = true;
  }

  Canvas canvas;
  Vell::Gfx::G2D::Sprites::Sprites_t sprites;
  std::vector<std::unique_ptr<Sprite>> owned;
  Vell::Gfx::GDI::ShadowSet shadows;
  Style style;
  Kesh::Game::PostFX fx{&style};
};

void BM_Shadows16Sprites2Lights(benchmark::State& state) {
  Stage stage;
  for (auto _ : state) {
    stage.canvas.Clear(Argb(255, 90, 90, 90));
    stage.shadows.Draw(stage.canvas, stage.sprites);
    benchmark::DoNotOptimize(stage.canvas.Pixels());
  }
}
BENCHMARK(BM_Shadows16Sprites2Lights)->Unit(benchmark::kMicrosecond);

void BM_ClearOnly(benchmark::State& state) {
  Stage stage;
  for (auto _ : state) {
    stage.canvas.Clear(Argb(255, 90, 90, 90));
    benchmark::DoNotOptimize(stage.canvas.Pixels());
  }
}
BENCHMARK(BM_ClearOnly)->Unit(benchmark::kMicrosecond);

void BM_RunningFade(benchmark::State& state) {
  Stage stage;
  stage.fx.FadeIn(6, true);
  stage.fx.FadeIn(1, false);
  int frame = 0;
  for (auto _ : state) {
    stage.fx.Track(frame);
    stage.fx.Render(frame++);
    benchmark::DoNotOptimize(stage.canvas.Pixels());
  }
}
BENCHMARK(BM_RunningFade)->Unit(benchmark::kMicrosecond);

void BM_LitStrobe(benchmark::State& state) {
  Stage stage;
  stage.fx.Strobe();
  stage.fx.GetStrobe()->lit = true;
  int frame = 0;
  for (auto _ : state) {
    stage.fx.Track(frame);
    stage.fx.Render(frame++);
    benchmark::DoNotOptimize(stage.canvas.Pixels());
  }
}
BENCHMARK(BM_LitStrobe)->Unit(benchmark::kMicrosecond);

// The fade's pixel loop without vector instructions, for comparison.
void BM_FadePortable(benchmark::State& state) {
  Stage stage;
  for (auto _ : state) {
    Vell::Gfx::Pixels::Portable::SubtractColour(stage.canvas.Pixels(), 815 * 400, 17);
    benchmark::DoNotOptimize(stage.canvas.Pixels());
  }
}
BENCHMARK(BM_FadePortable)->Unit(benchmark::kMicrosecond);

// Everything the effects add to a frame (the canvas clear included, as the frame's start).
void BM_FrameEffects(benchmark::State& state) {
  Stage stage;
  stage.FadeAndStrobe();
  int frame = 0;
  for (auto _ : state) {
    stage.canvas.Clear(Argb(255, 90, 90, 90));
    stage.shadows.Draw(stage.canvas, stage.sprites);
    stage.fx.Track(frame);
    stage.fx.Render(frame++);
    benchmark::DoNotOptimize(stage.canvas.Pixels());
  }
}
BENCHMARK(BM_FrameEffects)->Unit(benchmark::kMicrosecond);

}  // namespace
