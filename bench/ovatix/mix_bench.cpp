// Rendering speed of the crowd-sound mixer, as a multiple of real time on one core.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ovatix/wave_scene.h"

namespace {

constexpr uint32_t kRate = 44100;

std::shared_ptr<TWaveBuffer> Noise(uint16_t channels, uint32_t seconds, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(-8000, 8000);
  std::vector<int16_t> s(static_cast<size_t>(kRate) * seconds * channels);
  for (auto& v : s) {
    v = static_cast<int16_t>(d(rng));
  }
  return std::make_shared<TWaveBuffer>(kRate * seconds, WaveFormat::Pcm(kRate, channels, 16),
                                       s.data());
}

// args: number of sounding instances, pitched (0/1). Instances alternate mono and stereo
// recordings and every one has a running gain ramp, as series instances do.
void BM_RenderScene(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  const bool pitched = state.range(1) != 0;
  TWaveScene scene;
  scene.SetSceneFormat(kRate, 2, 16, 100);
  scene.Play();
  const auto mono = Noise(1, 10, 1);
  const auto stereo = Noise(2, 10, 2);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> pitch(0.7f, 1.297f);
  for (int i = 0; i < count; ++i) {
    const std::string name = "i" + std::to_string(i);
    scene.AddInstance(i % 2 ? stereo : mono, name, 1);
    scene.SetInstanceLoops(name, 1 << 30);
    if (pitched) {
      scene.SetInstancePitch(name, pitch(rng));
    }
    // 0.2 / count each, ramping slowly so the envelope is never an identity.
    scene.InstanceAddVolumeNode(name, 0, 0.2f / static_cast<float>(count), 0);
    scene.InstanceAddVolumeNode(name, 100000000, 0.0f, 0);
    scene.PlayInstance(name);
  }
  const int frames = scene.BufferFrames();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    const TWaveBuffer& b = scene.RenderBuffer();
    benchmark::DoNotOptimize(b.Data());
  }
  // Seconds of sound per second of processor time.
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * frames / kRate, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RenderScene)
    ->ArgsProduct({{8, 32, 128}, {0, 1}})
    ->ArgNames({"instances", "pitched"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
