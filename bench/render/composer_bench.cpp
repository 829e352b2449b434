// Fitting a show frame into videos of the common sizes, and the 4:2:0 conversion that follows it,
// per frame on one core.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "gfx/image.h"
#include "render/composer.h"
#include "render/yuv.h"

namespace {

Vell::Gfx::Image Stage(int width, int height) {
  Vell::Gfx::Image image(width, height);
  std::mt19937 random(7);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.Row(y)[x] = 0xFF000000u | (random() & 0xFFFFFFu);
    }
  }
  return image;
}

// args: frame width, frame height, picture height (400 the stage, 552 with the karaoke band).
void BM_Compose(benchmark::State& state) {
  const Vell::Gfx::Image picture = Stage(815, static_cast<int>(state.range(2)));
  Kesh::Render::Composer composer(static_cast<int>(state.range(0)),
                                  static_cast<int>(state.range(1)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(composer.Compose(picture).Pixels());
  }
}
BENCHMARK(BM_Compose)
    ->Args({816, 400, 400})
    ->Args({1280, 720, 400})
    ->Args({1920, 1080, 400})
    ->Args({1920, 1080, 552})
    ->Args({3840, 2160, 400})
    ->Unit(benchmark::kMillisecond);

void BM_ToYuv420(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const Vell::Gfx::Image frame = Stage(width, height);
  std::vector<uint8_t> out(Kesh::Render::Yuv420Bytes(width, height));
  for (auto _ : state) {
    Kesh::Render::ToYuv420(frame.Pixels(), width, height, width, height, out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_ToYuv420)->Args({816, 400})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
