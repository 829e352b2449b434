// The style's lights on a full stage frame: six stage lights and three search lights following
// three performers, every light at full intensity, drawn over the 815 × 400 canvas.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "gfx/canvas.h"
#include "gfx/image.h"
#include "gfx/sprites.h"
#include "styles/show.h"
#include "styles/style.h"

namespace {

using Vell::Gfx::Image;
using Vell::Gfx::G2D::Sprites::Sprite;

// A soft cone of light: alpha falls off from the centre line, fully transparent at the sides.
std::unique_ptr<Image> Cone(int width, int height, int level) {
  auto image = std::make_unique<Image>(width, height);
  for (int y = 0; y < height; ++y) {
    const double spread = 0.2 + 0.8 * y / height;
    for (int x = 0; x < width; ++x) {
      const double off = std::fabs(x - width / 2.0) / (width / 2.0) / spread;
      const int alpha = off >= 1 ? 0 : static_cast<int>((1 - off) * level);
      image->SetPixel(x, y, Vell::Gfx::Argb(alpha, 255, 240, 200));
    }
  }
  return image;
}

class Show : public Kesh::Styles::IShow {
 public:
  std::vector<int> InstrumentPatches() const override { return {}; }
  int PerformerCount() const override { return 0; }
  const Sprite* SetSprite(int, int) const override { return nullptr; }
  int SongLengthMs() const override { return 0; }
  int FrameRate() const override { return 25; }
  Vell::Gfx::G2D::Sprites::Scene* SpriteScene() override { return &scene; }
  Kesh::Game::PostFX* Effects() override { return nullptr; }
  bool AutoFades() const override { return false; }
  bool AutoLights() const override { return false; }
  bool AutoCrowd() const override { return false; }
  Vell::Gfx::G2D::Sprites::Scene scene;
};

// scale: the light images are drawn at scale × their own size.
void LightsFrame(benchmark::State& state, int scale) {
  Show show;
  Kesh::Styles::Links links;
  links.show = &show;
  Kesh::Styles::Style style(0, &links);
  for (auto& light : style.stageLights) {
    light.width = 200;
    light.height = 260;
    for (int level = 1; level <= 8; ++level) {
      light.images.push_back(Cone(200 / scale, 260 / scale, level * 30));
    }
    light.Place(815, 400);
    light.Fire();
  }
  for (auto& light : style.searchLights) {
    light.width = 160;
    light.height = 240;
    for (int level = 1; level <= 8; ++level) {
      light.images.push_back(Cone(160 / scale, 240 / scale, level * 30));
    }
    light.Fire();
  }
  std::vector<std::unique_ptr<Sprite>> performers;
  for (float x : {150.0f, 400.0f, 650.0f}) {
    auto sprite = std::make_unique<Sprite>("performer");
    sprite->AddImage(std::make_unique<Image>(4, 4, 0xFF000000));
    sprite->AddImage(std::make_unique<Image>(4, 4, 0xFF000000));
    sprite->positionTrack.SetValue({x, 330.0f, 0});
    show.scene.sprites.Add(sprite.get());
    performers.push_back(std::move(sprite));
  }
  Vell::Gfx::Canvas canvas(815, 400);
  canvas.Clear(Vell::Gfx::Argb(255, 40, 30, 20));
  style.Track(0);
  int frame = 10;  // full intensity
  for (auto _ : state) {
    style.Track(frame);
    style.RenderTo(canvas, frame);
    benchmark::ClobberMemory();
    frame = frame < 200 ? frame + 1 : 10;
  }
}

void BM_StyleLights(benchmark::State& state) { LightsFrame(state, 1); }
void BM_StyleLightsScaled(benchmark::State& state) { LightsFrame(state, 2); }

}  // namespace

BENCHMARK(BM_StyleLights)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StyleLightsScaled)->Unit(benchmark::kMicrosecond);
