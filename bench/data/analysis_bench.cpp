// Time of the note analysis: a dense generated song and the longest real songs of the corpus.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/midi/midi_file.h"
#include "audio/midi/tempo_map.h"
#include "data/analysis.h"

namespace {

namespace fs = std::filesystem;
using Kesh::Audio::MidiEvent;
using Kesh::Audio::SongData;
using Kesh::Data::Events::Analysis;
using Kesh::Data::Events::AnalysisSettings;

const std::string kConfig = TAVRO_SOURCE_DIR "/data/config/analysis.xml";

// 16 programs playing four notes per beat each (two-note chords on every other step), 400 bars
// of 4/4 at division 480 with a tempo change every 8 bars, and a drum part of kick, snare,
// eighth hi-hats and a tom fill every fourth bar.
SongData DenseSong() {
  constexpr uint32_t kDivision = 480;
  constexpr uint32_t kBars = 400;
  constexpr uint32_t kBar = 4 * kDivision;
  SongData song;
  song.division = kDivision;
  for (uint32_t bar = 0; bar < kBars; bar += 8) {
    song.tempoChanges.push_back({bar * kBar, 400000 + (bar % 32) * 5000});
  }
  song.timeSignatures = {{0, 4, 2}};
  uint32_t seed = 12345;
  const auto random = [&seed] {
    seed = seed * 1103515245 + 12345;
    return (seed >> 16) & 0x7FFF;
  };
  for (int program = 0; program < 16; ++program) {
    Kesh::Audio::SongTrack track;
    const uint8_t channel = static_cast<uint8_t>(program < 9 ? program : (program + 1) % 16);
    track.events.push_back(
        {0, static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program * 8), 0});
    for (uint32_t step = 0; step < kBars * 16; ++step) {
      const uint32_t tick = step * kDivision / 4;
      const auto note = static_cast<uint8_t>(36 + random() % 48);
      const int voices = step % 2 == 0 ? 2 : 1;
      for (int v = 0; v < voices; ++v) {
        track.events.push_back(
            {tick, static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(note + 4 * v), 90});
      }
      for (int v = 0; v < voices; ++v) {
        track.events.push_back({tick + kDivision / 4 - 10, static_cast<uint8_t>(0x80 | channel),
                                static_cast<uint8_t>(note + 4 * v), 0});
      }
    }
    song.tracks.push_back(std::move(track));
  }
  Kesh::Audio::SongTrack drums;
  const auto hit = [&drums](uint32_t tick, uint8_t note) {
    drums.events.push_back({tick, 0x99, note, 100});
    drums.events.push_back({tick + 30, 0x89, note, 0});
  };
  for (uint32_t bar = 0; bar < kBars; ++bar) {
    const uint32_t start = bar * kBar;
    for (uint32_t eighth = 0; eighth < 8; ++eighth) {
      const uint32_t tick = start + eighth * kDivision / 2;
      if (bar % 4 == 3 && eighth >= 4) {
        hit(tick, static_cast<uint8_t>(50 - eighth));
        continue;
      }
      hit(tick, 42);
      if (eighth % 4 == 0) {
        hit(tick, 36);
      } else if (eighth % 4 == 2) {
        hit(tick, 38);
      }
    }
  }
  std::stable_sort(drums.events.begin(), drums.events.end(),
                   [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
  song.tracks.push_back(std::move(drums));
  return song;
}

void BM_DenseSong(benchmark::State& state) {
  const SongData song = DenseSong();
  AnalysisSettings settings;
  std::string why;
  if (!settings.Load(kConfig, &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  size_t events = 0;
  for (const auto& track : song.tracks) {
    events += track.events.size();
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    Analysis analysis(&song, settings);
    if (!analysis.Run()) {
      state.SkipWithError(analysis.Error().c_str());
      break;
    }
    benchmark::DoNotOptimize(analysis.GetTotalLength());
  }
  state.counters["events"] = static_cast<double>(events);
}
BENCHMARK(BM_DenseSong)->Unit(benchmark::kMillisecond);

struct CorpusSong {
  std::string name;
  double seconds = 0.0;
  SongData song;
};

// The three longest songs of the corpus and the one whose length is closest to four minutes.
std::vector<CorpusSong>& Chosen() {
  static std::vector<CorpusSong> chosen = [] {
    std::vector<CorpusSong> all;
    std::error_code ec;
    for (const char* folder : {"songs", "kar"}) {
      for (const auto& entry : fs::directory_iterator(fs::path(TAVRO_CORPUS_DIR) / folder, ec)) {
        Kesh::Audio::Midi::MidiFile file;
        std::string reason;
        if (!Kesh::Audio::Midi::ReadMidiFile(entry.path().string(), file, reason)) {
          continue;
        }
        const Kesh::Audio::Midi::TempoMap map(file.song);
        all.push_back({entry.path().filename().string(),
                       map.TickToUs(Kesh::Audio::LastTick(file.song)) / 1e6, std::move(file.song)});
      }
    }
    std::vector<CorpusSong> picked;
    if (all.empty()) {
      return picked;
    }
    std::sort(all.begin(), all.end(),
              [](const CorpusSong& a, const CorpusSong& b) { return a.seconds > b.seconds; });
    auto typical = std::min_element(all.begin(), all.end(), [](const auto& a, const auto& b) {
      return std::abs(a.seconds - 240.0) < std::abs(b.seconds - 240.0);
    });
    picked.push_back(std::move(*typical));
    for (size_t i = 0; i < all.size() && picked.size() < 4; ++i) {
      if (all[i].name != picked[0].name) {
        picked.push_back(std::move(all[i]));
      }
    }
    return picked;
  }();
  return chosen;
}

void BM_CorpusSong(benchmark::State& state) {
  auto& chosen = Chosen();
  if (static_cast<size_t>(state.range(0)) >= chosen.size()) {
    state.SkipWithError("corpus not found");
    return;
  }
  const CorpusSong& entry = chosen[state.range(0)];
  state.SetLabel(entry.name + " (" + std::to_string(static_cast<int>(entry.seconds)) + " s)");
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    // As the player does it: the settings file is read by the constructor.
    Analysis analysis(&entry.song, kConfig);
    if (!analysis.Run()) {
      state.SkipWithError(analysis.Error().c_str());
      break;
    }
    benchmark::DoNotOptimize(analysis.GetTotalLength());
  }
}
// 0: the song closest to four minutes; 1-3: the three longest.
BENCHMARK(BM_CorpusSong)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
