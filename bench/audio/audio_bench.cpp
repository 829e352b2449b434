// Reader throughput (MB/s) and offline rendering speed (times real time).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "audio/midi/midi_file.h"
#include "audio/player.h"
#include "midi_builder.h"

namespace {

std::vector<uint8_t> Load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path LargestCorpusFile() {
  std::filesystem::path best;
  uintmax_t size = 0;
  for (const char* dir : {"songs", "kar"}) {
    const auto folder = std::filesystem::path(TAVRO_CORPUS_DIR) / dir;
    if (!std::filesystem::exists(folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.file_size() > size) {
        size = entry.file_size();
        best = entry.path();
      }
    }
  }
  return best;
}

void ReadBytes(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  Kesh::Audio::Midi::MidiFile file;
  std::string reason;
  for (auto _ : state) {
    if (!Kesh::Audio::Midi::ReadMidi(bytes.data(), bytes.size(), file, reason)) {
      state.SkipWithError(reason.c_str());
      return;
    }
    benchmark::DoNotOptimize(file.song.tracks.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_ReadLargestCorpusFile(benchmark::State& state) {
  const auto path = LargestCorpusFile();
  if (path.empty()) {
    state.SkipWithError("corpus not found");
    return;
  }
  state.SetLabel(path.filename().string());
  ReadBytes(state, Load(path));
}
BENCHMARK(BM_ReadLargestCorpusFile);

void BM_ReadGenerated1MB(benchmark::State& state) {
  int bars = 6000;
  std::vector<uint8_t> bytes = TavroTest::GeneratedSong(bars);
  bars = static_cast<int>(bars * double(1 << 20) / static_cast<double>(bytes.size()));
  bytes = TavroTest::GeneratedSong(bars);
  state.SetLabel(std::to_string(bytes.size()) + " bytes");
  ReadBytes(state, bytes);
}
BENCHMARK(BM_ReadGenerated1MB);

// Renders a whole corpus song of about three minutes with the built-in synthesizer, in frames of
// 40 ms as the show renderer does; the counter x_realtime is song time over rendering time.
void BM_OfflineRenderCorpusSong(benchmark::State& state) {
  const auto path = std::filesystem::path(TAVRO_CORPUS_DIR) / "songs/avgvst__MountainMan.mid";
  if (!std::filesystem::exists(path)) {
    state.SkipWithError("corpus not found");
    return;
  }
  Kesh::Audio::Player player(Kesh::Audio::MakeSystemOutputs(), "");
  std::vector<int16_t> block(44100 * 2);
  double songSeconds = 0;
  double wallSeconds = 0;
  for (auto _ : state) {
    if (!player.SetOffline(true, 44100) || !player.OpenFile(path.c_str())) {
      state.SkipWithError("cannot render");
      return;
    }
    player.Play();
    const auto start = std::chrono::steady_clock::now();
    int steps = 0;
    for (; steps < 25 * 60 * 10 && player.GetPositionMs() < 192000; ++steps) {
      player.AdvanceOffline(40);
      player.RenderOffline(block.data(), 44100);
    }
    wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    songSeconds += steps * 0.04;
    player.Stop();
  }
  state.counters["x_realtime"] = songSeconds / wallSeconds;
  state.SetLabel(path.filename().string());
}
BENCHMARK(BM_OfflineRenderCorpusSong)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
