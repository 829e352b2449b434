// Client-side costs of the crowd-sound engine: starting many large series and opening a
// collection with many sections. Both must grow linearly with their size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ovatix/collection.h"
#include "ovatix/engine.h"

namespace {

// A folder under the system's temporary folder with one short recording, removed at the end.
struct Folder {
  Folder() {
    std::random_device device;
    path = std::filesystem::temp_directory_path() /
           ("tavro-bench-" + std::to_string(device()) + std::to_string(device()));
    std::filesystem::create_directories(path);
    std::vector<int16_t> samples(8000, 1000);
    TWaveBuffer wave(8000, WaveFormat::Pcm(16000, 1, 16), samples.data());
    wave.CreateWaveFile((path / "clap.wav").string());
    wave.AppendToWaveFile();
    wave.CloseWaveFile();
  }
  ~Folder() {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream((path / name).string(), std::ios::binary) << text;
    return (path / name).string();
  }
  std::filesystem::path path;
};

// arg: series; each series starts 1024 instances of one recording.
void BM_StartSeries(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  Folder folder;
  std::string ini;
  for (int i = 0; i < count; ++i) {
    ini += "[s" + std::to_string(i) + "]\nWavFile=clap.wav\nNumber=1024\n";
  }
  const std::string path = folder.Write("collection.ini", ini);
  Ovatix::Engine engine;
  engine.Scene().SetSceneFormat(44100, 2, 16, 100);
  if (!engine.OpenCollection(path.c_str(), folder.path.c_str())) {
    state.SkipWithError("the collection does not open");
    return;
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    for (int i = 0; i < count; ++i) {
      engine.PlaySeries(("s" + std::to_string(i)).c_str(), 1.0f, 0, 0);
    }
    state.PauseTiming();
    if (engine.Scene().InstanceCount() != static_cast<size_t>(count) * 1024) {
      state.SkipWithError("not every instance started");
    }
    engine.StopSeries();
    state.ResumeTiming();
  }
  state.counters["instances"] = static_cast<double>(count) * 1024;
}

BENCHMARK(BM_StartSeries)
    ->Arg(5)
    ->Arg(10)
    ->Arg(40)
    ->ArgName("series")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// arg: sections, all naming the same recording.
void BM_OpenCollection(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  Folder folder;
  std::string ini;
  for (int i = 0; i < count; ++i) {
    ini += "[Series " + std::to_string(i) +
           "]\nWavFile=clap.wav\nNumber=3\nPitchRND=0.2\nAhead=0.1\nMIDISynch=4\n";
  }
  const std::string path = folder.Write("collection.ini", ini);
  Ovatix::Engine engine;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    if (!engine.OpenCollection(path.c_str(), folder.path.c_str())) {
      state.SkipWithError("the collection does not open");
    }
  }
  state.counters["sections"] = count;
}

BENCHMARK(BM_OpenCollection)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(50000)
    ->ArgName("sections")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
